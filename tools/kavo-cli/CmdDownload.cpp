// kavo-cli download: the form's download without a window, with a progress bar on the terminal.
#include "Beeper.h"
#include "CKAVODoc.h"
#include "CliCommands.h"
#include "DownloadWorker.h"
#include "FileName.h"
#include "SerialPortFactory.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace {

const char kUsage[] =
    "Usage: kavo-cli download --port COMn [--no-beep] FILE.aid\n"
    "\n"
    "Sends the 192 download frames of a recipe file to the controller on port COMn (115200 baud,\n"
    "8 data bits, no parity, one stop bit), one every 50 ms, then beeps for a second.\n"
    "Exit status 0 only when every frame was written.\n"
    "\n"
    "  --port COMn  the port, as kavo-cli ports lists it\n"
    "  --no-beep    no tone and no one-second wait at the end\n";

// Why an open failed, in words the operator can act on.
std::string OpenFailureCause(const CSerialPortBase& port, const std::string& name) {
    switch (port.lastSystemError()) {
    case EBUSY:
        return "it is in use by another program";
    case EACCES:
    case EPERM:
        return "permission denied; add the user to the dialout group (sudo usermod -aG dialout $USER) and "
               "log in again";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "not found; 'kavo-cli ports' lists the ports present";
    default:
        break;
    }
    if (port.lastError() == ErrorNotExist) {
        return name + " is not present; 'kavo-cli ports' lists the ports present";
    }
    std::string cause = port.lastErrorText();
    if (port.lastSystemError() != 0) {
        cause += std::string(" (") + std::strerror(port.lastSystemError()) + ")";
    }
    return cause;
}

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

} // namespace

int RunDownload(const QStringList& args) {
    QString portName;
    QString file;
    bool beep = true;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return CliOk;
        } else if (a == "--port" && i + 1 < args.size()) {
            portName = args.at(++i);
        } else if (a == "--no-beep") {
            beep = false;
        } else if (!a.startsWith("-") && file.isEmpty()) {
            file = a;
        } else {
            std::fprintf(stderr, "kavo-cli download: unexpected argument '%s'\n\n%s", qPrintable(a), kUsage);
            return CliBadUsage;
        }
    }
    if (portName.isEmpty() || file.isEmpty()) {
        std::fprintf(stderr, "%s", kUsage);
        return CliBadUsage;
    }
    const std::string name = portName.toStdString();
    const auto number = PortNameTable::PortNumber(name);
    if (!number || *number > kLastPortNumber) {
        std::fprintf(stderr, "kavo-cli download: '%s' is not a port name COM0..COM254\n", name.c_str());
        return CliBadUsage;
    }

    CKAVODoc doc;
    QString error;
    if (!doc.LoadFile(file, &error)) {
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

    std::unique_ptr<CSerialPortBase> port = CreateSerialPort();
    port->configure(name.c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    if (!port->open()) {
        std::fprintf(stderr, "kavo-cli download: cannot open %s: %s\n", name.c_str(),
                     OpenFailureCause(*port, name).c_str());
        return CliFailed;
    }

    ProgressBar bar;
    AlsaBeeper alsa;
    DownloadWorker::Options options;
    if (!beep) {
        options.beepLength = std::chrono::milliseconds(0);
    }
    std::atomic<bool> finished{false};
    DownloadResult result;
    std::mutex resultMutex;
    // Declared after everything its callbacks use, so that it is joined before they go.
    DownloadWorker worker(beep ? &alsa : nullptr, options);
    DownloadCallbacks cb;
    cb.started = [&bar] { bar.Show(0, kavo::download::kFrameCount); };
    cb.progress = [&bar](int n) { bar.Show(n, kavo::download::kFrameCount); };
    cb.bell = [&bar, beep] {
        if (beep) {
            bar.Bell();
        }
    };
    cb.finished = [&](const DownloadResult& r) {
        std::lock_guard lock(resultMutex);
        result = r;
        finished.store(true);
    };
    CSerialPortBase* p = port.get();
    DownloadJob job{doc.m_levels, doc.m_stepMasks,
                    [p](const std::uint8_t* data, int size) {
                        return p->write(reinterpret_cast<const char*>(data), size);
                    },
                    [p] {
                        std::string text = p->lastErrorText();
                        if (p->lastSystemError() != 0) {
                            text += std::string(" (") + std::strerror(p->lastSystemError()) + ")";
                        }
                        return text;
                    }};
    const DownloadWorker::StartResult started = worker.start(std::move(job), std::move(cb));
    if (started != DownloadWorker::StartResult::Started) {
        std::fprintf(stderr, "kavo-cli download: %s\n",
                     started == DownloadWorker::StartResult::BadRecipe
                         ? (DisplayFileName(file).toStdString() + " does not hold a whole recipe").c_str()
                         : "cannot start the download");
        return CliFailed;
    }

    int signal = 0;
    while (!finished.load()) {
        const timespec tick{0, 100 * 1000 * 1000};
        const int s = ::sigtimedwait(&stopSignals, nullptr, &tick);
        if (s > 0) {
            signal = s;
            break;
        }
    }
    // Stop first, then close: closing frees a write stuck on a stalled line, so the join can't hang.
    worker.requestStop();
    port->close();
    worker.stop();
    bar.End();

    std::lock_guard lock(resultMutex);
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
