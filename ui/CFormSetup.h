#pragma once

#include "AppServices.h"
#include "CLevelBar.h"
#include "CLevelEdit.h"
#include "CViewBase.h"
#include "ControllerLink.h"
#include "DownloadJournal.h"
#include "FormSetupLayout.h"
#include "PortListModel.h"
#include "PortNameTable.h"
#include "WindowMessages.h"

#include <QColor>
#include <QScrollArea>

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CColorButton;
class CKAVODoc;
class CRecipeEditor;
class CSerialPortBase;
class IBeeper;
class QAction;
class JournalWriter;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;

// The setup form: camera and position buttons, the eight channel sliders, the port and the download.
// It owns the program's one controller link (the serial port and the download worker), and scrolls when the
// pane is narrower than the form.
//
// Live: while the box is ticked and the port open, every edit of positions 1..4 goes to the controller as
// single frames (the link paces and coalesces them), the slider's thumb while it is dragged included. The
// controller line tells whether what this tool delivered matches the recipe. Every download and live
// session is journalled.
class CFormSetup : public QScrollArea, public CViewBase, private IDownloadListener, private ILiveListener {
    Q_OBJECT

  public:
    // The port name table, the beeper and the download's pacing come from the services.
    explicit CFormSetup(const AppServices& services, QWidget* parent = nullptr);
    // Closes the link (a running download stopped and joined) before the progress bar goes.
    ~CFormSetup() override;

    CKAVODoc* GetDocument() const;
    // Edits go through the editor's history; without one they go to the document directly.
    void SetEditor(CRecipeEditor* editor) { m_editor = editor; }

    void OnInitialUpdate() override;
    void OnUpdate(CViewBase* sender, long hint) override;

    // Handlers, with the numbers of the form's messages.
    void OnPositionButton(int id);
    void OnCameraButton(int id);
    // bar: one of the eight sliders, or the form's own scroll bar / nullptr (the form only scrolls).
    void OnHScroll(int code, int pos, QScrollBar* bar);
    // A level typed into a channel's value entry.
    void OnLevelEntered(int channel, int level);
    void OnOpenPort();
    void OnDownload();
    // Enables or disables the Download and Open/Close Port buttons, and nothing else.
    void SetDownloadControlsEnabled(bool enable);
    // WM_DOWNLOAD_CONTROLS, the worker's path: low byte of wParam 1 enables, otherwise disables.
    Q_INVOKABLE qintptr OnDownloadControls(quintptr wParam, qintptr lParam);

    // The name of the list's selected entry ("COM33"), whatever the entry shows beside it.
    QString SelectedPortName() const { return m_ports->SelectedPortName(); }
    // The adapter of the open port went away (its udev remove, or the line hung up): the port is closed,
    // the form offers Open Port again, and the operator is told which adapter it was.
    void OnLineLost();
    // The present ports the list shows, refreshed while the port is closed.
    PortListModel* Ports() const { return m_ports; }
    // The list's context menu entry "Keep this adapter's name".
    QAction* KeepNameAction() const { return m_keepNameAction; }

    // The control with a template id, nullptr for none.
    QWidget* Control(int id) const;
    CColorButton* CameraButton(int camera) const { return m_btnCamera.at(camera - 1); }
    CColorButton* PositionButton(int position) const { return m_btnPosition.at(position - 1); }
    QScrollBar* LevelBar(int channel) const { return m_sbLevel.at(channel - 1); }
    CLevelEdit* LevelLabel(int channel) const { return m_stLevel.at(channel - 1); }
    QComboBox* PortList() const { return m_cbPort; }
    QPushButton* OpenPortButton() const { return m_btnOpenPort; }
    QPushButton* DownloadButton() const { return m_btnDownload; }
    QProgressBar* Progress() const { return m_progress; }
    QCheckBox* LiveBox() const { return m_chkLive; }
    QLabel* ControllerLine() const { return m_stController; }
    bool IsLive() const;
    // Turns Live on or off as the check box does (on only while the port is open), and remembers it.
    void OnLive(bool on);
    ControllerLink& Link() const { return *m_link; }
    QColor ProgressBarColor() const { return m_progressColor; }
    CSerialPortBase* Port() const { return &m_link->Port(); }
    bool IsDownloadRunning() const;
    // The inner widget laid out from the template.
    QWidget* FormWidget() const { return m_form; }

    static const QColor kNormalColor;
    static const QColor kPositionColor;
    static const QColor kCameraColor;

  signals:
    // A download has ended, whichever way (after its failure message, if any).
    void DownloadEnded();
    // A note for the status bar's message pane.
    void StatusMessage(const QString& text);

  private:
    void BindControls();
    void BindPortList();
    void ConnectSlider(int channel);
    void PaintSelection();
    void SetProgressColor(const QColor& bar);
    void SetClosedState();
    void SetOpenState();
    void PostDownloadControls(quintptr wParam);
    // IDownloadListener, on the worker's thread: each posts its work to the user-interface thread.
    void OnDownloadStarted() override;
    void OnDownloadProgress(int count) override;
    void OnDownloadSucceeded() override;
    void OnDownloadBell() override;
    void OnDownloadFinished(const DownloadResult& result) override;
    // Runs fn on the user-interface thread, unless the form is gone by then.
    template <typename Fn> void PostToForm(Fn fn);
    // The download is over: the buttons come back, and a failure is told to the operator.
    void EndDownload(const DownloadResult& result);
    // After a failed write: a port whose device is gone is closed, so the form shows its true state.
    // Returns whether it was.
    bool CloseIfDeviceGone();
    // ILiveListener, on the link's live thread: each posts its work to the user-interface thread.
    void OnLiveFrameSent(int slot, std::uint16_t value) override;
    void OnLiveFailed(int slot, const std::string& errorText) override;
    void LiveFailed(const QString& errorText);
    // The recipe at camera, position changed: send what differs from what live last queued there.
    void SendLiveChanges(int camera, int position);
    void SendLiveValue(int camera, int position, int channel, bool mask, std::uint16_t value);
    // Live off, its session journalled; result: kJournalComplete or kJournalFailed.
    void EndLiveSession(const char* result, const QString& error = QString());
    void UpdateControllerLine();
    JournalRecord NewRecord(const char* kind) const;
    void ConnectDocument();

    const QColor m_clrNormal;
    const QColor m_clrPosition;
    const QColor m_clrCamera;
    std::array<CColorButton*, 3> m_btnCamera{};
    std::array<CColorButton*, 5> m_btnPosition{};
    std::array<CLevelBar*, 8> m_sbLevel{};
    std::array<CLevelEdit*, 8> m_stLevel{};
    QComboBox* m_cbPort = nullptr;
    PortNameTable m_portTable;
    QPushButton* m_btnOpenPort = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnDownload = nullptr;

    QWidget* m_form = nullptr;
    CRecipeEditor* m_editor = nullptr;
    std::map<int, QWidget*> m_controls;
    QColor m_progressColor;
    std::shared_ptr<IBeeper> m_beeper;
    PortListModel* m_ports = nullptr;
    QAction* m_keepNameAction = nullptr;
    // Counts the opens, so that the news of a hang-up is taken only for the opening it came from.
    std::atomic<int> m_openCount{0};
    // From a download's start until its end has been handled here (EndDownload).
    bool m_downloadUnended = false;
    QCheckBox* m_chkLive = nullptr;
    QLabel* m_stController = nullptr;
    // What live sending last queued per slot: an edit sends the slots where the recipe now differs.
    kavo::download::FrameValueArray m_liveBasis{};
    bool m_position5Told = false; // this live session
    // The live session's journal record, frames counted on the user-interface thread.
    std::optional<JournalRecord> m_liveRecord;
    std::chrono::steady_clock::time_point m_liveStart{};
    std::atomic<int> m_liveFrames{0}; // counted on the live thread
    // The running download's record, completed by the worker's end notice.
    JournalRecord m_downloadRecord;
    std::chrono::steady_clock::time_point m_downloadStart{};
    const CKAVODoc* m_connectedDoc = nullptr;
    // Before the link: the link's last notices may still append.
    std::unique_ptr<JournalWriter> m_journal;
    // Declared last so that it is destroyed first; the destructor closes it explicitly anyway.
    std::unique_ptr<ControllerLink> m_link;
};
