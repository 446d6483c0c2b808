#include "CFormSetup.h"

#include "AfxMessageBox.h"
#include "CColorButton.h"
#include "CKAVODoc.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CRecipeEditor.h"
#include "FormSetupBuilder.h"
#include "FormSetupTexts.h"
#include "PortWording.h"
#include "ScrollCodeAdapter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>

#include <algorithm>
#include <optional>

namespace {

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
    m_ports = new PortListModel(m_portTable, this);

    BindControls();
    setWidget(m_form);
    setFrameShape(QFrame::NoFrame);

    ConnectSession();
}

CFormSetup::~CFormSetup() {
    // The session outlives the form: it tells the form nothing more and no longer asks its list.
    m_session.disconnect(this);
    m_session.disconnect(m_stController);
    m_session.SetChosenPort(nullptr);
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
    connect(m_cbPort, &QComboBox::currentTextChanged, this, [this] { m_session.UpdateControllerState(); });
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

void CFormSetup::SetProgressColor(const QColor& bar) {
    m_progressColor = bar;
    m_progress->SetColors(bar, kProgressBack);
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

void CFormSetup::OnInitialUpdate() {
    // Whoever changes the current camera or position (these buttons, undo, New), the buttons show it.
    if (CKAVODoc* doc = GetDocument(); doc != nullptr && doc != m_connectedDoc) {
        m_connectedDoc = doc;
        connect(doc, &CKAVODoc::currentChanged, this, &CFormSetup::PaintSelection);
    }
    OnUpdate(nullptr, 0);
    // A new or opened recipe does not change the port: an open port keeps its state, its Download button
    // and its list entry, and a running download keeps its bar.
    if (!m_session.IsOpen()) {
        m_ports->RefreshPortList();
        m_ports->SetOpenPort({});
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
        const int v = levels.at(i);
        // A level 0 from a file shows at the bar's left end, below 1, rather than as a 1 it is not.
        bar->setRange(std::min(v, kLevelMin), kLevelMax);
        bar->show();
        m_stLevel[i]->show();
        bar->setValue(v);
        m_stLevel[i]->SetLevel(v);
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
    // From the level the recipe holds, not the bar's: a level 0 read from a file sits below the range the
    // controls set. It stays until the operator moves it: a step up takes 1, a step down or a release
    // where the thumb stood keeps 0.
    const int held = doc->CurrentLevels()[static_cast<std::size_t>(channel - 1)];
    auto taken = [held](int pos) { return pos == held ? held : std::clamp(pos, kLevelMin, kLevelMax); };
    std::optional<int> value;
    switch (code) {
    case SB_LINELEFT:
        value = held <= kLevelMin ? held : held - 1;
        break;
    case SB_LINERIGHT:
        value = held >= kLevelMax ? held : held + 1;
        break;
    case SB_THUMBPOSITION:
        // A thumb position outside the bar's range is taken at the nearest end, as the bar shows it.
        value = taken(pos);
        break;
    case SB_THUMBTRACK:
        // The light follows the thumb; the recipe takes the value on release.
        m_session.SendLiveLevel(doc->GetCurCamera(), doc->GetCurPosition(), channel,
                                static_cast<std::uint8_t>(taken(pos)));
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
        m_session.SendLiveChanges(doc->GetCurCamera(), doc->GetCurPosition());
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
    m_btnOpenPort->setText(FormSetupTexts::OpenPort());
    m_cbPort->setEnabled(true);
    m_btnDownload->setEnabled(false);
    // The choice stays remembered; the box shows that nothing is sent.
    UncheckLive();
    m_chkLive->setEnabled(false);
    m_ports->SetOpenPort({}); // the refresh runs again
}

void CFormSetup::SetOpenState() {
    m_btnOpenPort->setText(FormSetupTexts::ClosePort());
    m_cbPort->setEnabled(false);
    m_ports->SetOpenPort(m_session.PortName()); // the list stays, and its adapter is watched
    m_btnDownload->setEnabled(true);
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
    // The adapter, for the message when it goes away (the list forgets it when the port closes).
    m_openDescription = m_ports->OpenAdapter();
}

void CFormSetup::OnOpenFailed(const QString& why) {
    m_btnOpenPort->setText(FormSetupTexts::OpenPort());
    // The second line names the cause and its remedy, as kavo-cli doctor does.
    AfxMessageBox(FormSetupTexts::PortBusy() + QLatin1Char('\n') + why, MB_OK);
}

void CFormSetup::OnLineLost() {
    m_session.LoseLine();
}

void CFormSetup::ShowLineLost(const QString& portName, bool wasLive) {
    // A live session ended with the line, as a failed live write ends it; this is the one message for both.
    if (wasLive) {
        QSettings().setValue(kLiveSetting, false);
    }
    m_ports->RefreshPortList();
    const QString text = FormSetupTexts::LineLost(portName, m_openDescription, wasLive);
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
    const DownloadStartResult started = m_session.StartDownload();
    if (started != DownloadStartResult::Started) {
        SetDownloadControlsEnabled(true);
        AfxMessageBox(FormSetupTexts::DownloadNotStarted(started), MB_ICONERROR);
        return;
    }
    AfxMessageBox(FormSetupTexts::Downloading(), MB_ICONINFORMATION);
}

void CFormSetup::OnDownloadEnded(const DownloadResult& result, bool portClosed) {
    // A port closed because its device is gone offers Open Port only.
    m_btnOpenPort->setEnabled(true);
    m_btnDownload->setEnabled(m_session.IsOpen());
    if (result.ok || result.stopped) {
        return;
    }
    // The notice that a download runs no longer holds; the failure is the one message left up.
    AfxEndMessageBox(FormSetupTexts::Downloading());
    AfxMessageBox(
        FormSetupTexts::DownloadFailed(
            QString::fromStdString(DescribeDownloadFailure(result, m_session.PortName())), portClosed),
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
    AfxMessageBox(FormSetupTexts::LiveFailed(portName, errorText, portClosed), MB_ICONERROR);
}
