#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CRecipeEditor.h"
#include "CSerialPortBase.h"
#include "DialogUnits.h"
#include "JournalWriter.h"
#include "PortDoctor.h"
#include "PortMonitor.h"
#include "PortPin.h"
#include "PortScanner.h"
#include "PortWording.h"
#include "ScrollCodeAdapter.h"
#include "SerialPortFactory.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSocketNotifier>
#include <QStyle>
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
    m_journal = std::make_unique<JournalWriter>(
        DefaultJournalPath(), [form = QPointer<CFormSetup>(this)](const QString& error) {
            QMetaObject::invokeMethod(
                qApp,
                [form, error] {
                    if (form) {
                        emit form->StatusMessage(tr("The download journal can't be written: %1").arg(error));
                    }
                },
                Qt::QueuedConnection);
        });
    m_link = std::make_unique<ControllerLink>(CreateSerialPort(m_portTable), m_beeper.get(),
                                              services.downloadOptions);
    m_scanner = std::make_unique<PortScanner>(m_portTable);
    // The receive thread tells of a hang-up; the form hears of it on its own thread.
    m_link->SetLineLostHandler([this] {
        // On the receive thread of the current opening: the next opening joins it first.
        PostToForm([opening = m_openCount.load()](CFormSetup* form) {
            if (opening == form->m_openCount.load()) {
                form->OnLineLost();
            }
        });
    });

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
    UpdateControllerLine();
}

CFormSetup::~CFormSetup() {
    // The worker writes to the port and reports to the form: it ends before either goes.
    m_link->Close();
    EndLiveSession(kJournalComplete);
    m_link.reset();
    delete m_portNotifier; // before the monitor's descriptor closes
    m_portNotifier = nullptr;
    m_journal.reset(); // what is queued is written first
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
            connect(m_cbPort, &QComboBox::currentTextChanged, this, [this] { UpdateControllerLine(); });
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
    const int camera = doc != nullptr ? std::clamp<int>(doc->GetCurCamera(), 1, CKAVODoc::kCameras) : 1;
    const int position = doc != nullptr ? std::clamp<int>(doc->GetCurPosition(), 1, CKAVODoc::kPositions) : 1;
    for (int i = 1; i <= CKAVODoc::kCameras; ++i) {
        m_btnCamera[i - 1]->SetFaceColor(i == camera ? m_clrCamera : m_clrNormal);
    }
    for (int i = 1; i <= CKAVODoc::kPositions; ++i) {
        m_btnPosition[i - 1]->SetFaceColor(i == position ? m_clrPosition : m_clrNormal);
    }
}

void CFormSetup::ConnectDocument() {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || doc == m_connectedDoc) {
        return;
    }
    m_connectedDoc = doc;
    // Every recipe edit comes through the document's setters, whoever makes it (slider, grid, undo, paste).
    connect(doc, &CKAVODoc::recipeValuesChanged, this, [this](int camera, int position) {
        SendLiveChanges(camera, position);
        UpdateControllerLine();
    });
    // Whoever changes the current camera or position (these buttons, undo, New), the buttons show it.
    connect(doc, &CKAVODoc::currentChanged, this, &CFormSetup::PaintSelection);
}

void CFormSetup::OnInitialUpdate() {
    ConnectDocument();
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
        m_stLevel[i]->SetLevel(v);
    }
    // New and Open replace the whole recipe without an edit: nothing is sent, later edits are diffed
    // against the recipe as it is now.
    m_liveBasis = FrameValues(doc->GetRecipe());
    UpdateControllerLine();
}

void CFormSetup::OnPositionButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_POSITION1 || id >= IDC_POSITION1 + CKAVODoc::kPositions) {
        return;
    }
    doc->SetCurrent(doc->GetCurCamera(), id - (IDC_POSITION1 - 1));
    if (m_editor != nullptr) {
        m_editor->EndBurst();
    }
    doc->UpdateAllViews(nullptr, 0);
}

void CFormSetup::OnCameraButton(int id) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || id < IDC_CAMERA1 || id >= IDC_CAMERA1 + CKAVODoc::kCameras) {
        return;
    }
    doc->SetCurrent(id - (IDC_CAMERA1 - 1), doc->GetCurPosition());
    if (m_editor != nullptr) {
        m_editor->EndBurst();
    }
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
        if (IsLive()) {
            SendLiveValue(doc->GetCurCamera(), doc->GetCurPosition(), channel, false,
                          static_cast<std::uint16_t>(std::clamp(pos, kLevelMin, kLevelMax)));
        }
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
            doc->SetLevel(doc->GetCurCamera(), doc->GetCurPosition(), channel, level);
        }
        // A release at the value the recipe already held announces nothing, but the thumb may have sent
        // another one.
        SendLiveChanges(doc->GetCurCamera(), doc->GetCurPosition());
    }
    doc->MarkEdited();
}

void CFormSetup::OnLevelEntered(int channel, int level) {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || channel < 1 || channel > CKAVODoc::kChannels) {
        return;
    }
    const auto value = static_cast<std::uint8_t>(std::clamp(level, kLevelMin, kLevelMax));
    if (m_editor != nullptr) {
        m_editor->TypeLevel(channel, value);
    } else if (doc->SetLevel(doc->GetCurCamera(), doc->GetCurPosition(), channel, value)) {
        doc->UpdateAllViews(nullptr, 0);
    }
}

void CFormSetup::SetClosedState() {
    m_btnOpenPort->setText(OpenPortText());
    m_cbPort->setEnabled(true);
    m_btnDownload->setEnabled(false);
    // The choice stays remembered; the box shows that nothing is sent.
    EndLiveSession(kJournalComplete);
    {
        const QSignalBlocker block(m_chkLive);
        m_chkLive->setChecked(false);
    }
    m_chkLive->setEnabled(false);
    UpdateControllerLine();
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
    UpdateControllerLine();
}

void CFormSetup::OnOpenPort() {
    if (IsDownloadRunning()) {
        return; // the worker writes to the port until its end notice
    }
    if (m_link->IsOpen()) {
        EndLiveSession(kJournalComplete);
        m_link->Close();
        SetClosedState();
        m_refreshTimer->start();
        return;
    }
    const std::string name = SelectedPortName().toStdString();
    ++m_openCount;
    if (m_link->Open(name)) {
        SetOpenState();
        const std::optional<std::string> device = m_portTable.devicePath(name);
        const PortIdentity identity = device ? m_scanner->reader().Read(*device) : PortIdentity();
        m_openKernelName = identity.kernelName;
        const std::string summary = identity.Summary();
        m_openDescription = QString::fromStdString(summary.empty() ? identity.device : summary);
        return;
    }
    m_btnOpenPort->setText(OpenPortText());
    // The second line names the cause and its remedy, as kavo-cli doctor does.
    const std::optional<std::string> device = m_portTable.devicePath(name);
    const PortIdentity identity = device ? m_scanner->reader().Read(*device) : PortIdentity();
    const CSerialPortBase& port = m_link->Port();
    const std::string why = ExplainOpenFailure(m_portTable, name, port.lastError(), port.lastSystemError(),
                                               identity, DoctorSystem::OfThisMachine());
    AfxMessageBox(PortBusyText() + QLatin1Char('\n') + QString::fromStdString(why), MB_OK);
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
    m_keepNameAction->setEnabled(!link.isEmpty() && !m_link->IsOpen() &&
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
    } else if (changed && !m_link->IsOpen()) {
        OnTimer(kRefreshTimerId);
    }
}

void CFormSetup::OnLineLost() {
    // A download in progress fails on its next write and its end closes the port and tells the operator,
    // also when the worker has finished and its end has yet to come through the event queue.
    if (!m_link->IsOpen() || IsDownloadRunning() || m_downloadUnended) {
        return;
    }
    const QString name = QString::fromStdString(m_link->PortName());
    const QString what = m_openDescription.isEmpty() ? name : m_openDescription;
    // A live session ends with the line, as a failed live write ends it; this is the one message for both.
    const bool wasLive = IsLive();
    if (wasLive) {
        QSettings().setValue(kLiveSetting, false);
        EndLiveSession(kJournalFailed, QString::fromStdString(PortLineFailureText(0, EIO)));
    }
    m_link->Close();
    m_openKernelName.clear();
    SetClosedState();
    m_refreshTimer->start();
    RefreshPortList();
    QString text =
        QCoreApplication::translate("CFormSetup", "The adapter of %1 was unplugged: %2.\nThe port is "
                                                  "closed; plug the adapter in and press Open Port.")
            .arg(name, what);
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
        form->UpdateControllerLine();
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
    // Journalled here, on the worker's thread, so that a download ended by quitting is recorded too. The
    // record was filled before the worker started and is not touched again until Download is enabled,
    // which EndDownload does below.
    JournalRecord record = m_downloadRecord;
    record.frames = result.framesSent;
    record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - m_downloadStart)
                            .count();
    if (result.ok || (result.stopped && result.framesSent == kFrameCount && result.failedFrame == 0)) {
        record.result = QString::fromLatin1(kJournalComplete); // all frames out; at most the beep cut short
    } else if (result.stopped) {
        record.result = QString::fromLatin1(kJournalStopped);
    } else {
        record.result = QString::fromLatin1(kJournalFailed);
        record.failedFrame =
            result.failedFrame > 0 ? result.failedFrame : std::min(result.framesSent + 1, kFrameCount);
        record.error = QString::fromStdString(result.errorText);
    }
    m_journal->Append(std::move(record));
    PostToForm([result](CFormSetup* form) { form->EndDownload(result); });
}

void CFormSetup::OnDownload() {
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || IsDownloadRunning() || !m_link->IsOpen()) {
        return;
    }
    m_downloadRecord = NewRecord(kJournalDownload);
    m_downloadRecord.sha256 = RecipeImageSha256(doc->GetRecipe());
    m_downloadStart = std::chrono::steady_clock::now();
    // Posted before the worker starts, so that a download that fails at once cannot have its end notice
    // overtaken by this one.
    PostDownloadControls(0);
    // The one copy of the recipe: edits made while the worker runs go out with the next download.
    const DownloadStartResult started = m_link->StartDownload(doc->GetRecipe(), *this);
    if (started != DownloadStartResult::Started) {
        PostDownloadControls(1);
        QString why;
        switch (started) {
        case DownloadStartResult::AlreadyRunning:
            why = tr("a download is already running");
            break;
        case DownloadStartResult::NoThread:
            why = tr("the system could not start the download thread");
            break;
        default:
            why = tr("there is no port to write to");
            break;
        }
        AfxMessageBox(tr("The download could not be started: %1.").arg(why), MB_ICONERROR);
        return;
    }
    m_downloadUnended = true;
    AfxMessageBox(DownloadingText(), MB_ICONINFORMATION);
}

bool CFormSetup::CloseIfDeviceGone() {
    // A device that is gone fails every further write the same way: the port is closed, so that the form
    // offers Open Port and nothing that cannot work.
    if (!m_link->IsOpen() || !PortDeviceGone(m_link->Port().lastSystemError())) {
        return false;
    }
    EndLiveSession(kJournalComplete);
    m_link->Close();
    SetClosedState();
    m_refreshTimer->start();
    return true;
}

void CFormSetup::EndDownload(const DownloadResult& result) {
    m_downloadUnended = false;
    SetDownloadControlsEnabled(true);
    UpdateControllerLine();
    if (result.ok || result.stopped) {
        emit DownloadEnded();
        return;
    }
    // The notice that a download runs no longer holds; the failure is the one message left up.
    AfxEndMessageBox(DownloadingText());
    const bool gone = CloseIfDeviceGone();
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

JournalRecord CFormSetup::NewRecord(const char* kind) const {
    const CKAVODoc* doc = GetDocument();
    const std::string name = m_link->PortName();
    const auto device = m_portTable.devicePath(name);
    return NewJournalRecord(
        kind, QString::fromStdString(name), device ? QString::fromStdString(*device) : QString(),
        doc != nullptr ? doc->GetPathName() : QString(), doc != nullptr ? doc->GetRecipe() : Recipe());
}

bool CFormSetup::IsLive() const {
    return m_liveRecord.has_value();
}

void CFormSetup::OnLive(bool on) {
    if (on == IsLive()) {
        return;
    }
    if (!on) {
        QSettings().setValue(kLiveSetting, false);
        EndLiveSession(kJournalComplete);
        return;
    }
    CKAVODoc* doc = GetDocument();
    if (doc == nullptr || !m_link->IsOpen() || !m_link->StartLive(*this)) {
        const QSignalBlocker block(m_chkLive);
        m_chkLive->setChecked(false);
        return;
    }
    QSettings().setValue(kLiveSetting, true);
    {
        const QSignalBlocker block(m_chkLive);
        m_chkLive->setChecked(true);
    }
    m_liveBasis = FrameValues(doc->GetRecipe());
    m_position5Told = false;
    m_liveRecord = NewRecord(kJournalLive);
    m_liveFrames.store(0);
    m_liveStart = std::chrono::steady_clock::now();
}

void CFormSetup::EndLiveSession(const char* result, const QString& error) {
    if (!m_liveRecord) {
        return;
    }
    m_link->StopLive();
    JournalRecord record = std::move(*m_liveRecord);
    m_liveRecord.reset();
    // The recipe the session ended with.
    if (const CKAVODoc* doc = GetDocument()) {
        record.sha256 = RecipeImageSha256(doc->GetRecipe());
        record.recipe = doc->GetPathName().isEmpty() ? QStringLiteral("Untitled") : doc->GetPathName();
    }
    record.result = QString::fromLatin1(result);
    record.frames = m_liveFrames.load();
    if (record.result == QLatin1String(kJournalFailed)) {
        record.failedFrame = record.frames + 1;
        record.error = error;
    }
    record.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_liveStart)
            .count();
    m_journal->Append(std::move(record));
    if (m_chkLive != nullptr && m_chkLive->isChecked()) {
        const QSignalBlocker block(m_chkLive);
        m_chkLive->setChecked(false);
    }
}

void CFormSetup::SendLiveValue(int camera, int position, int channel, bool mask, std::uint16_t value) {
    if (position > kavo::download::kSentPositionCount) {
        if (!m_position5Told) {
            m_position5Told = true;
            emit StatusMessage(
                tr("Position %1 has no controller address: its changes are not sent live.").arg(position));
        }
        return;
    }
    const int slot = kavo::download::FrameSlot(camera, position, channel, mask);
    auto& basis = m_liveBasis[static_cast<std::size_t>(slot)];
    if (basis != value) {
        basis = value;
        m_link->SendLive(slot, value);
    }
}

void CFormSetup::SendLiveChanges(int camera, int position) {
    const CKAVODoc* doc = GetDocument();
    if (!IsLive() || doc == nullptr || camera < 1 || camera > CKAVODoc::kCameras || position < 1 ||
        position > CKAVODoc::kPositions) {
        return;
    }
    const auto& levels = doc->LevelsAt(camera, position);
    const auto& masks = doc->MasksAt(camera, position);
    if (position > kavo::download::kSentPositionCount) {
        SendLiveValue(camera, position, 1, false, levels[0]); // only the note
        return;
    }
    for (int k = 1; k <= CKAVODoc::kChannels; ++k) {
        SendLiveValue(camera, position, k, false, levels[k - 1]);
    }
    for (int k = 1; k <= CKAVODoc::kChannels; ++k) {
        SendLiveValue(camera, position, k, true, masks[k - 1]);
    }
}

void CFormSetup::OnLiveFrameSent(int, std::uint16_t) {
    m_liveFrames.fetch_add(1);
    PostToForm([](CFormSetup* form) { form->UpdateControllerLine(); });
}

void CFormSetup::OnLiveFailed(int, const std::string& errorText) {
    PostToForm([why = QString::fromStdString(errorText)](CFormSetup* form) { form->LiveFailed(why); });
}

void CFormSetup::LiveFailed(const QString& errorText) {
    if (!m_link->IsOpen()) {
        // The line was lost first: its end has closed the port, journalled the session and told the
        // operator once.
        return;
    }
    const QString port = QString::fromStdString(m_link->PortName());
    QSettings().setValue(kLiveSetting, false);
    EndLiveSession(kJournalFailed, errorText);
    const bool gone = CloseIfDeviceGone();
    UpdateControllerLine();
    const QString what =
        gone ? tr("Plug the adapter in (or check the cable), open the port and tick Live again.")
             : tr("Tick Live to send changes again.");
    AfxMessageBox(tr("Sending a live frame to %1 failed: %2.\nLive is off; the controller may not hold the "
                     "last change. %3")
                      .arg(port, errorText, what),
                  MB_ICONERROR);
}

void CFormSetup::UpdateControllerLine() {
    const CKAVODoc* doc = GetDocument();
    if (m_stController == nullptr || doc == nullptr) {
        return;
    }
    const ControllerMemory memory =
        m_link->IsOpen() ? m_link->Memory() : m_link->Memory(SelectedPortName().toStdString());
    const int known = memory.KnownCount();
    QString text;
    if (memory.downloadRunning) {
        text = tr("Controller: receiving a download");
    } else if (memory.downloadIncomplete) {
        text = tr("Controller: unknown (last download did not finish)");
    } else if (known == 0) {
        text = tr("Controller: not yet written from here");
    } else if (known < kFrameCount) {
        text =
            tr("Controller: unknown (only %1 of %2 settings written from here)").arg(known).arg(kFrameCount);
    } else {
        const int differ = memory.CountDifferences(FrameValues(doc->GetRecipe()));
        text = differ == 0   ? tr("Controller: matches this recipe")
               : differ == 1 ? tr("Controller: 1 setting differs from this recipe")
                             : tr("Controller: %1 settings differ from this recipe").arg(differ);
    }
    m_stController->setText(text);
}
