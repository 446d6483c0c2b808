#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CSerialPortBase.h"
#include "DialogUnits.h"
#include "PortWording.h"
#include "ScrollCodeAdapter.h"
#include "SerialPortFactory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVariant>

#include <algorithm>

namespace {

// Texts are looked up when shown, so that they come in the language of the translation installed by then.
QString OpenPortText() {
    return CFormSetup::tr(kOpenPortLabel);
}

QString ClosePortText() {
    return CFormSetup::tr("Close Port");
}

// The two operator messages are Chinese in every language; where the program does not speak Chinese an
// English line below tells an operator who reads no Chinese the same.
QString OperatorMessage(const char* chinese, const char* english) {
    QString text = QString::fromUtf8(chinese);
    if (QLocale().language() != QLocale::Chinese) {
        text += QLatin1Char('\n') + QString::fromLatin1(english);
    }
    return text;
}

QString PortBusyText() {
    return OperatorMessage("串口已被占用！", "The serial port is already in use.");
}

QString DownloadingText() {
    return OperatorMessage(
        "数据下载中, 在进度条变成绿色之前, 请不要断电或其他操作!",
        "Downloading: do not switch off or do anything else until the progress bar turns green.");
}

constexpr int kFrameCount = kavo::download::kFrameCount; // the progress range: one step per frame
constexpr int kLevelMin = 1;
constexpr int kLevelMax = 255;

const QColor kProgressRed(255, 0, 0);
const QColor kProgressGreen(0, 255, 0);
const QColor kProgressBack(0, 0, 0);

// Names of the form's controls in tests and style sheets: "id2000", ...
QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

} // namespace

const QColor CFormSetup::kNormalColor(127, 127, 127);
const QColor CFormSetup::kPositionColor(5, 200, 5);
const QColor CFormSetup::kCameraColor(250, 250, 5);

CFormSetup::CFormSetup(const AppServices& services, QWidget* parent)
    : QScrollArea(parent), m_clrNormal(kNormalColor), m_clrPosition(kPositionColor),
      m_clrCamera(kCameraColor), m_portTable(services.portTable), m_form(new QWidget),
      m_beeper(services.beeper) {
    // WM_DOWNLOAD_CONTROLS may be posted by name, as a window message would be.
    static const bool registered = [] {
        qRegisterMetaType<quintptr>("quintptr");
        qRegisterMetaType<qintptr>("qintptr");
        return true;
    }();
    (void)registered;
    m_link = std::make_unique<ControllerLink>(CreateSerialPort(m_portTable), m_beeper.get(),
                                              services.downloadOptions);

    CreateControls();
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshPeriodMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnTimer(kRefreshTimerId); });
}

CFormSetup::~CFormSetup() {
    // The worker writes to the port and reports to the form: it ends before either goes.
    m_link->Close();
    m_link.reset();
}

CKAVODoc* CFormSetup::GetDocument() const {
    return static_cast<CKAVODoc*>(CViewBase::GetDocument());
}

void CFormSetup::CreateControls() {
    m_form->setFont(DialogFont());
    m_form->setObjectName(QStringLiteral("formSetup"));
    const DialogUnits du;
    m_form->setFixedSize(du.x(kFormSetupWidth), du.y(kFormSetupHeight));

    std::vector<QWidget*> tabOrder;
    std::vector<QGroupBox*> groups;
    for (const FormControl& c : FormSetupLayout()) {
        const QString text = c.text != nullptr ? tr(c.text) : QString();
        QRect rect = du.rect(c.x, c.y, c.width, c.height);
        QWidget* w = nullptr;
        const int id = c.id;
        switch (c.kind) {
        case FormControlKind::Group: {
            auto* box = new QGroupBox(text, m_form);
            box->setFocusPolicy(Qt::NoFocus);
            groups.push_back(box);
            w = box;
            break;
        }
        case FormControlKind::PositionButton:
        case FormControlKind::CameraButton: {
            auto* b = new CColorButton(text, m_form);
            if (c.kind == FormControlKind::PositionButton) {
                m_btnPosition.at(id - IDC_POSITION1) = b;
                connect(b, &QPushButton::clicked, this, [this, id] { OnPositionButton(id); });
            } else {
                m_btnCamera.at(id - IDC_CAMERA1) = b;
                connect(b, &QPushButton::clicked, this, [this, id] { OnCameraButton(id); });
            }
            w = b;
            break;
        }
        case FormControlKind::PortList: {
            m_cbPort = new QComboBox(m_form);
            m_cbPort->setEditable(false);
            // The template's height is the height with the list open; the closed box is as tall as the
            // style makes it.
            const int closedHeight = std::max(m_cbPort->sizeHint().height(), du.y(12));
            const int rowHeight = std::max(1, m_cbPort->fontMetrics().height() + 2);
            m_cbPort->setMaxVisibleItems(std::max(3, (rect.height() - closedHeight) / rowHeight));
            rect.setHeight(closedHeight);
            connect(m_cbPort, &QComboBox::activated, this,
                    [this](int index) { m_pickedPort = m_cbPort->itemText(index); });
            w = m_cbPort;
            break;
        }
        case FormControlKind::LevelBar: {
            auto* bar = new QScrollBar(Qt::Horizontal, m_form);
            bar->setFocusPolicy(Qt::NoFocus); // a plain scroll bar control takes no tab stop
            // Qt's "Scroll here" menu would move the bar behind the form's back (no notice, no label,
            // no recipe change); the form's sliders have no menu.
            bar->setContextMenuPolicy(Qt::NoContextMenu);
            m_sbLevel.at(id - IDC_LEVEL1) = bar;
            ConnectSlider(id - IDC_LEVEL1 + 1);
            w = bar;
            break;
        }
        case FormControlKind::LevelText: {
            auto* label = new QLabel(text, m_form);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            m_stLevel.at(id - IDC_LEVEL_TEXT1) = label;
            w = label;
            break;
        }
        case FormControlKind::PushButton: {
            auto* b = new QPushButton(text, m_form);
            if (id == IDC_OPEN_PORT) {
                m_btnOpenPort = b;
                connect(b, &QPushButton::clicked, this, [this] { OnOpenPort(); });
            } else if (id == IDC_DOWNLOAD) {
                m_btnDownload = b;
                connect(b, &QPushButton::clicked, this, [this] { OnDownload(); });
            }
            w = b;
            break;
        }
        case FormControlKind::Progress:
            m_progress = new QProgressBar(m_form);
            m_progress->setTextVisible(false);
            m_progress->setRange(0, kFrameCount);
            m_progress->setValue(0);
            w = m_progress;
            break;
        }
        w->setGeometry(rect);
        if (id != 0) {
            w->setObjectName(ControlName(id));
            w->setProperty("controlId", id);
            m_controls[id] = w;
        }
        if (w->focusPolicy() != Qt::NoFocus) {
            tabOrder.push_back(w);
        }
    }
    SetProgressColor(kProgressRed);

    // Group boxes frame the controls and must not take their clicks.
    for (QGroupBox* box : groups) {
        box->lower();
    }
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    for (CColorButton* b : m_btnCamera) {
        b->SetFaceColor(m_clrNormal, false);
    }
    for (CColorButton* b : m_btnPosition) {
        b->SetFaceColor(m_clrNormal, false);
    }
    m_btnDownload->setEnabled(false);
}

// The sliders change only by the notice table of OnHScroll.
void CFormSetup::ConnectSlider(int channel) {
    QScrollBar* bar = m_sbLevel[channel - 1];
    bar->setRange(kLevelMin, kLevelMax);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    ConnectScrollCodes(bar, this, [this, bar](int code, int pos) { OnHScroll(code, pos, bar); });
}

QWidget* CFormSetup::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

bool CFormSetup::IsRefreshTimerActive() const {
    return m_refreshTimer->isActive();
}

bool CFormSetup::IsDownloadRunning() const {
    return m_link && m_link->IsDownloadRunning();
}

void CFormSetup::SetProgressColor(const QColor& bar) {
    m_progressColor = bar;
    m_progress->setStyleSheet(
        QStringLiteral("QProgressBar { background-color: %1; border: 1px solid #808080; }"
                       "QProgressBar::chunk { background-color: %2; }")
            .arg(kProgressBack.name(), bar.name()));
}

void CFormSetup::PaintSelection() {
    const CKAVODoc* doc = GetDocument();
    const int camera = doc != nullptr ? std::clamp<int>(doc->m_curCamera, 1, CKAVODoc::kCameras) : 1;
    const int position = doc != nullptr ? std::clamp<int>(doc->m_curPosition, 1, CKAVODoc::kPositions) : 1;
    for (int i = 1; i <= CKAVODoc::kCameras; ++i) {
        m_btnCamera[i - 1]->SetFaceColor(i == camera ? m_clrCamera : m_clrNormal);
    }
    for (int i = 1; i <= CKAVODoc::kPositions; ++i) {
        m_btnPosition[i - 1]->SetFaceColor(i == position ? m_clrPosition : m_clrNormal);
    }
}

void CFormSetup::OnInitialUpdate() {
    OnUpdate(nullptr, 0);
    // A new or opened recipe does not change the port: an open port keeps its state, its Download button
    // and its list entry, and a running download keeps its bar.
    if (!m_link->IsOpen()) {
        RefreshPortList();
        m_refreshTimer->start();
        m_btnDownload->setEnabled(false);
    }
    if (!IsDownloadRunning()) {
        m_progress->setRange(0, kFrameCount);
        m_progress->setValue(0);
        SetProgressColor(kProgressRed);
    }
    PaintSelection();
}

void CFormSetup::OnUpdate(CViewBase*, long) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr) {
        return;
    }
    const CKAVODoc::ChannelLevels& levels = doc->CurrentLevels();
    for (int i = 0; i < CKAVODoc::kChannels; ++i) {
        QScrollBar* bar = m_sbLevel[i];
        bar->setRange(kLevelMin, kLevelMax);
        bar->show();
        m_stLevel[i]->show();
        const int v = levels.at(i);
        bar->setValue(v);
        m_stLevel[i]->setText(QString::number(v));
    }
}

void CFormSetup::OnPositionButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_POSITION1 || id >= IDC_POSITION1 + CKAVODoc::kPositions) {
        return;
    }
    doc->m_curPosition = static_cast<std::uint8_t>(id - (IDC_POSITION1 - 1));
    PaintSelection();
    doc->UpdateAllViews(nullptr, 0);
}

void CFormSetup::OnCameraButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_CAMERA1 || id >= IDC_CAMERA1 + CKAVODoc::kCameras) {
        return;
    }
    doc->m_curCamera = static_cast<std::uint8_t>(id - (IDC_CAMERA1 - 1));
    PaintSelection();
    doc->UpdateAllViews(nullptr, 0);
}

void CFormSetup::OnHScroll(int code, int pos, QScrollBar* bar) {
    const auto it = std::find(m_sbLevel.begin(), m_sbLevel.end(), bar);
    if (bar == nullptr || it == m_sbLevel.end()) {
        // The form's own scroll bar: scrolling only.
        ApplyScrollCode(horizontalScrollBar(), code, pos);
        return;
    }
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr) {
        return;
    }
    const int channel = static_cast<int>(it - m_sbLevel.begin()) + 1;
    const int cur = static_cast<std::uint8_t>(bar->value());
    std::optional<int> value;
    switch (code) {
    case SB_LINELEFT:
        value = cur <= kLevelMin ? cur : cur - 1;
        break;
    case SB_LINERIGHT:
        value = cur >= kLevelMax ? cur : cur + 1;
        break;
    case SB_THUMBPOSITION:
        // A thumb position outside the bar's range is taken at the nearest end, as the bar shows it.
        value = std::clamp(pos, kLevelMin, kLevelMax);
        break;
    default:
        break; // page, thumb track, left, right, end scroll: no value change
    }
    if (value) {
        bar->setValue(*value);
        m_stLevel[channel - 1]->setText(QString::number(*value));
        doc->SetLevel(doc->m_curCamera, doc->m_curPosition, channel, static_cast<std::uint8_t>(*value));
    }
    doc->SetModifiedFlag(true);
}

void CFormSetup::SetClosedState() {
    m_btnOpenPort->setText(OpenPortText());
    m_cbPort->setEnabled(true);
    m_btnDownload->setEnabled(false);
}

void CFormSetup::SetOpenState() {
    m_btnOpenPort->setText(ClosePortText());
    m_cbPort->setEnabled(false);
    m_refreshTimer->stop();
    m_btnDownload->setEnabled(true);
}

void CFormSetup::OnOpenPort() {
    if (IsDownloadRunning()) {
        return; // the worker writes to the port until its end notice
    }
    if (m_link->IsOpen()) {
        m_link->Close();
        SetClosedState();
        m_refreshTimer->start();
        return;
    }
    if (m_link->Open(m_cbPort->currentText().toStdString())) {
        SetOpenState();
        return;
    }
    m_btnOpenPort->setText(OpenPortText());
    AfxMessageBox(PortBusyText() + QLatin1Char('\n') + QString::fromStdString(m_link->OpenFailureText()),
                  MB_OK);
}

void CFormSetup::OnTimer(int id) {
    if (id != kRefreshTimerId) {
        return;
    }
    // Not while the operator has the list open: the entries would change under the mouse.
    if (m_cbPort->view() != nullptr && m_cbPort->view()->isVisible()) {
        return;
    }
    RefreshPortList();
}

QStringList CFormSetup::EnumeratePorts() const {
    QStringList sorted;
    std::vector<std::string> names;
    if (!::EnumeratePorts(m_portTable, names)) {
        return sorted;
    }
    SortPortList(names);
    for (const std::string& name : names) {
        sorted.append(QString::fromStdString(name));
    }
    return sorted;
}

void CFormSetup::RefreshPortList() {
    const QSignalBlocker block(m_cbPort);
    const QStringList present = EnumeratePorts();
    QStringList shown;
    for (int row = 0; row < m_cbPort->count(); ++row) {
        shown << m_cbPort->itemText(row);
    }
    // The same names stay as they are: an idle form does not rebuild and repaint its list every 5 s.
    if (present != shown) {
        m_cbPort->clear();
        m_cbPort->addItems(present);
    }
    if (present.isEmpty()) {
        return;
    }
    const int picked = m_pickedPort.isEmpty() ? -1 : m_cbPort->findText(m_pickedPort);
    if (picked >= 0) {
        m_cbPort->setCurrentIndex(picked);
    } else {
        m_pickedPort.clear(); // the operator's port went away
        m_cbPort->setCurrentIndex(m_cbPort->count() - 1);
    }
}

void CFormSetup::SetDownloadControlsEnabled(bool enable) {
    m_btnDownload->setEnabled(enable);
    m_btnOpenPort->setEnabled(enable);
}

qintptr CFormSetup::OnDownloadControls(quintptr wParam, qintptr) {
    SetDownloadControlsEnabled((wParam & 0xFF) == 1);
    return 0;
}

void CFormSetup::PostDownloadControls(quintptr wParam) {
    QMetaObject::invokeMethod(
        this,
        [form = QPointer<CFormSetup>(this), wParam] {
            if (form) {
                form->OnDownloadControls(wParam, 0);
            }
        },
        Qt::QueuedConnection);
}

template <typename Fn> void CFormSetup::PostToForm(Fn fn) {
    // Queued: the user-interface thread may be joining the worker. A form that is gone takes its posted
    // calls with it.
    QMetaObject::invokeMethod(
        this, [this, fn = std::move(fn)] { fn(this); }, Qt::QueuedConnection);
}

void CFormSetup::OnDownloadStarted() {
    PostToForm([](CFormSetup* form) {
        form->m_progress->setValue(0);
        form->SetProgressColor(kProgressRed);
    });
}

void CFormSetup::OnDownloadProgress(int count) {
    PostToForm([count](CFormSetup* form) { form->m_progress->setValue(count & 0xFFFF); });
}

void CFormSetup::OnDownloadSucceeded() {
    PostToForm([](CFormSetup* form) { form->SetProgressColor(kProgressGreen); });
}

void CFormSetup::OnDownloadBell() {
    PostToForm([](CFormSetup*) { QApplication::beep(); });
}

void CFormSetup::OnDownloadFinished(const DownloadResult& result) {
    PostToForm([result](CFormSetup* form) { form->EndDownload(result); });
}

void CFormSetup::OnDownload() {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || IsDownloadRunning() || !m_link->IsOpen()) {
        return;
    }
    // Posted before the worker starts, so that a download that fails at once cannot have its end notice
    // overtaken by this one.
    PostDownloadControls(0);
    // The one copy of the recipe: edits made while the worker runs go out with the next download.
    const ControllerLink::StartResult started =
        m_link->StartDownload(static_cast<const Recipe&>(*doc), *this);
    if (started != ControllerLink::StartResult::Started) {
        PostDownloadControls(1);
        QString why;
        switch (started) {
        case ControllerLink::StartResult::AlreadyRunning:
            why = tr("a download is already running");
            break;
        case ControllerLink::StartResult::NoThread:
            why = tr("the system could not start the download thread");
            break;
        default:
            why = tr("there is no port to write to");
            break;
        }
        AfxMessageBox(tr("The download could not be started: %1.").arg(why), MB_ICONERROR);
        return;
    }
    AfxMessageBox(DownloadingText(), MB_ICONINFORMATION);
}

void CFormSetup::EndDownload(const DownloadResult& result) {
    SetDownloadControlsEnabled(true);
    if (result.ok || result.stopped) {
        emit DownloadEnded();
        return;
    }
    // The notice that a download runs no longer holds; the failure is the one message left up.
    AfxEndMessageBox(DownloadingText());
    // A device that is gone fails every further write the same way: the port is closed, so that the form
    // offers Open Port and nothing that cannot work.
    const bool gone = PortDeviceGone(m_link->Port().lastSystemError());
    if (gone) {
        m_link->Close();
        SetClosedState();
        m_refreshTimer->start();
    }
    QString why = QString::fromStdString(DescribeDownloadFailure(result, m_link->PortName()));
    if (!why.isEmpty()) {
        why[0] = why[0].toUpper();
    }
    const QString what =
        gone ? tr("plug the adapter in (or check the cable), open the port and download again.")
             : tr("download again.");
    AfxMessageBox(why + QLatin1Char('.') + QLatin1Char('\n') +
                      tr("The controller holds an incomplete recipe; %1").arg(what),
                  MB_ICONERROR);
    emit DownloadEnded();
}
