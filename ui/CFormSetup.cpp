#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CRecipeEditor.h"
#include "DialogUnits.h"
#include "PortMonitor.h"
#include "PortPin.h"
#include "PortScanner.h"
#include "PortWording.h"
#include "ScrollCodeAdapter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <optional>

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

// The port list's entries: the text shows the name and the adapter, the data holds the name (what Open
// uses and the pick remembers) and the adapter's by-id link (what "Keep this adapter's name" writes).
constexpr int kPortNameRole = Qt::UserRole;
constexpr int kByIdLinkRole = Qt::UserRole + 1;
// The program's settings key of the Live choice.
const QString kLiveSetting = QStringLiteral("Setup/Live");

// Names of the form's controls in tests and style sheets: "id2000", ...
QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

} // namespace

const QColor CFormSetup::kNormalColor(127, 127, 127);
const QColor CFormSetup::kPositionColor(5, 200, 5);
const QColor CFormSetup::kCameraColor(250, 250, 5);

CFormSetup::CFormSetup(const AppServices& services, ControllerSession& session, QWidget* parent)
    : QScrollArea(parent), m_clrNormal(kNormalColor), m_clrPosition(kPositionColor),
      m_clrCamera(kCameraColor), m_portTable(services.portTable), m_session(session), m_form(new QWidget) {
    // WM_DOWNLOAD_CONTROLS may be posted by name, as a window message would be.
    static const bool registered = [] {
        qRegisterMetaType<quintptr>("quintptr");
        qRegisterMetaType<qintptr>("qintptr");
        return true;
    }();
    (void)registered;
    m_scanner = std::make_unique<PortScanner>(m_portTable);

    CreateControls();
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshPeriodMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnTimer(kRefreshTimerId); });

    // Plugging and unplugging, from udev on this thread's event loop. Without udev (a container) the
    // monitor stays silent or does not start, and the 5-second refresh alone keeps the list.
    m_portMonitor = std::make_unique<PortMonitor>();
    if (m_portMonitor->Ok()) {
        m_portNotifier = new QSocketNotifier(m_portMonitor->fd(), QSocketNotifier::Read, this);
        connect(m_portNotifier, &QSocketNotifier::activated, this, [this] { OnPortMonitorEvents(); });
    }
    ConnectSession();
}

CFormSetup::~CFormSetup() {
    // The session outlives the form: it tells the form nothing more and no longer asks its list.
    m_session.disconnect(this);
    m_session.disconnect(m_stController);
    m_session.SetChosenPort(nullptr);
    delete m_portNotifier; // before the monitor's descriptor closes
    m_portNotifier = nullptr;
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
            connect(m_cbPort, &QComboBox::activated, this, [this](int index) {
                const QVariant name = m_cbPort->itemData(index, kPortNameRole);
                m_pickedPort = name.isValid() ? name.toString() : m_cbPort->itemText(index);
            });
            connect(m_cbPort, &QComboBox::currentIndexChanged, this, [this] {
                m_cbPort->setToolTip(m_cbPort->currentText());
                UpdateKeepNameAction();
            });
            m_keepNameAction =
                new QAction(QCoreApplication::translate("CFormSetup", "Keep this adapter's name"), m_cbPort);
            connect(m_keepNameAction, &QAction::triggered, this, [this] { OnKeepAdapterName(); });
            m_cbPort->addAction(m_keepNameAction);
            m_cbPort->setContextMenuPolicy(Qt::ActionsContextMenu);
            m_keepNameAction->setEnabled(false);
            // While the port is closed, the controller line speaks of the port selected.
            connect(m_cbPort, &QComboBox::currentTextChanged, this,
                    [this] { m_session.UpdateControllerState(); });
            w = m_cbPort;
            break;
        }
        case FormControlKind::LevelBar: {
            auto* bar = new CLevelBar(m_form);
            m_sbLevel.at(id - IDC_LEVEL1) = bar;
            connect(bar, &CLevelBar::burstEnded, this, [this] {
                if (m_editor != nullptr) {
                    m_editor->EndBurst();
                }
            });
            ConnectSlider(id - IDC_LEVEL1 + 1);
            w = bar;
            break;
        }
        case FormControlKind::LevelText: {
            auto* label = new CLevelEdit(text, m_form);
            const int channel = id - IDC_LEVEL_TEXT1 + 1;
            m_stLevel.at(static_cast<std::size_t>(channel - 1)) = label;
            connect(label, &CLevelEdit::levelEntered, this,
                    [this, channel](int level) { OnLevelEntered(channel, level); });
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
        case FormControlKind::CheckBox:
            m_chkLive = new QCheckBox(tr("Live"), m_form);
            m_chkLive->setToolTip(tr("Send every change to the controller as it is made"));
            m_chkLive->setEnabled(false); // only while the port is open
            connect(m_chkLive, &QCheckBox::toggled, this, [this](bool on) { OnLive(on); });
            w = m_chkLive;
            break;
        case FormControlKind::StateText:
            m_stController = new QLabel(m_form);
            m_stController->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            w = m_stController;
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
    UpdateKeepNameAction();
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
    if (!m_session.IsOpen()) {
        RefreshPortList();
        m_refreshTimer->start();
        m_btnDownload->setEnabled(false);
    }
    if (!m_session.IsDownloadRunning()) {
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
        m_stLevel[i]->SetLevel(v);
    }
    // Undo and redo may bring another camera or position on screen.
    const int camera = std::clamp<int>(doc->m_curCamera, 1, CKAVODoc::kCameras);
    const int position = std::clamp<int>(doc->m_curPosition, 1, CKAVODoc::kPositions);
    if (m_btnCamera.at(camera - 1)->FaceColor() != m_clrCamera ||
        m_btnPosition.at(position - 1)->FaceColor() != m_clrPosition) {
        PaintSelection();
    }
    // New and Open replace the whole recipe without an edit: nothing is sent, later edits are diffed
    // against the recipe as it is now.
    m_session.RecipeReplaced();
}

void CFormSetup::OnPositionButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_POSITION1 || id >= IDC_POSITION1 + CKAVODoc::kPositions) {
        return;
    }
    doc->m_curPosition = static_cast<std::uint8_t>(id - (IDC_POSITION1 - 1));
    if (m_editor != nullptr) {
        m_editor->EndBurst();
    }
    PaintSelection();
    doc->UpdateAllViews(nullptr, 0);
}

void CFormSetup::OnCameraButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_CAMERA1 || id >= IDC_CAMERA1 + CKAVODoc::kCameras) {
        return;
    }
    doc->m_curCamera = static_cast<std::uint8_t>(id - (IDC_CAMERA1 - 1));
    if (m_editor != nullptr) {
        m_editor->EndBurst();
    }
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
    case SB_THUMBTRACK:
        // The light follows the thumb; the recipe takes the value on release.
        m_session.SendLiveLevel(doc->m_curCamera, doc->m_curPosition, channel,
                                static_cast<std::uint8_t>(std::clamp(pos, kLevelMin, kLevelMax)));
        break;
    default:
        break; // page, left, right, end scroll: no value change
    }
    // The thumb let go ends the slider's burst of steps.
    if (code == SB_ENDSCROLL && m_editor != nullptr) {
        m_editor->EndBurst();
    }
    if (value) {
        bar->setValue(*value);
        m_stLevel[channel - 1]->SetLevel(*value);
        const auto level = static_cast<std::uint8_t>(*value);
        if (m_editor != nullptr) {
            m_editor->SlideLevel(channel, level);
        } else {
            doc->SetLevel(doc->m_curCamera, doc->m_curPosition, channel, level);
        }
        // A release at the value the recipe already held announces nothing, but the thumb may have sent
        // another one.
        m_session.SendLiveChanges(doc->m_curCamera, doc->m_curPosition);
    }
    doc->SetModifiedFlag(true);
}

void CFormSetup::OnLevelEntered(int channel, int level) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || channel < 1 || channel > CKAVODoc::kChannels) {
        return;
    }
    const auto value = static_cast<std::uint8_t>(std::clamp(level, kLevelMin, kLevelMax));
    if (m_editor != nullptr) {
        m_editor->TypeLevel(channel, value);
    } else if (doc->SetLevel(doc->m_curCamera, doc->m_curPosition, channel, value)) {
        doc->UpdateAllViews(nullptr, 0);
    }
}

void CFormSetup::SetClosedState() {
    m_btnOpenPort->setText(OpenPortText());
    m_cbPort->setEnabled(true);
    m_btnDownload->setEnabled(false);
    // The choice stays remembered; the box shows that nothing is sent.
    UncheckLive();
    m_chkLive->setEnabled(false);
    m_refreshTimer->start();
}

void CFormSetup::SetOpenState() {
    m_btnOpenPort->setText(ClosePortText());
    m_cbPort->setEnabled(false);
    m_refreshTimer->stop();
    m_btnDownload->setEnabled(true);
    UpdateKeepNameAction();
    m_chkLive->setEnabled(true);
    if (QSettings().value(kLiveSetting, false).toBool()) {
        m_chkLive->setChecked(true); // starts the session through OnLive
    }
}

void CFormSetup::OnOpenPort() {
    if (m_session.IsOpen()) {
        m_session.Close(); // refused while a download runs: the worker writes to the port until its end
        return;
    }
    m_session.Open(SelectedPortName().toStdString());
}

void CFormSetup::OnOpened() {
    SetOpenState();
    // The adapter, for the message when it goes away.
    const std::string name = m_session.PortName();
    const std::optional<std::string> device = m_portTable.devicePath(name);
    const PortIdentity identity = device ? m_scanner->reader().Read(*device) : PortIdentity();
    m_openKernelName = identity.kernelName;
    const std::string summary = identity.Summary();
    m_openDescription = QString::fromStdString(summary.empty() ? identity.device : summary);
}

void CFormSetup::OnOpenFailed(const QString& why) {
    m_btnOpenPort->setText(OpenPortText());
    // The second line names the cause and its remedy, as kavo-cli doctor does.
    AfxMessageBox(PortBusyText() + QLatin1Char('\n') + why, MB_OK);
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

QString CFormSetup::SelectedPortName() const {
    const QVariant name = m_cbPort->currentData(kPortNameRole);
    return name.isValid() ? name.toString() : m_cbPort->currentText();
}

void CFormSetup::RefreshPortList() {
    {
        const QSignalBlocker block(m_cbPort);
        std::vector<PortEntry> entries = m_scanner->Scan();
        std::stable_sort(entries.begin(), entries.end(),
                         [](const PortEntry& a, const PortEntry& b) { return PortListLess(a.name, b.name); });
        QStringList present, presentNames, presentLinks;
        for (const PortEntry& e : entries) {
            const std::string summary = e.identity.Summary();
            presentNames << QString::fromStdString(e.name);
            // "COM33  FT232R USB UART (A10K3J)"
            present << QString::fromStdString(summary.empty() ? e.name : e.name + "  " + summary);
            presentLinks << QString::fromStdString(e.identity.byIdLink);
        }
        QStringList shown, shownLinks;
        for (int row = 0; row < m_cbPort->count(); ++row) {
            shown << m_cbPort->itemText(row);
            shownLinks << m_cbPort->itemData(row, kByIdLinkRole).toString();
        }
        // The same entries stay as they are: an idle form does not rebuild and repaint its list every 5 s.
        if (present != shown || presentLinks != shownLinks) {
            m_cbPort->clear();
            for (qsizetype i = 0; i < present.size(); ++i) {
                m_cbPort->addItem(present[i], presentNames[i]);
                m_cbPort->setItemData(static_cast<int>(i), presentLinks[i], kByIdLinkRole);
                m_cbPort->setItemData(static_cast<int>(i), present[i], Qt::ToolTipRole);
            }
            // The box keeps its place in the form; the open list is as wide as its longest entry, so that
            // each adapter's identity can be read there.
            int widest = 0;
            for (const QString& text : present) {
                widest = std::max(widest, m_cbPort->fontMetrics().horizontalAdvance(text));
            }
            m_cbPort->view()->setMinimumWidth(
                widest + m_cbPort->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                4 * m_cbPort->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
        }
        if (!present.isEmpty()) {
            const int picked = m_pickedPort.isEmpty() ? -1 : m_cbPort->findData(m_pickedPort, kPortNameRole);
            if (picked >= 0) {
                m_cbPort->setCurrentIndex(picked);
            } else {
                m_pickedPort.clear(); // the operator's port went away
                m_cbPort->setCurrentIndex(m_cbPort->count() - 1);
            }
        }
    }
    m_cbPort->setToolTip(m_cbPort->currentText()); // the whole entry, when the box cuts it
    UpdateKeepNameAction();
}

void CFormSetup::UpdateKeepNameAction() {
    if (m_keepNameAction == nullptr) {
        return;
    }
    const QString link = m_cbPort->currentData(kByIdLinkRole).toString();
    const std::string name = SelectedPortName().toStdString();
    // Offered for an adapter with a by-id link whose name is not already kept that way.
    m_keepNameAction->setEnabled(!link.isEmpty() && !m_session.IsOpen() &&
                                 PinnedTarget(m_portTable, name) != link.toStdString());
}

void CFormSetup::OnKeepAdapterName() {
    const QString link = m_cbPort->currentData(kByIdLinkRole).toString();
    const QString name = SelectedPortName();
    if (link.isEmpty() || name.isEmpty()) {
        return;
    }
    std::string error;
    if (!PinPortName(m_portTable, name.toStdString(), link.toStdString(), error)) {
        AfxMessageBox(QCoreApplication::translate("CFormSetup", "The name %1 could not be kept: %2.")
                          .arg(name, QString::fromStdString(error)),
                      MB_ICONERROR);
        return;
    }
    m_pickedPort = name;
    RefreshPortList();
}

void CFormSetup::OnPortMonitorEvents() {
    bool changed = false;
    bool openPortGone = false;
    for (const PortMonitor::Event& e : m_portMonitor->Drain()) {
        changed = true;
        if (e.action == "remove" && !m_openKernelName.empty() && e.kernelName == m_openKernelName) {
            openPortGone = true;
        }
    }
    if (changed) {
        m_scanner->Invalidate();
    }
    if (openPortGone) {
        OnLineLost(); // refreshes the list too
    } else if (changed && !m_session.IsOpen()) {
        OnTimer(kRefreshTimerId);
    }
}

void CFormSetup::OnLineLost() {
    m_session.LoseLine();
}

void CFormSetup::ShowLineLost(const QString& portName, bool wasLive) {
    // A live session ended with the line, as a failed live write ends it; this is the one message for both.
    if (wasLive) {
        QSettings().setValue(kLiveSetting, false);
    }
    m_openKernelName.clear();
    RefreshPortList();
    const QString what = m_openDescription.isEmpty() ? portName : m_openDescription;
    QString text =
        QCoreApplication::translate("CFormSetup", "The adapter of %1 was unplugged: %2.\nThe port is "
                                                  "closed; plug the adapter in and press Open Port.")
            .arg(portName, what);
    if (wasLive) {
        text +=
            QLatin1Char(' ') +
            tr("Live is off; the controller may not hold the last change. Tick Live again after Open Port.");
    }
    AfxMessageBox(text, MB_ICONERROR);
}

void CFormSetup::SetDownloadControlsEnabled(bool enable) {
    m_btnDownload->setEnabled(enable);
    m_btnOpenPort->setEnabled(enable);
}

qintptr CFormSetup::OnDownloadControls(quintptr wParam, qintptr) {
    SetDownloadControlsEnabled((wParam & 0xFF) == 1);
    return 0;
}

void CFormSetup::ConnectSession() {
    ControllerSession* session = &m_session;
    connect(session, &ControllerSession::opened, this, [this] { OnOpened(); });
    connect(session, &ControllerSession::openFailed, this,
            [this](const QString&, const QString& why) { OnOpenFailed(why); });
    connect(session, &ControllerSession::closed, this, [this] { SetClosedState(); });
    connect(session, &ControllerSession::lineLost, this,
            [this](const QString& name, bool wasLive) { ShowLineLost(name, wasLive); });
    connect(session, &ControllerSession::downloadStarted, this, [this] {
        m_progress->setValue(0);
        SetProgressColor(kProgressRed);
    });
    connect(session, &ControllerSession::downloadProgress, this,
            [this](int count) { m_progress->setValue(count & 0xFFFF); });
    connect(session, &ControllerSession::downloadSucceeded, this,
            [this] { SetProgressColor(kProgressGreen); });
    connect(session, &ControllerSession::downloadBell, this, [] { QApplication::beep(); });
    connect(session, &ControllerSession::downloadEnded, this,
            [this](const DownloadResult& result, bool portClosed) { OnDownloadEnded(result, portClosed); });
    connect(session, &ControllerSession::liveFailed, this,
            [this](const QString& port, const QString& error, bool portClosed) {
                OnLiveFailed(port, error, portClosed);
            });
    connect(session, &ControllerSession::controllerStateChanged, m_stController, &QLabel::setText);
    // While the port is closed, the controller line speaks of the port selected.
    m_session.SetChosenPort([this] { return SelectedPortName().toStdString(); });
    m_stController->setText(m_session.ControllerState());
}

void CFormSetup::OnDownload() {
    if (GetDocument() == nullptr || m_session.IsDownloadRunning() || !m_session.IsOpen()) {
        return;
    }
    SetDownloadControlsEnabled(false);
    const ControllerLink::StartResult started = m_session.StartDownload();
    if (started != ControllerLink::StartResult::Started) {
        SetDownloadControlsEnabled(true);
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

void CFormSetup::OnDownloadEnded(const DownloadResult& result, bool portClosed) {
    // A port closed because its device is gone offers Open Port only.
    m_btnOpenPort->setEnabled(true);
    m_btnDownload->setEnabled(m_session.IsOpen());
    if (result.ok || result.stopped) {
        return;
    }
    // The notice that a download runs no longer holds; the failure is the one message left up.
    AfxEndMessageBox(DownloadingText());
    QString why = QString::fromStdString(DescribeDownloadFailure(result, m_session.PortName()));
    if (!why.isEmpty()) {
        why[0] = why[0].toUpper();
    }
    const QString what =
        portClosed ? tr("plug the adapter in (or check the cable), open the port and download again.")
                   : tr("download again.");
    AfxMessageBox(why + QLatin1Char('.') + QLatin1Char('\n') +
                      tr("The controller holds an incomplete recipe; %1").arg(what),
                  MB_ICONERROR);
}

void CFormSetup::UncheckLive() {
    if (m_chkLive->isChecked()) {
        const QSignalBlocker block(m_chkLive);
        m_chkLive->setChecked(false);
    }
}

void CFormSetup::OnLive(bool on) {
    if (on == m_session.IsLive()) {
        return;
    }
    if (!on) {
        QSettings().setValue(kLiveSetting, false);
        m_session.StopLive();
        UncheckLive();
        return;
    }
    if (GetDocument() == nullptr || !m_session.StartLive()) {
        UncheckLive();
        return;
    }
    QSettings().setValue(kLiveSetting, true);
    const QSignalBlocker block(m_chkLive);
    m_chkLive->setChecked(true);
}

void CFormSetup::OnLiveFailed(const QString& portName, const QString& errorText, bool portClosed) {
    QSettings().setValue(kLiveSetting, false);
    UncheckLive();
    const QString what =
        portClosed ? tr("Plug the adapter in (or check the cable), open the port and tick Live again.")
                   : tr("Tick Live to send changes again.");
    AfxMessageBox(tr("Sending a live frame to %1 failed: %2.\nLive is off; the controller may not hold the "
                     "last change. %3")
                      .arg(portName, errorText, what),
                  MB_ICONERROR);
}
