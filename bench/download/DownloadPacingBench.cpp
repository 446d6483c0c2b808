// Frame pacing of the download as the controller sees it: the controller link writes the 192 frames through
// the real serial port to a pseudo-terminal; a reader on the other end stamps the arrival of every frame.
// Deadline pacing and a plain pause after each write run one after the other, with the same recipe.
//
//   download_pacing_bench [--rounds N]
#include "ControllerLink.h"
#include "PortNameTable.h"
#include "SerialPortFactory.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kIdealMs = 191 * 50.0;

struct Run {
    std::vector<double> gaps; // ms between consecutive frame arrivals
    double totalMs = 0;       // first frame to last
    bool ok = false;
};

// Stamps the arrival of each complete six-byte frame on the master end.
std::vector<Clock::time_point> ReadFrames(int master, int frames) {
    std::vector<Clock::time_point> at;
    std::size_t bytes = 0;
    char buf[256];
    while (static_cast<int>(at.size()) < frames) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            break;
        }
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        const auto now = Clock::now();
        const std::size_t before = bytes / 6;
        bytes += static_cast<std::size_t>(n);
        for (std::size_t f = before; f < bytes / 6; ++f) {
            at.push_back(now);
        }
    }
    return at;
}

struct Finished final : IDownloadListener {
    std::promise<DownloadResult> done;
    void OnDownloadFinished(const DownloadResult& r) override { done.set_value(r); }
};

Run Measure(DownloadWorker::Pacing pacing, const std::filesystem::path& portsDir, int master) {
    DownloadWorker::Options options;
    options.pacing = pacing;
    options.beepLength = std::chrono::milliseconds(0);
    Finished finished;
    ControllerLink link(CreateSerialPort(PortNameTable(portsDir.string())), nullptr, options);
    Run run;
    if (!link.Open("COM1")) {
        std::fprintf(stderr, "cannot open the port: %s\n", link.OpenFailureText().c_str());
        return run;
    }
    auto reader = std::async(std::launch::async, [master] { return ReadFrames(master, 192); });
    link.StartDownload(Recipe(), finished);
    const DownloadResult result = finished.done.get_future().get();
    const auto at = reader.get();
    link.Close();
    run.ok = result.ok && at.size() == 192;
    for (std::size_t i = 1; i < at.size(); ++i) {
        run.gaps.push_back(std::chrono::duration<double, std::milli>(at[i] - at[i - 1]).count());
    }
    if (!at.empty()) {
        run.totalMs = std::chrono::duration<double, std::milli>(at.back() - at.front()).count();
    }
    return run;
}

double Percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    const std::size_t rank = static_cast<std::size_t>(q * static_cast<double>(v.size()) + 0.999999);
    return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 1;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--rounds N]\n", argv[0]);
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("posix_openpt");
        return 1;
    }
    const std::string slaveName = ::ptsname(master);
    const int keepOpen = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY); // no EIO on the master between runs
    const auto dir = std::filesystem::temp_directory_path() / ("kavo-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(slaveName, dir / "COM1");

    struct Mode {
        const char* name;
        DownloadWorker::Pacing pacing;
        std::vector<double> gaps;
        std::vector<double> totals;
    } modes[] = {{"deadline", DownloadWorker::Pacing::Deadline, {}, {}},
                 {"plain pause", DownloadWorker::Pacing::PlainPause, {}, {}}};
    int status = 0;
    for (int r = 0; r < rounds; ++r) {
        for (Mode& m : modes) {
            const Run run = Measure(m.pacing, dir, master);
            if (!run.ok) {
                std::fprintf(stderr, "%s: the download did not arrive whole\n", m.name);
                status = 1;
                continue;
            }
            m.gaps.insert(m.gaps.end(), run.gaps.begin(), run.gaps.end());
            m.totals.push_back(run.totalMs);
        }
    }
    std::filesystem::remove_all(dir);
    ::close(keepOpen);
    ::close(master);

    std::printf(
        "192 frames through the serial port to a pseudo-terminal, %d round(s) per mode; gaps between\n"
        "frame arrivals in ms; total from the first frame to the last against the ideal 191 x 50 = %.0f "
        "ms\n\n",
        rounds, kIdealMs);
    std::printf("| pacing      | gap median | gap p99 | gap max | total (mean) | total - ideal |\n");
    std::printf("|-------------|-----------:|--------:|--------:|-------------:|--------------:|\n");
    for (const Mode& m : modes) {
        if (m.totals.empty()) {
            continue;
        }
        double total = 0;
        for (double t : m.totals) {
            total += t;
        }
        total /= static_cast<double>(m.totals.size());
        std::printf("| %-11s | %10.2f | %7.2f | %7.2f | %12.1f | %+13.1f |\n", m.name,
                    Percentile(m.gaps, 0.5), Percentile(m.gaps, 0.99),
                    *std::max_element(m.gaps.begin(), m.gaps.end()), total, total - kIdealMs);
    }
    return status;
}
