// Live mode of the controller session: the live basis, the frames an edit sends, the session's record.
#include "ControllerSession.h"

#include "CKAVODoc.h"
#include "JournalWriter.h"
#include "SessionJournal.h"

namespace kd = kavo::download;

bool ControllerSession::StartLive() {
    if (IsLive()) {
        return true;
    }
    if (m_doc == nullptr || !m_link->IsOpen() || !m_link->StartLive(*this)) {
        return false;
    }
    const Recipe& recipe = DocRecipe();
    m_liveBasis = FrameValues(recipe.m_levels, recipe.m_stepMasks);
    m_liveRecord = NewRecord(kJournalLive);
    m_liveFrames.store(0);
    m_liveStart = Clock::now();
    return true;
}

void ControllerSession::StopLive() {
    EndLiveSession(false);
}

bool ControllerSession::IsLive() const {
    return m_liveRecord.has_value();
}

void ControllerSession::EndLiveSession(bool failed, const QString& error) {
    if (!m_liveRecord) {
        return;
    }
    m_link->StopLive();
    WithdrawNote(m_position5Note);
    JournalRecord record = std::move(*m_liveRecord);
    m_liveRecord.reset();
    // The recipe the session ended with.
    if (m_doc != nullptr) {
        record.sha256 = RecipeImageSha256(DocRecipe());
        record.recipe = m_doc->GetPathName().isEmpty() ? QStringLiteral("Untitled") : m_doc->GetPathName();
    }
    const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_liveStart);
    if (std::optional<JournalRecord> ended =
            EndedLiveRecord(std::move(record), m_liveFrames.load(), failed, error, duration)) {
        m_journal->Append(std::move(*ended));
    }
}

void ControllerSession::LiveFailed(const QString& errorText) {
    if (!m_link->IsOpen()) {
        // The line was lost first: its end has closed the port and journalled the session.
        return;
    }
    const QString port = QString::fromStdString(m_link->PortName());
    EndLiveSession(true, errorText);
    const bool portClosed = CloseIfDeviceGone();
    UpdateControllerState();
    emit liveFailed(port, errorText, portClosed);
}

void ControllerSession::RecipeReplaced() {
    if (m_doc == nullptr) {
        return;
    }
    const Recipe& recipe = DocRecipe();
    m_liveBasis = FrameValues(recipe.m_levels, recipe.m_stepMasks);
    UpdateControllerState();
}

void ControllerSession::SendLiveLevel(int camera, int position, int channel, std::uint8_t level) {
    if (IsLive()) {
        SendLiveValue(camera, position, channel, false, level);
    }
}

void ControllerSession::SendLiveValue(int camera, int position, int channel, bool mask, std::uint16_t value) {
    if (position > kd::kSentPositionCount) {
        if (m_position5Note.isEmpty()) {
            m_position5Note =
                tr("Position %1 has no controller address: its changes are not sent live.").arg(position);
            emit statusMessage(m_position5Note);
        }
        return;
    }
    const int slot = kd::FrameSlot(camera, position, channel, mask);
    auto& basis = m_liveBasis[static_cast<std::size_t>(slot)];
    if (basis != value) {
        basis = value;
        m_link->SendLive(slot, value);
    }
}

void ControllerSession::SendLiveChanges(int camera, int position) {
    if (!IsLive() || m_doc == nullptr || camera < 1 || camera > Recipe::kCameras || position < 1 ||
        position > Recipe::kPositions) {
        return;
    }
    const Recipe& recipe = DocRecipe();
    const auto& levels = recipe.m_levels[camera - 1][position - 1];
    const auto& masks = recipe.m_stepMasks[camera - 1][position - 1];
    if (position > kd::kSentPositionCount) {
        SendLiveValue(camera, position, 1, false, levels[0]); // only the note
        return;
    }
    for (int k = 1; k <= Recipe::kChannels; ++k) {
        SendLiveValue(camera, position, k, false, levels[k - 1]);
    }
    for (int k = 1; k <= Recipe::kChannels; ++k) {
        SendLiveValue(camera, position, k, true, masks[k - 1]);
    }
}
