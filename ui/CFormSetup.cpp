#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CRecipeEditor.h"
#include "CSerialPortBase.h"
#include "FormSetupBuilder.h"
#include "JournalWriter.h"
#include "PortDoctor.h"
#include "PortWording.h"
#include "ScrollCodeAdapter.h"
#include "SerialPortFactory.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>

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

// The program's settings key of the Live choice.
const QString kLiveSetting = QStringLiteral("Setup/Live");

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
    m_ports = new PortListModel(m_portTable, this);
    // The receive thread tells of a hang-up; the form hears of it on its own thread.
    m_link->SetLineLostHandler([this] {
        // On the receive thread of the current opening: the next opening joins it first.
        PostToForm([opening = m_openCount.load()](CFormSetup* form) {
            if (opening == form->m_openCount.load()) {
                form->OnLineLost();
            }
        });
    });

    BindControls();
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);
    UpdateControllerLine();
}

CFormSetup::~CFormSetup() {
    // The worker writes to the port and reports to the form: it ends before either goes.
    m_link->Close();
    EndLiveSession(kJournalComplete);
    m_link.reset();
    m_journal.reset(); // what is queued is written first
}

CKAVODoc* CFormSetup::GetDocument() const {
    return static_cast<CKAVODoc*>(CViewBase::GetDocument());
}

void CFormSetup::BindControls() {
    const FormSetupControls c = BuildFormSetup(m_form);
    m_btnCamera = c.cameras;
    m_btnPosition = c.positions;
    m_sbLevel = c.levels;
    m_stLevel = c.levelTexts;
    m_cbPort = c.portList;
    m_keepNameAction = c.keepName;
    m_btnOpenPort = c.openPort;
    m_btnDownload = c.download;
    m_progress = c.progress;
    m_chkLive = c.live;
    m_stController = c.controllerLine;
    m_controls = c.byId;

    for (int i = 0; i < CKAVODoc::kCameras; ++i) {
        connect(m_btnCamera[i], &QPushButton::clicked, this, [this, i] { OnCameraButton(IDC_CAMERA1 + i); });
        m_btnCamera[i]->SetFaceColor(m_clrNormal, false);
    }
    for (int i = 0; i < CKAVODoc::kPositions; ++i) {
        connect(m_btnPosition[i], &QPushButton::clicked, this,
                [this, i] { OnPositionButton(IDC_POSITION1 + i); });
        m_btnPosition[i]->SetFaceColor(m_clrNormal, false);
    }
    for (int channel = 1; channel <= CKAVODoc::kChannels; ++channel) {
        connect(m_sbLevel[channel - 1], &CLevelBar::burstEnded, this, [this] {
            if (m_editor != nullptr) {
                m_editor->EndBurst();
            }
        });
        ConnectSlider(channel);
        connect(m_stLevel[channel - 1], &CLevelEdit::levelEntered, this,
                [this, channel](int level) { OnLevelEntered(channel, level); });
    }
    BindPortList();
    connect(m_btnOpenPort, &QPushButton::clicked, this, [this] { OnOpenPort(); });
    connect(m_btnDownload, &QPushButton::clicked, this, [this] { OnDownload(); });
    m_progress->setRange(0, kFrameCount);
    m_progress->setValue(0);
    SetProgressColor(kProgressRed);
    m_chkLive->setEnabled(false); // only while the port is open
    connect(m_chkLive, &QCheckBox::toggled, this, [this](bool on) { OnLive(on); });
    m_btnDownload->setEnabled(false);
}

void CFormSetup::BindPortList() {
    m_cbPort->setModel(m_ports);
    // The operator's pick and the view's selection go to the model; the model's choice after a refresh
    // comes back to the view.
    connect(m_cbPort, &QComboBox::activated, m_ports, &PortListModel::Pick);
    connect(m_cbPort, &QComboBox::currentIndexChanged, this, [this](int row) {
        m_ports->SetCurrentRow(row);
        m_cbPort->setToolTip(m_cbPort->currentText()); // the whole entry, when the box cuts it
    });
    connect(m_ports, &PortListModel::currentRowChosen, m_cbPort, &QComboBox::setCurrentIndex);
    // The box keeps its place in the form; the open list is as wide as its longest entry, so that each
    // adapter's identity can be read there.
    connect(m_ports, &PortListModel::listChanged, this, [this] {
        int widest = 0;
        for (int row = 0; row < m_cbPort->count(); ++row) {
            widest = std::max(widest, m_cbPort->fontMetrics().horizontalAdvance(m_cbPort->itemText(row)));
        }
        m_cbPort->view()->setMinimumWidth(
            widest + m_cbPort->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
            4 * m_cbPort->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    });
    // Not while the operator has the list open: the entries would change under the mouse.
    m_ports->SetRefreshHold([this] { return m_cbPort->view() != nullptr && m_cbPort->view()->isVisible(); });
    connect(m_keepNameAction, &QAction::triggered, m_ports, &PortListModel::KeepAdapterName);
    connect(m_ports, &PortListModel::keepNameOfferChanged, m_keepNameAction, &QAction::setEnabled);
    connect(m_ports, &PortListModel::keepNameFailed, this, [](const QString& name, const QString& error) {
        AfxMessageBox(
            QCoreApplication::translate("CFormSetup", "The name %1 could not be kept: %2.").arg(name, error),
            MB_ICONERROR);
    });
    connect(m_ports, &PortListModel::openPortGone, this, &CFormSetup::OnLineLost);
    // While the port is closed, the controller line speaks of the port selected.
    connect(m_cbPort, &QComboBox::currentTextChanged, this, [this] { UpdateControllerLine(); });
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
}

void CFormSetup::OnInitialUpdate() {
    ConnectDocument();
    OnUpdate(nullptr, 0);
    // A new or opened recipe does not change the port: an open port keeps its state, its Download button
    // and its list entry, and a running download keeps its bar.
    if (!m_link->IsOpen()) {
        m_ports->RefreshPortList();
        m_ports->SetOpenPort({});
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
    // Undo and redo may bring another camera or position on screen.
    const int camera = std::clamp<int>(doc->m_curCamera, 1, CKAVODoc::kCameras);
    const int position = std::clamp<int>(doc->m_curPosition, 1, CKAVODoc::kPositions);
    if (m_btnCamera.at(camera - 1)->FaceColor() != m_clrCamera ||
        m_btnPosition.at(position - 1)->FaceColor() != m_clrPosition) {
        PaintSelection();
    }
    // New and Open replace the whole recipe without an edit: nothing is sent, later edits are diffed
    // against the recipe as it is now.
    m_liveBasis = FrameValues(doc->m_levels, doc->m_stepMasks);
    UpdateControllerLine();
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
        if (IsLive()) {
            SendLiveValue(doc->m_curCamera, doc->m_curPosition, channel, false,
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
            doc->SetLevel(doc->m_curCamera, doc->m_curPosition, channel, level);
        }
        // A release at the value the recipe already held announces nothing, but the thumb may have sent
        // another one.
        SendLiveChanges(doc->m_curCamera, doc->m_curPosition);
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
    m_ports->SetOpenPort({}); // the refresh runs again
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
    m_ports->SetOpenPort(m_link->PortName()); // the list stays, and its adapter is watched
    m_btnDownload->setEnabled(true);
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
        return;
    }
    const std::string name = SelectedPortName().toStdString();
    ++m_openCount;
    if (m_link->Open(name)) {
        SetOpenState();
        return;
    }
    m_btnOpenPort->setText(OpenPortText());
    // The second line names the cause and its remedy, as kavo-cli doctor does.
    const PortIdentity identity = m_ports->Identity(name);
    const CSerialPortBase& port = m_link->Port();
    const std::string why = ExplainOpenFailure(m_portTable, name, port.lastError(), port.lastSystemError(),
                                               identity, DoctorSystem::OfThisMachine());
    AfxMessageBox(PortBusyText() + QLatin1Char('\n') + QString::fromStdString(why), MB_OK);
}

void CFormSetup::OnLineLost() {
    // A download in progress fails on its next write and its end closes the port and tells the operator,
    // also when the worker has finished and its end has yet to come through the event queue.
    if (!m_link->IsOpen() || IsDownloadRunning() || m_downloadUnended) {
        return;
    }
    const QString name = QString::fromStdString(m_link->PortName());
    const QString what = m_ports->OpenAdapter().isEmpty() ? name : m_ports->OpenAdapter();
    // A live session ends with the line, as a failed live write ends it; this is the one message for both.
    const bool wasLive = IsLive();
    if (wasLive) {
        QSettings().setValue(kLiveSetting, false);
        EndLiveSession(kJournalFailed, QString::fromStdString(PortLineFailureText(0, EIO)));
    }
    m_link->Close();
    SetClosedState();
    m_ports->RefreshPortList();
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
    m_downloadRecord.sha256 = RecipeImageSha256(*doc);
    m_downloadStart = std::chrono::steady_clock::now();
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
    return NewJournalRecord(kind, QString::fromStdString(name),
                            device ? QString::fromStdString(*device) : QString(),
                            doc != nullptr ? doc->GetPathName() : QString(),
                            doc != nullptr ? static_cast<const Recipe&>(*doc) : Recipe());
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
    m_liveBasis = FrameValues(doc->m_levels, doc->m_stepMasks);
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
        record.sha256 = RecipeImageSha256(*doc);
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
    const auto& levels = doc->m_levels[camera - 1][position - 1];
    const auto& masks = doc->m_stepMasks[camera - 1][position - 1];
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
        const int differ = memory.CountDifferences(FrameValues(doc->m_levels, doc->m_stepMasks));
        text = differ == 0   ? tr("Controller: matches this recipe")
               : differ == 1 ? tr("Controller: 1 setting differs from this recipe")
                             : tr("Controller: %1 settings differ from this recipe").arg(differ);
    }
    m_stController->setText(text);
}
