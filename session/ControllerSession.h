#pragma once

#include "ControllerLink.h"
#include "DownloadJournal.h"
#include "PortNameTable.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CKAVODoc;
class CSerialPortBase;
class IBeeper;
class JournalWriter;

Q_DECLARE_METATYPE(DownloadResult)

// The program's session with the lighting controller, without widgets. It owns the controller link (the
// port, the download worker, live sending), journals every download and every live session, keeps what live
// sending last queued per setting, and tells what the controller holds as far as this run delivered it.
//
// Its operations belong to the user-interface thread. The notices of the other threads (the download
// worker, the live sender, the port's receive thread, the journal's writer) reach that thread in one place
// and leave as the signals below, which a window binds as it would a widget's.
//
// Live: while on, every edit of positions 1..4 made through the document's setters goes to the controller
// as single frames (the link paces and coalesces them); position 5 has no controller address and is said
// once per session.
class ControllerSession : public QObject, private IDownloadListener, private ILiveListener {
    Q_OBJECT

  public:
    // The port named by the operator is found through portTable; beeper (null: the bell instead) sounds the
    // end of a download, paced by options. Records go to the journal at journalPath.
    ControllerSession(PortNameTable portTable, std::shared_ptr<IBeeper> beeper,
                      DownloadWorker::Options options = DownloadWorker::Options(),
                      QString journalPath = DefaultJournalPath(), QObject* parent = nullptr);
    // Closes the link (a running download stopped, joined and journalled), journals a live session and
    // writes what is queued for the journal. Emits nothing.
    ~ControllerSession() override;

    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    // The recipe that is downloaded, sent live, compared and journalled: the document's, with its path. Its
    // edits are sent live and update the controller state. doc outlives the session, or is replaced first.
    void SetDocument(const CKAVODoc* doc);
    // While the port is closed, the controller state speaks of the port the operator has chosen; chosen
    // tells which ("COM3"). Empty: none.
    void SetChosenPort(std::function<std::string()> chosen);

    // Opens the port named portName with the controller's line settings: opened(), or openFailed() with
    // the cause and its remedy. Refused while a download runs.
    void Open(const std::string& portName);
    // Ends a live session (journalled complete) and closes the port: closed(). Refused while a download runs
    // (the worker writes to the port until its end): false.
    bool Close();
    // The adapter of the open port went away (its udev remove, or the line hung up). Unless a download's
    // end will tell of it, a live session ends (journalled failed), the port closes, and closed() and
    // lineLost() follow.
    void LoseLine();
    bool IsOpen() const;
    // The name given to the last Open ("COM3").
    std::string PortName() const;
    CSerialPortBase& Port() const;
    ControllerLink& Link() const { return *m_link; }

    // Sends the document's recipe as it is now; later edits go out with the next download. The download is
    // journalled when it ends, whichever way (also when the session ends first).
    DownloadStartResult StartDownload();
    // From a successful StartDownload until the worker has finished.
    bool IsDownloadRunning() const;
    // Stops a running download and returns once its worker has ended (journalled stopped, or failed where
    // a write failed first). The line closes with it, the one way to free a write stuck on a stalled line:
    // a live session ends and closed() follows; downloadEnded() comes through the event queue as always.
    void StopDownload();

    // Live on, while the port is open; false when it can't be (no port, no document). The session starts
    // from the recipe as it is now.
    bool StartLive();
    // Live off: the session is journalled complete.
    void StopLive();
    bool IsLive() const;
    // Sends what differs at camera, position (1-based) from what live last queued there.
    void SendLiveChanges(int camera, int position);
    // A level that is not (yet) in the recipe: a slider's thumb while it is dragged.
    void SendLiveLevel(int camera, int position, int channel, std::uint8_t level);
    // The recipe was taken as a whole (New, Open, the views brought up to it): later edits are compared with
    // it as it is now, and nothing is sent for what changed before.
    void RecipeReplaced();

    // "Controller: matches this recipe", ...: what the controller holds of the document's recipe.
    const QString& ControllerState() const { return m_state; }
    // Works the state out again; controllerStateChanged() when its text changed.
    void UpdateControllerState();
    // The state's text for memory, delivered through one port, against recipe.
    static QString ControllerStateText(const ControllerMemory& memory, const Recipe& recipe);

    const QString& JournalPath() const { return m_journalPath; }

  signals:
    void opened();
    // portName could not be opened; why names the cause and its remedy, as kavo-cli doctor does.
    void openFailed(const QString& portName, const QString& why);
    // The port was closed, by Close, a lost line or a device found gone after a failed write.
    void closed();
    // The line to portName was lost and the port closed; wasLive: a live session ended with it.
    void lineLost(const QString& portName, bool wasLive);
    // The worker's notices: before the first frame, after frame count (1..192), once all frames have left
    // the port, and for the bell when there was no sound device for the tone.
    void downloadStarted();
    void downloadProgress(int count);
    void downloadSucceeded();
    void downloadBell();
    // A download has ended, whichever way; portClosed: it failed because the device is gone, and the port
    // was closed (closed() came first).
    void downloadEnded(const DownloadResult& result, bool portClosed);
    // A live frame to portName could not be written (error: the port's reason); live is off, and
    // portClosed tells that the device is gone and the port was closed (closed() came first).
    void liveFailed(const QString& portName, const QString& error, bool portClosed);
    void controllerStateChanged(const QString& text);
    // A note for the status bar.
    void statusMessage(const QString& text);
    // A note given earlier no longer holds (its position was left, live ended, another download began): it
    // goes where it is still shown.
    void statusMessageWithdrawn(const QString& text);

  private:
    using Clock = std::chrono::steady_clock;

    // The one way in from the other threads: runs fn on the user-interface thread, unless the session is
    // gone by then.
    template <typename Fn> void Post(Fn fn);

    // IDownloadListener, on the worker's thread.
    void OnDownloadStarted() override;
    void OnDownloadProgress(int count) override;
    void OnDownloadSucceeded() override;
    void OnDownloadBell() override;
    void OnDownloadFinished(const DownloadResult& result) override;
    // ILiveListener, on the live sender's thread.
    void OnLiveFrameSent(int slot, std::uint16_t value) override;
    void OnLiveFailed(int slot, const std::string& errorText) override;

    // The worker's end, on the user-interface thread.
    void EndDownload(const DownloadResult& result);
    void LiveFailed(const QString& errorText);
    // After a failed write: a port whose device is gone is closed, so that nothing that cannot work is
    // offered. Returns whether it was.
    bool CloseIfDeviceGone();
    // Closes the link and tells closed(). What this run delivered through the port is forgotten: another
    // program may write to the controller while the port is closed.
    void CloseLink();
    // Takes a note back (see statusMessageWithdrawn) and forgets it.
    void WithdrawNote(QString& note);
    // Live off, its session journalled; failed: a live write failed for the reason error.
    void EndLiveSession(bool failed, const QString& error = QString());
    void SendLiveValue(int camera, int position, int channel, bool mask, std::uint16_t value);
    JournalRecord NewRecord(const char* kind) const;
    const Recipe& DocRecipe() const;

    PortNameTable m_portTable;
    std::shared_ptr<IBeeper> m_beeper; // outlives the link
    const QString m_journalPath;
    const CKAVODoc* m_doc = nullptr;
    std::function<std::string()> m_chosenPort;
    QString m_state;
    // Ports closed since this run last wrote through them, where the controller holds something unknown
    // now; true where the last download through the port did not finish.
    std::map<std::string, bool> m_closedSinceWrite;
    // Counts the opens, so that the news of a hang-up is taken only for the opening it came from.
    std::atomic<int> m_openCount{0};
    // From a download's start until its end has been handled here (EndDownload).
    bool m_downloadUnended = false;
    // The running download's record, completed by the worker's end notice on its thread; not touched
    // here again until EndDownload.
    JournalRecord m_downloadRecord;
    Clock::time_point m_downloadStart{};
    // What live sending last queued per slot: an edit sends the slots where the recipe now differs.
    kavo::download::FrameValueArray m_liveBasis{};
    // The note that position 5 is not sent live, while it stands (until position 5 is left or live ends).
    QString m_position5Note;
    // The note of the last complete download, until the next download starts.
    QString m_completeNote;
    std::optional<JournalRecord> m_liveRecord; // live is on while set
    Clock::time_point m_liveStart{};
    std::atomic<int> m_liveFrames{0}; // counted on the live thread
    // Before the link: the link's last notices may still append.
    std::unique_ptr<JournalWriter> m_journal;
    std::unique_ptr<ControllerLink> m_link;
};
