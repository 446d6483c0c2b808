// kavo-cli's dispatch and the argument parsing of its subcommands: the program's own main (built here as
// KavoCliMain) with arguments from the input split at NUL bytes.
//
// The subcommands run for real, so the run is fenced in: they work in a scratch folder holding a
// few recipe files, every argument has its '/' replaced (nothing outside that folder but its parent can be
// named), standard input is empty, and the port folder holds a dangling entry for every name COM0..COM254.
// Every port is then absent: download fails to open one, simulate finds no name to take, and nothing reaches
// a device.
//
// Properties: the exit code is one of 0, 1 and 2; the signal mask and handlers the subcommands change are
// put back after each run so that one run does not change the next.

#include "AidFormat.h"
#include "FuzzSupport.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int KavoCliMain(int argc, char** argv);

namespace {

// The fenced folder; the run works in it and goes back to libFuzzer's own folder after each input.
std::string Fence() {
    const std::string dir = fuzz::MakeScratchDir("cli");
    const std::string ports = dir + "/ports";
    ::mkdir(ports.c_str(), 0755);
    for (unsigned n = 0; n <= 254; ++n) {
        // Dangling, and not into /dev/pts/ (which simulate would take as its own leftover and replace).
        ::symlink("unplugged-adapter", (ports + "/COM" + std::to_string(n)).c_str());
    }
    ::setenv("KAVO_PORTS_DIR", ports.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    const AidImage recipe = EncodeAid(Recipe());
    fuzz::WriteFile(dir + "/new.aid", recipe.data(), recipe.size());
    fuzz::WriteFile(dir + "/short.aid", recipe.data(), 100);
    fuzz::WriteFile(dir + "/empty.aid", nullptr, 0);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::close(null);
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string fenced = Fence();

    std::vector<std::string> args{"kavo-cli"};
    for (std::string a : fuzz::SplitAtNul(data, size, 16)) {
        std::replace(a.begin(), a.end(), '/', '_');
        args.push_back(std::move(a));
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    sigset_t mask;
    ::sigprocmask(SIG_SETMASK, nullptr, &mask);
    struct sigaction saved[4];
    const int signals[4] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    for (int s = 0; s < 4; ++s) {
        ::sigaction(signals[s], nullptr, &saved[s]);
    }

    const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(home >= 0 && ::chdir(fenced.c_str()) == 0, "cannot enter %s", fenced.c_str());
    const int rc = KavoCliMain(static_cast<int>(args.size()), argv.data());
    FUZZ_CHECK(::fchdir(home) == 0, "cannot go back to the starting folder");
    ::close(home);

    for (int s = 0; s < 4; ++s) {
        ::sigaction(signals[s], &saved[s], nullptr);
    }
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    FUZZ_CHECK(rc == 0 || rc == 1 || rc == 2, "exit code %d", rc);
    return 0;
}
