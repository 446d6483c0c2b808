// kavo-cli simulate: a virtual lighting controller on a pseudo-terminal, entered in the port folder as COMn
// (VirtualPortEntry) so that the setup form and kavo-cli download can pick it like a real port.
#include "CliCommandLine.h"
#include "CliCommands.h"
#include "FileName.h"
#include "PortNameTable.h"
#include "RecipeFile.h"
#include "VirtualController.h"
#include "VirtualPortEntry.h"
#include "VirtualTerminal.h"

#include <QDir>
#include <QFileInfo>

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

volatile sig_atomic_t g_signal = 0;

void OnSignal(int sig) {
    g_signal = sig;
}

// The dump is written after a 10-second download: refuse a file that can't be written before that.
bool CheckDumpPath(const std::string& path, std::string* error) {
    // An existing file is written where it is, through any links to it.
    std::string file = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        file = real;
        std::free(real);
    }
    const auto slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    const std::string shown = DisplayFileName(path);
    const std::string shownDir = DisplayFileName(dir);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        const int e = errno;
        *error = "cannot write " + shown + ": the folder " + shownDir +
                 (e == ENOENT ? std::string(" does not exist")
                              : std::string(" can't be reached: ") + std::strerror(e));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = "cannot write " + shown + ": " + shownDir + " is not a folder";
        return false;
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        const int e = errno;
        *error = "cannot write " + shown + ": the folder " + shownDir + " is not writable (" +
                 std::strerror(e) + ")";
        return false;
    }
    if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "cannot write " + shown + ": it is a folder";
        return false;
    }
    // The dump is saved as every file of the program is, which replaces regular files only: say so now.
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = "cannot write " + shown + ": it is " +
                 (S_ISFIFO(st.st_mode)   ? "a FIFO"
                  : S_ISSOCK(st.st_mode) ? "a socket"
                                         : "a device") +
                 ", not a regular file";
        return false;
    }
    return true;
}

void PrintEvent(const VirtualController::Event& e) {
    using Event = VirtualController::Event;
    switch (e.kind) {
    case Event::Frame: {
        char value[16];
        if (e.mask) {
            std::snprintf(value, sizeof value, "0x%04X", e.value);
        } else {
            std::snprintf(value, sizeof value, "%u", e.value);
        }
        char gap[32] = "first";
        if (e.msSincePrevious >= 0) {
            std::snprintf(gap, sizeof gap, "+%.1f ms", e.msSincePrevious);
        }
        char number[8] = "live";
        if (!e.live) {
            std::snprintf(number, sizeof number, "%3d", e.number);
        }
        std::printf("%3s  C%d P%d  %-5s ch%d  %-6s  %s  %s", number, e.camera, e.position,
                    e.mask ? "mask" : "level", e.channel, value,
                    HexBytes(e.bytes.data(), e.bytes.size()).c_str(), gap);
        if (e.close) {
            std::printf("  (closer than %lld ms)",
                        static_cast<long long>(VirtualController::kFrameInterval.count()));
        }
        if (e.repeat) {
            std::printf("  (repeated: frame %d of the sending order)", e.sequence);
        } else if (e.arrivedLate) {
            std::printf("  (out of order: frame %d of the sending order)", e.sequence);
        }
        std::printf("\n");
        break;
    }
    case Event::BadFrame:
        std::printf("bad frame: %s (%s)\n", HexBytes(e.bytes.data(), e.bytes.size()).c_str(),
                    e.reason.c_str());
        break;
    case Event::DownloadComplete:
    case Event::DownloadIncomplete:
        if (e.kind == Event::DownloadComplete) {
            std::printf("download complete: %d frames", e.frames);
        } else {
            constexpr int total = kavo::download::kFrameCount;
            std::printf("download incomplete: %d of %d frames", total - static_cast<int>(e.missing.size()),
                        total);
            if (!e.missing.empty()) {
                std::printf(", missing %s", FrameNumbers(e.missing).c_str());
            }
            if (!e.repeated.empty()) {
                std::printf(", repeated %s", FrameNumbers(e.repeated).c_str());
            }
        }
        std::printf(", %d bad frames", e.badFrames);
        if (e.outOfOrder > 0) {
            std::printf(", %d out of order", e.outOfOrder);
        }
        if (!e.closeFrames.empty()) {
            // Read a little late, a frame can seem close to the next: only gaps well under the interval
            // count.
            std::printf(", %zu closer than %lld ms to the frame before (under %lld ms as read): %s",
                        e.closeFrames.size(),
                        static_cast<long long>(VirtualController::kFrameInterval.count()),
                        static_cast<long long>(
                            (VirtualController::kFrameInterval - VirtualController::kReadSlack).count()),
                        FrameNumbers(e.closeFrames).c_str());
        }
        std::printf(", gaps %.1f..%.1f ms as read, total %.1f ms (first frame to last)\n", e.shortestGapMs,
                    e.longestGapMs, e.totalMs);
        break;
    }
}

} // namespace

int RunSimulate(const QStringList& args) {
    CliCommandLine cli(
        args, QStringLiteral("[--name COMn] [--dump FILE.aid] [--once]"),
        QStringLiteral(
            "Runs a virtual controller on a pseudo-terminal and enters it in the port folder as COMn\n"
            "(by default the lowest free name from COM1). Every good frame sets its register, alone (a\n"
            "live frame) or in a download. Prints every frame received and a summary after each\n"
            "download: complete only when each of the 192 frames arrived once and in order; it names\n"
            "frames that came closer than 50 ms to the one before. Gaps are measured when the frames are\n"
            "read here, so they may be off by a millisecond or two.\n"
            "Ctrl+C ends it; the port entry is removed either way."));
    const QCommandLineOption nameOption(
        QStringLiteral("name"),
        QStringLiteral("The port name to take (fails when a live entry has that name)."),
        QStringLiteral("COMn"));
    const QCommandLineOption dumpOption(
        QStringLiteral("dump"),
        QStringLiteral("Write the registers as a recipe file after each complete download and at the end\n"
                       "(Ctrl+C included)."),
        QStringLiteral("FILE.aid"));
    const QCommandLineOption onceOption(
        QStringLiteral("once"),
        QStringLiteral("End after one download that got to its last frame: exit 0 when it was complete,\n"
                       "1 when frames were missing, repeated or out of order."));
    cli.parser().addOptions({nameOption, dumpOption, onceOption});
    if (const auto exit = cli.Parse()) {
        return *exit;
    }
    std::string name = cli.parser().value(nameOption).toStdString();
    const std::string dump = EncodeFileName(cli.parser().value(dumpOption)).toStdString();
    const bool once = cli.parser().isSet(onceOption);
    const auto number = PortNameTable::PortNumber(name);
    if (cli.parser().isSet(nameOption) && (!number || *number > kLastPortNumber)) {
        return cli.BadUsage(
            QStringLiteral("'%1' is not a port name COM0..COM254").arg(QString::fromStdString(name)));
    }
    std::string error;
    if (!dump.empty() && !CheckDumpPath(dump, &error)) {
        std::fprintf(stderr, "kavo-cli simulate: %s\n", error.c_str());
        return CliFailed;
    }

    VirtualTerminal terminal;
    if (!terminal.Open(&error)) {
        std::fprintf(stderr, "kavo-cli simulate: %s\n", error.c_str());
        return CliFailed;
    }
    const std::string& device = terminal.Device();
    const int master = terminal.MasterFd();

    // Signals are blocked except inside ppoll, so that Ctrl+C can only land where the loop looks for it.
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigset_t block, waitMask;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&block, sig);
        ::sigaction(sig, &sa, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
    ::sigprocmask(SIG_BLOCK, &block, &waitMask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&waitMask, sig);
    }

    const PortNameTable table = PortNameTable::FromEnvironment();
    const std::string dir = table.userDir();
    if (!QDir().mkpath(QString::fromStdString(dir))) {
        std::fprintf(stderr, "kavo-cli simulate: cannot create the port folder %s\n", dir.c_str());
        return CliFailed;
    }
    using Claim = VirtualPortEntry::Claim;
    VirtualPortEntry entry(table, device);
    Claim claim = Claim::Busy;
    if (!name.empty()) {
        claim = entry.Take(name, &error);
        if (claim == Claim::Busy) {
            error = name + " is already in the port folder " + DisplayFileName(dir) +
                    " (pick another with --name)";
        }
    } else {
        claim = entry.TakeLowestFree(&name, &error);
        if (claim == Claim::Busy) {
            error = "no free port name COM1..COM254 in " + DisplayFileName(dir);
        }
    }
    if (claim != Claim::Taken) {
        std::fprintf(stderr, "kavo-cli simulate: %s\n", error.c_str());
        return CliFailed;
    }

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("virtual controller %s -> %s (port folder %s); Ctrl+C ends\n", name.c_str(), device.c_str(),
                DisplayFileName(dir).c_str());

    VirtualController controller;
    int ended = 0; // downloads that got to their last frame
    int result = CliOk;
    const auto writeDump = [&] {
        const QString path = DecodeFileName(QByteArray::fromStdString(dump));
        QString why;
        // Positions 1..4 as the frames carried them, position 5 (never sent) at the new-recipe values.
        if (WriteRecipeFile(path, controller.recipe(), &why)) {
            struct stat written {};
            ::stat(dump.c_str(), &written);
            std::printf("wrote %s (%lld bytes)\n", DisplayFileName(dump).c_str(),
                        static_cast<long long>(written.st_size));
            return true;
        }
        std::fprintf(stderr, "kavo-cli simulate: %s\n", qPrintable(why));
        return false;
    };
    auto handle = [&](const std::vector<VirtualController::Event>& events) {
        for (const auto& e : events) {
            PrintEvent(e);
            if (e.kind == VirtualController::Event::DownloadIncomplete && e.lastFrameArrived) {
                ++ended;
                if (once) {
                    result = CliFailed;
                }
                continue;
            }
            if (e.kind != VirtualController::Event::DownloadComplete) {
                continue;
            }
            ++ended;
            if (!dump.empty() && !writeDump()) {
                result = CliFailed;
            }
        }
    };
    while (g_signal == 0 && !(once && ended > 0)) {
        pollfd p{master, POLLIN, 0};
        const timespec tick{0, 200 * 1000 * 1000};
        const int r = ::ppoll(&p, 1, &tick, &waitMask);
        if (r < 0 && errno != EINTR) {
            std::fprintf(stderr, "kavo-cli simulate: %s\n", std::strerror(errno));
            result = CliFailed;
            break;
        }
        const auto now = VirtualController::Clock::now();
        if (r > 0) {
            std::uint8_t buf[1024];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                handle(controller.Feed(buf, static_cast<std::size_t>(n), now));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "kavo-cli simulate: reading %s: %s\n", device.c_str(),
                             std::strerror(errno));
                result = CliFailed;
                break;
            }
        } else {
            handle(controller.Tick(now));
        }
    }
    handle(controller.Flush());
    // The registers held at the end, live frames included (after --once, the download's dump stands).
    if (!dump.empty() && !(once && ended > 0) && !writeDump()) {
        result = CliFailed;
    }
    const std::string released = entry.Release();
    if (g_signal != 0) {
        std::printf("ended by signal %d; %s\n", static_cast<int>(g_signal), released.c_str());
        if (once && ended == 0) {
            result = CliFailed;
        }
    }
    return result;
}
