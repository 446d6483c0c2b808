#pragma once

#include <QObject>

#include <functional>

class QWidget;

// What closing the main window asks first. A running download: ending now would leave the controller with
// half a recipe, so the operator chooses to stop it or to wait (the window then closes by itself when the
// download ends). Stop stops it before anything else is asked, so that nothing more is sent while the next
// question is up. Then a modified recipe: whether to save it.
class CloseGuard : public QObject {
    Q_OBJECT

  public:
    // True while a download runs; whoever runs downloads answers.
    using DownloadQuery = std::function<bool()>;
    // Stops the running download and returns once its worker has ended.
    using DownloadStopper = std::function<void()>;
    // The save question; false keeps the window open.
    using SaveQuery = std::function<bool()>;

    CloseGuard(QWidget* window, DownloadQuery downloadRunning, DownloadStopper stopDownload);

    void SetDownloadQuery(DownloadQuery downloadRunning) { m_downloadRunning = std::move(downloadRunning); }
    void SetSaveQuery(SaveQuery query) { m_saveQuery = std::move(query); }

    // Asks what is to be asked; true when the window may close now.
    bool MayClose();
    // A download has ended: closes the window if the operator chose to wait for it.
    void OnDownloadEnded();

  private:
    bool DownloadRunning() const { return m_downloadRunning && m_downloadRunning(); }

    QWidget* m_window;
    DownloadQuery m_downloadRunning;
    DownloadStopper m_stopDownload;
    SaveQuery m_saveQuery;
    // The operator chose to let a running download finish before the program ends.
    bool m_closeWhenDownloadEnds = false;
};
