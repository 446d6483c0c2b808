// kavo_bench_serial_idle [seconds]: CPU time the process spends while a port sits open and idle (the
// receive thread asleep in poll), and after the far end has gone (a hang-up must not make it spin).
// Prints a table; the target is under 0.1% of one core.
#include "CSerialPortUnixBase.h"
#include "PortNameTable.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Percent of one core used by the whole process over the given wall time.
double Measure(double seconds) {
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return 100.0 * cpu / wall;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "kavo_bench_serial_idle: no pseudo-terminal\n");
        return 1;
    }
    CSerialPortUnixBase port{std::make_shared<const PortNameTable>("")};
    port.configure(::ptsname(master), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    if (!port.open()) {
        std::fprintf(stderr, "kavo_bench_serial_idle: open failed: %s\n", port.lastErrorText());
        return 1;
    }
    const double idle = Measure(seconds);
    ::close(master); // the far end goes: the port sees a hang-up
    const double hungUp = Measure(seconds);
    port.close();

    std::printf("| State of the open port (%.0f s each) | CPU, %% of one core |\n", seconds);
    std::printf("|---|---|\n");
    std::printf("| idle, far end present | %.4f |\n", idle);
    std::printf("| far end gone (hang-up) | %.4f |\n", hungUp);
    return 0;
}
