#include "CloseGuard.h"

#include "AfxMessageBox.h"

#include <QTimer>
#include <QWidget>

CloseGuard::CloseGuard(QWidget* window, DownloadQuery downloadRunning, DownloadStopper stopDownload)
    : QObject(window), m_window(window), m_downloadRunning(std::move(downloadRunning)),
      m_stopDownload(std::move(stopDownload)) {}

bool CloseGuard::MayClose() {
    if (DownloadRunning()) {
        const int kWait = 0;
        const int kStop = 1;
        const int answer = AfxMessageBox(
            tr("A download is running. Stop it? The controller will hold an incomplete recipe."),
            {tr("Wait"), tr("Stop")}, kWait, MB_ICONEXCLAMATION);
        // The download may have ended while the question was up: then there is nothing left to wait for.
        if (answer != kStop && DownloadRunning()) {
            m_closeWhenDownloadEnds = true;
            return false;
        }
        // Stopped now, not when the window goes: the save question may stay up for minutes, and may be
        // answered Cancel.
        if (answer == kStop && DownloadRunning() && m_stopDownload) {
            m_stopDownload();
        }
    }
    m_closeWhenDownloadEnds = false;
    return !m_saveQuery || m_saveQuery();
}

void CloseGuard::OnDownloadEnded() {
    if (m_closeWhenDownloadEnds) {
        m_closeWhenDownloadEnds = false;
        // Queued: whoever told of the end is still in its end-of-download handler.
        QTimer::singleShot(0, m_window, [window = m_window] { window->close(); });
    }
}
