// kavo_bench_serial: discovery over this machine's table, ring buffer throughput, a 6-byte frame write.
#include "CSerialPortUnixBase.h"
#include "PortNameTable.h"
#include "PortScanner.h"
#include "RingBuffer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string MakeTempDir() {
    std::string templ = (fs::temp_directory_path() / "kavo-bench-XXXXXX").string();
    return ::mkdtemp(templ.data());
}

// Discovery passes over COM0..COM254 with this machine's /sys and /dev and the port folder dir, which
// goes afterwards.
void DiscoveryPasses(benchmark::State& state, const std::string& dir) {
    const PortNameTable table(dir);
    size_t found = 0;
    for (auto _ : state) {
        found = EnumeratePorts(table).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["ports"] = static_cast<double>(found);
    fs::remove_all(dir);
}

// One pass with an empty port folder.
void BM_DiscoveryPass(benchmark::State& state) {
    DiscoveryPasses(state, MakeTempDir());
}
BENCHMARK(BM_DiscoveryPass)->Unit(benchmark::kMicrosecond);

// The same with 32 entries in the port folder pointing at /dev/null.
void BM_DiscoveryPassWithUserEntries(benchmark::State& state) {
    const std::string dir = MakeTempDir();
    for (int i = 100; i < 132; ++i) {
        fs::create_symlink("/dev/null", dir + "/COM" + std::to_string(i));
    }
    DiscoveryPasses(state, dir);
}
BENCHMARK(BM_DiscoveryPassWithUserEntries)->Unit(benchmark::kMicrosecond);

// What the form's refresh does now: the present names with the identity of each device (sysfs, udev where
// it runs), after the first pass from the cache. 32 entries in the port folder, as above.
void BM_ScanWithIdentitiesAndUserEntries(benchmark::State& state) {
    const std::string dir = MakeTempDir();
    for (int i = 100; i < 132; ++i) {
        fs::create_symlink("/dev/null", dir + "/COM" + std::to_string(i));
    }
    PortScanner scanner{PortNameTable(dir)};
    size_t found = 0;
    for (auto _ : state) {
        found = scanner.Scan().size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["ports"] = static_cast<double>(found);
    fs::remove_all(dir);
}
BENCHMARK(BM_ScanWithIdentitiesAndUserEntries)->Unit(benchmark::kMicrosecond);

// 4096-byte writes into the port's 4096-byte ring (each overwrites the whole ring).
void BM_RingBufferWrite4096(benchmark::State& state) {
    RingBuffer<char> ring(4096);
    std::vector<char> chunk(4096, 'x');
    for (auto _ : state) {
        ring.write(chunk.data(), 4096);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_RingBufferWrite4096);

// A 4096-byte write followed by a 4096-byte read, at an offset so that both wrap.
void BM_RingBufferWriteRead4096(benchmark::State& state) {
    RingBuffer<char> ring(8192);
    std::vector<char> chunk(4096, 'x'), out(4096);
    ring.write(chunk.data(), 1000);
    for (auto _ : state) {
        ring.write(chunk.data(), 4096);
        ring.read(out.data(), 4096);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_RingBufferWriteRead4096);

// One 6-byte download frame through the open port to a pty whose far end is drained by a thread.
void BM_PortWriteFrame(benchmark::State& state) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master);
    ::unlockpt(master);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    CSerialPortUnixBase port{std::make_shared<const PortNameTable>("")};
    port.configure(::ptsname(master), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    if (!port.open()) {
        state.SkipWithError("cannot open the pty");
        ::close(master);
        return;
    }
    std::jthread drain([&](std::stop_token stop) {
        char buffer[4096];
        while (!stop.stop_requested()) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::read(master, buffer, sizeof buffer) <= 0) {
                break;
            }
        }
    });
    const char frame[6] = {'\xAD', 0x21, 0x01, 0x00, 0x10, 0x00};
    for (auto _ : state) {
        benchmark::DoNotOptimize(port.write(frame, 6));
    }
    port.close();
    drain.request_stop();
    drain.join();
    ::close(master);
}
BENCHMARK(BM_PortWriteFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
