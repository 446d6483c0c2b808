// kavo-cli download: the form's download without a window, with a progress bar on the terminal.
#include "Beeper.h"
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "ControllerLink.h"
#include "DownloadJournal.h"
#include "FileName.h"
#include "PortNameTable.h"
#include "RecipeFile.h"
#include "SerialPortFactory.h"
#include "SessionJournal.h"

#include <signal.h>
#include <unistd.h>

#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace {

// Draws "[#####.....] 57/192" in place; only on a terminal, where a carriage return means something.
class ProgressBar {
  public:
    ProgressBar() : m_tty(::isatty(STDERR_FILENO) != 0) {}
    void Show(int n, int total) {
        if (!m_tty) {
            return;
        }
        constexpr int kWidth = 40;
        const int filled = n * kWidth / total;
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "\r[%.*s%.*s] %3d/%d", filled, "########################################",
                     kWidth - filled, "........................................", n, total);
        std::fflush(stderr);
        m_drawn = true;
    }
    void End() {
        std::lock_guard lock(m_mutex);
        if (m_drawn) {
            std::fputc('\n', stderr);
            m_drawn = false;
        }
    }
    void Bell() {
        if (m_tty) {
            std::fputc('\a', stderr);
            std::fflush(stderr);
        }
    }

  private:
    bool m_tty;
    bool m_drawn = false;
    std::mutex m_mutex;
};

// The download's notices: the bar on the terminal, and the result for the main thread.
class DownloadNotices final : public IDownloadListener {
  public:
    explicit DownloadNotices(bool beep) : m_beep(beep) {}

    void OnDownloadStarted() override { m_bar.Show(0, kavo::download::kFrameCount); }
    void OnDownloadProgress(int count) override { m_bar.Show(count, kavo::download::kFrameCount); }
    void OnDownloadBell() override {
        if (m_beep) {
            m_bar.Bell();
        }
    }
    void OnDownloadFinished(const DownloadResult& result) override {
        std::lock_guard lock(m_mutex);
        m_result = result;
        m_finished.store(true);
    }

    bool Finished() const { return m_finished.load(); }
    DownloadResult Result() {
        std::lock_guard lock(m_mutex);
        return m_result;
    }
    void EndBar() { m_bar.End(); }

  private:
    bool m_beep;
    ProgressBar m_bar;
    std::atomic<bool> m_finished{false};
    std::mutex m_mutex;
    DownloadResult m_result;
};

// Appends the download's record to the journal; a journal that can't be written is told, and changes
// nothing else. interrupted: Ctrl+C (or SIGTERM, SIGHUP) stopped the download.
void Journal(JournalRecord record, DownloadResult result, bool interrupted,
             std::chrono::steady_clock::time_point start) {
    result.stopped = result.stopped || interrupted;
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    QString error;
    if (!AppendJournal(DefaultJournalPath(), EndedDownloadRecord(std::move(record), result, duration),
                       &error)) {
        std::fprintf(stderr, "kavo-cli download: the journal can't be written: %s\n", qPrintable(error));
    }
}

} // namespace

int RunDownload(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("--port COMn [--no-beep] FILE.aid"),
        QStringLiteral("Sends the 192 download frames of a recipe file to the controller on port COMn "
                       "(115200 baud,\n8 data bits, no parity, one stop bit), one every 50 ms, then "
                       "beeps for a second.\nExit status 0 only when every frame was written."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("The port, as kavo-cli ports lists it."),
                                        QStringLiteral("COMn"));
    const QCommandLineOption noBeepOption(QStringLiteral("no-beep"),
                                          QStringLiteral("No tone and no one-second wait at the end."));
    cli.parser().addOption(portOption);
    cli.parser().addOption(noBeepOption);
    cli.ExpectFile();
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    if (!cli.parser().isSet(portOption)) {
        return cli.BadUsage(QStringLiteral("no port given"));
    }
    const bool beep = !cli.parser().isSet(noBeepOption);
    const std::string name = cli.parser().value(portOption).toStdString();
    const auto number = PortNameTable::PortNumber(name);
    if (!number || *number > kLastPortNumber) {
        return cli.BadUsage(
            QStringLiteral("'%1' is not a port name COM0..COM254").arg(QString::fromStdString(name)));
    }

    Recipe recipe;
    QString error;
    if (!ReadRecipeFile(cli.File(), &recipe, &error)) {
        std::fprintf(stderr, "kavo-cli download: %s\n", qPrintable(error));
        return CliFailed;
    }

    // Ctrl+C is taken by the loop below so that the download stops between frames and the port is closed.
    // Blocked before any thread starts, so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    AlsaBeeper alsa;
    DownloadWorker::Options options;
    if (!beep) {
        options.beepLength = std::chrono::milliseconds(0);
    }
    // Declared before the link, which joins the worker before the notices go.
    DownloadNotices notices(beep);
    ControllerLink link(CreateSerialPort(PortNameTable::FromEnvironment()), beep ? &alsa : nullptr, options);
    if (!link.Open(name)) {
        std::fprintf(stderr, "kavo-cli download: cannot open %s: %s\n", name.c_str(),
                     link.OpenFailureText().c_str());
        return CliFailed;
    }
    const auto device = PortNameTable::FromEnvironment().devicePath(name);
    const JournalRecord record =
        NewJournalRecord(kJournalDownload, QString::fromStdString(name),
                         device ? DecodeFileName(QByteArray::fromStdString(*device)) : QString(),
                         QFileInfo(cli.File()).absoluteFilePath(), recipe);
    const auto start = std::chrono::steady_clock::now();
    if (link.StartDownload(recipe, notices) != DownloadStartResult::Started) {
        std::fprintf(stderr, "kavo-cli download: cannot start the download\n");
        return CliFailed;
    }

    int signal = 0;
    while (!notices.Finished()) {
        const timespec tick{0, 100 * 1000 * 1000};
        const int s = ::sigtimedwait(&stopSignals, nullptr, &tick);
        if (s > 0) {
            signal = s;
            break;
        }
    }
    link.Close();
    notices.EndBar();

    const DownloadResult result = notices.Result();
    Journal(record, result, signal != 0, start);
    if (signal != 0 && !result.ok) {
        std::fprintf(stderr, "kavo-cli download: interrupted after %d of %d frames\n", result.framesSent,
                     kavo::download::kFrameCount);
        return CliFailed;
    }
    if (signal != 0) {
        // Every frame was written; only the closing pause and beep were cut short.
        std::printf("downloaded %d frames to %s (interrupted: the beep was cut short)\n", result.framesSent,
                    name.c_str());
        return CliOk;
    }
    if (!result.ok) {
        std::fprintf(stderr, "kavo-cli download: %s\n", DescribeDownloadFailure(result, name).c_str());
        return CliFailed;
    }
    std::printf("downloaded %d frames to %s\n", result.framesSent, name.c_str());
    return CliOk;
}
