#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CSerialPortBase.h"
#include "DialogUnits.h"
#include "ScrollCodeAdapter.h"
#include "SerialPortFactory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const QString kOpenPortText = QString::fromLatin1(kOpenPortLabel);
const QString kClosePortText = QStringLiteral("Close Port");
const QString kPortBusyText = QStringLiteral("串口已被占用！");
const QString kDownloadingText = QStringLiteral("数据下载中, 在进度条变成绿色之前, 请不要断电或其他操作!");

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

// The port's last error with the system's own reason, for the operator.
std::string PortErrorDescription(const CSerialPortBase& port) {
    std::string text = port.lastErrorText();
    if (const int e = port.lastSystemError(); e != 0) {
        text += " (";
        text += std::strerror(e);
        text += ")";
    }
    return text;
}

} // namespace

const QColor CFormSetup::kNormalColor(127, 127, 127);
const QColor CFormSetup::kPositionColor(5, 200, 5);
const QColor CFormSetup::kCameraColor(250, 250, 5);

DownloadJob& TheDownloadJob() {
    static DownloadJob job;
    return job;
}

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
    m_pPort = CreateSerialPort(m_portTable);
    // Nothing is read back from the controller: received bytes are only buffered.
    m_pPort->setNotifyDelay(0);
    m_pPort->setNotifyThreshold(1);

    m_worker = std::make_unique<DownloadWorker>(m_beeper.get(), services.downloadOptions);

    CreateControls();
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshPeriodMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnTimer(kRefreshTimerId); });
}

CFormSetup::~CFormSetup() {
    // The worker writes to the port and reports to the bar: it ends before either goes. Closing the
    // port between the stop request and the join frees a write stuck on a stalled line.
    m_worker->requestStop();
    if (m_pPort && m_pPort->isOpen()) {
        m_pPort->close();
    }
    m_worker->stop();
    m_worker.reset();
    // The program-wide record must not keep a way to a port that is about to go.
    TheDownloadJob().write = nullptr;
    TheDownloadJob().errorText = nullptr;
    m_pPort.reset();
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
        const QString text = c.text != nullptr ? QString::fromUtf8(c.text) : QString();
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
    return m_worker && m_worker->isRunning();
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
    if (!m_pPort->isOpen()) {
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
    const std::vector<std::uint8_t>& levels = doc->CurrentLevels();
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
        doc->CurrentLevels().at(channel - 1) = static_cast<std::uint8_t>(*value);
    }
    doc->SetModifiedFlag(true);
}

void CFormSetup::SetClosedState() {
    m_btnOpenPort->setText(kOpenPortText);
    m_cbPort->setEnabled(true);
    m_btnDownload->setEnabled(false);
}

void CFormSetup::SetOpenState() {
    m_btnOpenPort->setText(kClosePortText);
    m_cbPort->setEnabled(false);
    m_refreshTimer->stop();
    m_btnDownload->setEnabled(true);
}

void CFormSetup::OnOpenPort() {
    if (IsDownloadRunning()) {
        return; // the worker writes to the port until its end notice
    }
    if (m_pPort->isOpen()) {
        m_pPort->close();
        SetClosedState();
        m_refreshTimer->start();
        return;
    }
    const QString name = m_cbPort->currentText();
    const QByteArray name8 = name.toUtf8();
    m_pPort->configure(name8.constData(), kLineBaud, ParityNone, DataBits8, StopOne, FlowNone,
                       kReadBufferSize);
    m_pPort->open();
    if (m_pPort->isOpen()) {
        SetOpenState();
        return;
    }
    m_btnOpenPort->setText(kOpenPortText);
    AfxMessageBox(kPortBusyText + QLatin1Char('\n') + OpenFailureCause(name), MB_OK);
}

QString CFormSetup::OpenFailureCause(const QString& name) const {
    if (name.isEmpty()) {
        return QStringLiteral("No serial port is selected: no port was found on this computer.");
    }
    const int code = m_pPort->lastError();
    const int e = m_pPort->lastSystemError();
    if (code == ErrorNotExist || e == ENOENT || e == ENODEV || e == ENXIO) {
        return QStringLiteral("%1 was not found: the adapter may be unplugged.").arg(name);
    }
    if (e == EBUSY) {
        return QStringLiteral("%1 is in use by another program.").arg(name);
    }
    if (e == EACCES || e == EPERM) {
        return QStringLiteral("Permission denied for %1: add the user to the dialout group "
                              "(sudo usermod -aG dialout $USER) and log in again.")
            .arg(name);
    }
    if (code == ErrorInvalidParam) {
        return QStringLiteral(
                   "%1 refused the line settings (115200 baud, 8 data bits, no parity, 1 stop bit).")
            .arg(name);
    }
    return QStringLiteral("%1 could not be opened: %2.")
        .arg(name, QString::fromStdString(PortErrorDescription(*m_pPort)));
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
    for (const std::string& name : names) {
        // The list is sorted as text, without regard to case (COM1, COM10, COM2).
        const QString text = QString::fromStdString(name);
        int row = 0;
        while (row < sorted.size() && QString::compare(sorted[row], text, Qt::CaseInsensitive) <= 0) {
            ++row;
        }
        sorted.insert(row, text);
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

void CFormSetup::OnDownload() {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || IsDownloadRunning() || !m_pPort->isOpen()) {
        return;
    }
    DownloadJob& job = TheDownloadJob();
    // Deep copies: edits made while the worker runs go out with the next download.
    job.levels = doc->m_levels;
    job.stepMasks = doc->m_stepMasks;
    // The port is read through the form's field before every frame.
    std::unique_ptr<CSerialPortBase>* ppPort = &m_pPort;
    job.write = [ppPort](const std::uint8_t* data, int size) -> int {
        CSerialPortBase* port = ppPort->get();
        return port != nullptr ? port->write(reinterpret_cast<const char*>(data), size) : -1;
    };
    job.errorText = [ppPort]() -> std::string {
        const CSerialPortBase* port = ppPort->get();
        return port != nullptr ? PortErrorDescription(*port) : std::string("no port");
    };

    // The worker reaches the widgets only by queued calls: the user-interface thread may be joining it.
    const QPointer<CFormSetup> self(this);
    auto post = [self](auto&& fn) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, fn = std::forward<decltype(fn)>(fn)] {
                if (self) {
                    fn(self.data());
                }
            },
            Qt::QueuedConnection);
    };
    DownloadCallbacks callbacks;
    callbacks.started = [post] {
        post([](CFormSetup* form) {
            form->m_progress->setValue(0);
            form->SetProgressColor(kProgressRed);
        });
    };
    callbacks.progress = [post](int count) {
        post([count](CFormSetup* form) { form->m_progress->setValue(count & 0xFFFF); });
    };
    callbacks.succeeded = [post] { post([](CFormSetup* form) { form->SetProgressColor(kProgressGreen); }); };
    callbacks.bell = [post] { post([](CFormSetup*) { QApplication::beep(); }); };
    callbacks.finished = [post](const DownloadResult& result) {
        post([result](CFormSetup* form) { form->OnDownloadFinished(result); });
    };

    // Posted before the worker starts, so that a download that fails at once cannot have its end notice
    // overtaken by this one.
    PostDownloadControls(0);
    const DownloadWorker::StartResult started = m_worker->start(job, std::move(callbacks));
    if (started != DownloadWorker::StartResult::Started) {
        PostDownloadControls(1);
        QString why;
        switch (started) {
        case DownloadWorker::StartResult::AlreadyRunning:
            why = QStringLiteral("a download is already running");
            break;
        case DownloadWorker::StartResult::BadRecipe:
            why = QStringLiteral("the recipe is incomplete");
            break;
        case DownloadWorker::StartResult::NoThread:
            why = QStringLiteral("the system could not start the download thread");
            break;
        default:
            why = QStringLiteral("there is no port to write to");
            break;
        }
        AfxMessageBox(QStringLiteral("The download could not be started: %1.").arg(why), MB_ICONERROR);
        return;
    }
    AfxMessageBox(kDownloadingText, MB_ICONINFORMATION);
}

void CFormSetup::OnDownloadFinished(const DownloadResult& result) {
    OnDownloadControls(1, 0);
    if (result.ok || result.stopped) {
        return;
    }
    QString why = QString::fromStdString(DescribeDownloadFailure(result, m_pPort ? m_pPort->portName() : ""));
    if (!why.isEmpty()) {
        why[0] = why[0].toUpper();
    }
    AfxMessageBox(why + QStringLiteral(".\nThe controller holds an incomplete recipe; download again."),
                  MB_ICONERROR);
}
