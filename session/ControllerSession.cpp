#include "ControllerSession.h"

#include "Beeper.h"
#include "CKAVODoc.h"
#include "CSerialPortBase.h"
#include "JournalWriter.h"
#include "PortDoctor.h"
#include "PortIdentity.h"
#include "PortWording.h"
#include "SerialPortFactory.h"
#include "SessionJournal.h"

#include <QMetaObject>

#include <cerrno>

namespace {

constexpr int kFrameCount = kavo::download::kFrameCount;

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

ControllerSession::ControllerSession(PortNameTable portTable, std::shared_ptr<IBeeper> beeper,
                                     DownloadWorker::Options options, QString journalPath, QObject* parent)
    : QObject(parent), m_portTable(std::move(portTable)), m_beeper(std::move(beeper)),
      m_journalPath(std::move(journalPath)) {
    m_journal = std::make_unique<JournalWriter>(m_journalPath, [this](const QString& error) {
        Post([this, error] {
            emit statusMessage(tr("The download journal can't be written: %1").arg(error));
        });
    });
    m_link = std::make_unique<ControllerLink>(CreateSerialPort(m_portTable), m_beeper.get(), options);
    m_link->SetLineLostHandler([this] {
        // On the receive thread of the current opening: the next opening joins it first.
        Post([this, opening = m_openCount.load()] {
            if (opening == m_openCount.load()) {
                LoseLine();
            }
        });
    });
}

ControllerSession::~ControllerSession() {
    // The worker writes to the port and appends to the journal: it ends before either goes.
    m_link->Close();
    m_position5Note.clear(); // nothing is withdrawn: nobody listens any more
    EndLiveSession(false);
    m_link.reset();
    m_journal.reset(); // what is queued is written first
}

template <typename Fn> void ControllerSession::Post(Fn fn) {
    // Queued: the user-interface thread may be joining the thread that posts. A session that is gone takes
    // its posted calls with it.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void ControllerSession::SetDocument(const CKAVODoc* doc) {
    if (m_doc != nullptr) {
        disconnect(m_doc, nullptr, this, nullptr);
    }
    m_doc = doc;
    if (m_doc != nullptr) {
        // Every recipe edit comes through the document's setters, whoever makes it (slider, grid, undo,
        // paste).
        connect(m_doc, &CKAVODoc::recipeValuesChanged, this, [this](int camera, int position) {
            SendLiveChanges(camera, position);
            UpdateControllerState();
        });
        // The note about position 5 holds while it is the position shown.
        connect(m_doc, &CKAVODoc::currentChanged, this, [this](int, int position) {
            if (position <= kavo::download::kSentPositionCount) {
                WithdrawNote(m_position5Note);
            }
        });
    }
    RecipeReplaced();
}

void ControllerSession::SetChosenPort(std::function<std::string()> chosen) {
    m_chosenPort = std::move(chosen);
    UpdateControllerState();
}

const Recipe& ControllerSession::DocRecipe() const {
    return m_doc->GetRecipe();
}

// The line.

void ControllerSession::Open(const std::string& portName) {
    if (IsDownloadRunning()) {
        return;
    }
    EndLiveSession(false);
    ++m_openCount;
    if (m_link->Open(portName)) {
        UpdateControllerState();
        emit opened();
        return;
    }
    // The cause and its remedy, as kavo-cli doctor finds them.
    const std::optional<std::string> device = m_portTable.devicePath(portName);
    const PortIdentity identity =
        device ? PortIdentityReader(m_portTable.sysfsRoot(), m_portTable.devRoot()).Read(*device)
               : PortIdentity();
    const CSerialPortBase& port = m_link->Port();
    const std::string why =
        ExplainOpenFailure(m_portTable, portName, port.lastError(), port.lastSystemError(), identity,
                           DoctorSystem::OfThisMachine());
    emit openFailed(QString::fromStdString(portName), QString::fromStdString(why));
}

bool ControllerSession::Close() {
    if (IsDownloadRunning()) {
        return false;
    }
    if (m_link->IsOpen()) {
        EndLiveSession(false);
        CloseLink();
    }
    return true;
}

void ControllerSession::CloseLink() {
    const std::string name = m_link->PortName();
    m_link->Close();
    const ControllerMemory delivered = m_link->Memory(name);
    if (delivered.KnownCount() > 0 || delivered.downloadIncomplete) {
        m_link->ForgetMemory(name);
        m_closedSinceWrite[name] = delivered.downloadIncomplete;
    }
    UpdateControllerState();
    emit closed();
}

void ControllerSession::LoseLine() {
    // A download in progress fails on its next write and its end closes the port and tells the operator,
    // also when the worker has finished and its end has yet to come through the event queue.
    if (!m_link->IsOpen() || IsDownloadRunning() || m_downloadUnended) {
        return;
    }
    const QString name = QString::fromStdString(m_link->PortName());
    // A live session ends with the line, as a failed live write ends it.
    const bool wasLive = IsLive();
    EndLiveSession(true, QString::fromStdString(PortLineFailureText(0, EIO)));
    CloseLink();
    emit lineLost(name, wasLive);
}

bool ControllerSession::CloseIfDeviceGone() {
    // A device that is gone fails every further write the same way.
    if (!m_link->IsOpen() || !PortDeviceGone(m_link->Port().lastSystemError())) {
        return false;
    }
    EndLiveSession(false);
    CloseLink();
    return true;
}

bool ControllerSession::IsOpen() const {
    return m_link->IsOpen();
}

std::string ControllerSession::PortName() const {
    return m_link->PortName();
}

CSerialPortBase& ControllerSession::Port() const {
    return m_link->Port();
}

// The download.

DownloadStartResult ControllerSession::StartDownload() {
    if (IsDownloadRunning() || m_downloadUnended) {
        return DownloadStartResult::AlreadyRunning;
    }
    if (m_doc == nullptr || !m_link->IsOpen()) {
        return DownloadStartResult::NotOpen;
    }
    m_downloadRecord = NewRecord(kJournalDownload);
    m_downloadStart = Clock::now();
    // The one copy of the recipe: edits made while the worker runs go out with the next download.
    const DownloadStartResult started = m_link->StartDownload(DocRecipe(), *this);
    m_downloadUnended = started == DownloadStartResult::Started;
    return started;
}

bool ControllerSession::IsDownloadRunning() const {
    return m_link->IsDownloadRunning();
}

void ControllerSession::StopDownload() {
    if (!IsDownloadRunning()) {
        return;
    }
    EndLiveSession(false);
    CloseLink(); // stops the worker, frees its write, joins it
}

void ControllerSession::EndDownload(const DownloadResult& result) {
    m_downloadUnended = false;
    const bool portClosed = !result.ok && !result.stopped && CloseIfDeviceGone();
    UpdateControllerState();
    if (result.ok) {
        // Said in words as well: the bar's colour and the beep are easily missed.
        m_completeNote = tr("Download complete: %1 frames").arg(result.framesSent);
        emit statusMessage(m_completeNote);
    }
    emit downloadEnded(result, portClosed);
}

void ControllerSession::WithdrawNote(QString& note) {
    if (!note.isEmpty()) {
        emit statusMessageWithdrawn(note);
        note.clear();
    }
}

// The notices of the other threads: each posts its work to the user-interface thread.

void ControllerSession::OnDownloadStarted() {
    Post([this] {
        WithdrawNote(m_completeNote);
        UpdateControllerState();
        emit downloadStarted();
    });
}

void ControllerSession::OnDownloadProgress(int count) {
    Post([this, count] { emit downloadProgress(count); });
}

void ControllerSession::OnDownloadSucceeded() {
    Post([this] { emit downloadSucceeded(); });
}

void ControllerSession::OnDownloadBell() {
    Post([this] { emit downloadBell(); });
}

void ControllerSession::OnDownloadFinished(const DownloadResult& result) {
    // Journalled here, on the worker's thread, so that a download ended by the session's end is recorded
    // too. The record was filled before the worker started and is not touched again until EndDownload.
    m_journal->Append(EndedDownloadRecord(m_downloadRecord, result, Since(m_downloadStart)));
    Post([this, result] { EndDownload(result); });
}

void ControllerSession::OnLiveFrameSent(int, std::uint16_t) {
    m_liveFrames.fetch_add(1);
    Post([this] { UpdateControllerState(); });
}

void ControllerSession::OnLiveFailed(int, const std::string& errorText) {
    Post([this, why = QString::fromStdString(errorText)] { LiveFailed(why); });
}

// What the controller holds, and the records.

void ControllerSession::UpdateControllerState() {
    if (m_doc == nullptr) {
        return;
    }
    const std::string port =
        m_link->IsOpen() ? m_link->PortName() : (m_chosenPort ? m_chosenPort() : std::string());
    ControllerMemory memory = m_link->Memory(port);
    const auto closed = m_closedSinceWrite.find(port);
    const bool nothingSinceClose = memory.KnownCount() == 0 && !memory.downloadRunning &&
                                   !memory.downloadIncomplete && closed != m_closedSinceWrite.end();
    if (nothingSinceClose) {
        memory.downloadIncomplete = closed->second; // that reason is still the more telling one
    }
    const QString text = nothingSinceClose && !memory.downloadIncomplete
                             ? tr("Controller: unknown (the port was closed since the last write from here)")
                             : ControllerStateText(memory, DocRecipe());
    if (text != m_state) {
        m_state = text;
        emit controllerStateChanged(m_state);
    }
}

QString ControllerSession::ControllerStateText(const ControllerMemory& memory, const Recipe& recipe) {
    const int known = memory.KnownCount();
    if (memory.downloadRunning) {
        return tr("Controller: receiving a download");
    }
    if (memory.downloadIncomplete) {
        return tr("Controller: unknown (last download did not finish)");
    }
    if (known == 0) {
        return tr("Controller: not yet written from here");
    }
    if (known < kFrameCount) {
        return tr("Controller: unknown (only %1 of %2 settings written from here)")
            .arg(known)
            .arg(kFrameCount);
    }
    const int differ = memory.CountDifferences(FrameValues(recipe.m_levels, recipe.m_stepMasks));
    return differ == 0   ? tr("Controller: matches this recipe")
           : differ == 1 ? tr("Controller: 1 setting differs from this recipe")
                         : tr("Controller: %1 settings differ from this recipe").arg(differ);
}

JournalRecord ControllerSession::NewRecord(const char* kind) const {
    const std::string name = m_link->PortName();
    const auto device = m_portTable.devicePath(name);
    return NewJournalRecord(
        kind, QString::fromStdString(name), device ? QString::fromStdString(*device) : QString(),
        m_doc != nullptr ? m_doc->GetPathName() : QString(), m_doc != nullptr ? DocRecipe() : Recipe());
}
