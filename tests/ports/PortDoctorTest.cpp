// The doctor over a fake machine (FakeAdapters.h) with a group file, udev rule files and a fake /proc: who
// holds a port, permission against the user's groups, ModemManager and brltty; and the port's open honouring
// a live UUCP lock file as the doctor reports it.
#include "PortDoctor.h"
#include "FakeAdapters.h"
#include "PortIdentity.h"
#include "SerialPortFactory.h"
#include "UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A child process that lives until killed: a holder of locks that is not the test itself. It keeps the
// test's descriptors, less those it closes first.
struct Child {
    pid_t pid = -1;
    explicit Child(std::initializer_list<int> closed = {}) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            for (const int fd : closed) {
                ::close(fd);
            }
            (void)!::write(ready[1], "r", 1);
            ::pause();
            ::_exit(0);
        }
        // Started once it has closed what it closes.
        char byte;
        if (pid > 0) {
            (void)!::read(ready[0], &byte, 1);
        }
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~Child() { Reap(); }
    void Reap() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
};

class Doctor : public FakeAdapters {
  protected:
    void SetUp() override {
        FakeAdapters::SetUp();
        plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
        system.procRoot = "/proc";
        system.groups = GroupFile(); // none until a test writes its group file
        system.udevRuleDirs = {path("rules")};
        system.brlttyPrograms = {path("brltty")};
        system.credentials = DoctorCredentials{0, "root", {0}};
        system.checkAccess = false;
        system.self = 0; // the test's own locks count
    }
    std::vector<PortFinding::Kind> kinds() const {
        std::vector<PortFinding::Kind> k;
        for (const PortFinding& f : DiagnosePort(table(), "COM33", identity(), system)) {
            k.push_back(f.kind);
        }
        return k;
    }
    PortIdentity identity() const {
        return PortIdentityReader(path("sys"), path("dev")).Read(path("dev/ttyUSB0"));
    }
    std::string firstText() const { return DiagnosePort(table(), "COM33", identity(), system).at(0).text; }
    void writeGroups(const std::string& text) {
        write(path("group"), text);
        system.groups = GroupFile::Read(path("group"));
    }

    DoctorSystem system;
};

TEST_F(Doctor, AFreePortHasNothingAgainstIt) {
    EXPECT_TRUE(kinds().empty());
    EXPECT_EQ(DiagnosePort(table(), "COM40", identity(), system).at(0).kind, PortFinding::Missing);
}

TEST_F(Doctor, AFlockHolderIsNamedWithItsPid) {
    const int fd = ::open(m_pty.slaveName.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::Held});
    const std::string text = firstText();
    EXPECT_NE(text.find("COM33 is in use by another program"), std::string::npos) << text;
    EXPECT_NE(text.find("(PID " + std::to_string(::getpid()) + ")"), std::string::npos) << text;
    EXPECT_NE(text.find("flock"), std::string::npos) << text;
    // The asking program's own locks are not another program's.
    system.self = ::getpid();
    EXPECT_TRUE(kinds().empty());
    ::close(fd);
}

// A UUCP lock file with a live PID marks the port in use (the port refuses to open); a stale one marks
// nothing and is only mentioned. Anyone may write the lock folder: a PID that does not read strictly is no
// PID (4294967297 is not PID 1), and a FIFO in the lock file's place is never waited on (the open and the
// doctor would hang) but marks the port in use by an unknown program.
TEST_F(Doctor, LiveLockFilesAreHonouredAndStaleOnesAreNot) {
    Child live;
    Child dead;
    const pid_t deadPid = dead.pid;
    dead.Reap();
    char liveText[16], deadText[16];
    std::snprintf(liveText, sizeof liveText, "%10d", static_cast<int>(live.pid));
    std::snprintf(deadText, sizeof deadText, "%10d", static_cast<int>(deadPid));
    const struct {
        const char* what;
        std::string text; // what the lock file holds; empty: a FIFO
        std::vector<PortFinding::Kind> found;
        bool opens;
        const char* says;
    } cases[] = {
        {"live", liveText, {PortFinding::Held}, false, "is in use by another program"},
        {"stale", deadText, {PortFinding::StaleLockFile}, true, "no longer runs"},
        {"overflow", "4294967297", {PortFinding::StaleLockFile}, true, "names no process"},
        {"negative", "-1", {PortFinding::StaleLockFile}, true, "names no process"},
        {"garbage", "1x", {PortFinding::StaleLockFile}, true, "names no process"},
        {"fifo", "", {PortFinding::Held}, false, "cannot be read (it is a FIFO, not a regular file)"},
    };
    const std::string lock = path("lock/LCK..ttyUSB0");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(lock);
        if (c.text.empty()) {
            ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
        } else {
            write(lock, c.text);
        }
        EXPECT_EQ(kinds(), c.found);
        EXPECT_NE(firstText().find(lock), std::string::npos) << firstText();
        EXPECT_NE(firstText().find(c.says), std::string::npos) << firstText();
        auto port = CreateSerialPort(table());
        port->configure("COM33", 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
        EXPECT_EQ(port->open(), c.opens);
        if (!c.opens) {
            EXPECT_EQ(port->lastError(), ErrorAccessDenied);
            EXPECT_EQ(port->lastSystemError(), EBUSY);
            // The failed open's second line is the doctor's.
            EXPECT_EQ(ExplainOpenFailure(table(), "COM33", ErrorAccessDenied, EBUSY, identity(), system),
                      firstText());
        }
        port->close();
    }
}

TEST(UucpLockPid, OnlyAStrictPidIsAPid) {
    const int binary = 4321;
    const int negative = -4321; // as one binary int
    const struct {
        std::string bytes;
        std::optional<pid_t> pid;
    } cases[] = {
        {"      1234\n", 1234},
        {"1234", 1234},
        {"1234 minicom user\n", 1234},
        {std::string(reinterpret_cast<const char*>(&binary), sizeof binary), 4321},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"4294967297", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"-1", std::nullopt},
        {"0", std::nullopt},
        {"", std::nullopt},
        {"   \n", std::nullopt},
        {"12ab\n", std::nullopt},
        {std::string(reinterpret_cast<const char*>(&negative), sizeof negative), std::nullopt},
        {"pid", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseUucpLockPid(c.bytes), c.pid) << c.bytes;
    }
}

// The program at the other end of a pseudo-terminal (holding its master, as kavo-cli simulate does, with a
// descriptor on the terminal end too so that the line stays up) is its peer, not a user: only a program
// holding the terminal end alone is.
TEST_F(Doctor, APseudoTerminalsPeerIsNotItsUser) {
    PtyPair pty(PtyPair::Options{false, true}); // this test: the peer, both ends
    ASSERT_TRUE(pty.ok());
    fs::create_symlink(pty.slaveName, path("ports/COM5"));
    const auto found = [&] { return DiagnosePort(table(), "COM5", PortIdentity(), system); };
    Child peer;
    EXPECT_TRUE(found().empty()) << found().at(0).text;

    Child user({pty.master});
    const std::vector<PortFinding> held = found();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].kind, PortFinding::Held);
    EXPECT_NE(held[0].text.find("(PID " + std::to_string(user.pid) + ")"), std::string::npos) << held[0].text;
    EXPECT_NE(held[0].text.find("open descriptor"), std::string::npos) << held[0].text;
}

// The device's group against the user's: not in it, or in it in /etc/group but not yet in this session.
TEST_F(Doctor, PermissionNamesTheGroupAndTheRemedy) {
    struct stat st;
    ASSERT_EQ(::stat(m_pty.slaveName.c_str(), &st), 0);
    ASSERT_EQ(::chmod(m_pty.slaveName.c_str(), 0660), 0);
    system.credentials =
        DoctorCredentials{st.st_uid + 4242, "operator", {static_cast<gid_t>(st.st_gid + 4242)}};
    const std::string gid = std::to_string(st.st_gid);
    writeGroups("serialgroup:x:" + gid + ":someone");
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::Permission});
    EXPECT_NE(firstText().find("add yourself to the serialgroup group"), std::string::npos) << firstText();
    EXPECT_NE(firstText().find("log out and in"), std::string::npos);

    writeGroups("serialgroup:x:" + gid + ":someone,operator");
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::NotYetInSession});
    EXPECT_NE(firstText().find("in /etc/group but not yet in this session"), std::string::npos)
        << firstText();

    system.credentials.groups.push_back(st.st_gid); // logged in again
    EXPECT_TRUE(kinds().empty());
    // The failed open's second line gives the same words.
    system.credentials.groups.pop_back();
    EXPECT_EQ(ExplainOpenFailure(table(), "COM33", ErrorAccessDenied, EACCES, identity(), system),
              firstText());
}

// A device without group access: the package's udev rule is the remedy only for the adapters it names; a
// UART or another adapter needs the dialout group, a pseudo-terminal belongs to the program that made it.
TEST_F(Doctor, PermissionAdviceFollowsTheKindOfDevice) {
    addUart("ttyS0");
    fs::create_symlink(m_pty.slaveName, path("ports/COM5"));
    ASSERT_EQ(::chmod(m_pty.slaveName.c_str(), 0600), 0);
    struct stat st;
    ASSERT_EQ(::stat(m_pty.slaveName.c_str(), &st), 0);
    system.credentials =
        DoctorCredentials{st.st_uid + 4242, "operator", {static_cast<gid_t>(st.st_gid + 4242)}};
    PortIdentity otherAdapter = identity();
    otherAdapter.productId = "0042";
    const PortIdentityReader reader(path("sys"), path("dev"));
    const struct {
        const char* name;
        PortIdentity identity;
        const char* says;
        const char* never;
    } cases[] = {
        {"COM33", identity(), "install the udev rule", "dialout"},
        {"COM33", otherAdapter, "give the dialout group read and write access", "udev rule that gives"},
        {"COM1", reader.Read(path("dev/ttyS0")), "give the dialout group read and write access",
         "udev rule that gives"},
        {"COM5", PortIdentity(), "is a pseudo-terminal", "udev"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.identity.VendorProduct());
        const std::vector<PortFinding> found = DiagnosePort(table(), c.name, c.identity, system);
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found[0].kind, PortFinding::Permission);
        EXPECT_NE(found[0].text.find(c.says), std::string::npos) << found[0].text;
        EXPECT_EQ(found[0].text.find(c.never), std::string::npos) << found[0].text;
    }
}

// The adapters the doctor sends to the udev rule are the ones the rule gives access to.
TEST(UdevRule, CoversTheAdaptersOfThePackagesRule) {
    std::ifstream rules(KAVO_UDEV_RULES);
    ASSERT_TRUE(rules.good());
    std::set<std::pair<std::string, std::string>> inRule, inCode;
    const std::regex line(
        R"re(ATTRS\{idVendor\}=="([0-9a-f]{4})", ATTRS\{idProduct\}=="([0-9a-f|]+)", TAG\+="uaccess")re");
    std::string text;
    while (std::getline(rules, text)) {
        std::smatch m;
        if (std::regex_search(text, m, line)) {
            std::istringstream products(m[2].str());
            for (std::string product; std::getline(products, product, '|');) {
                inRule.emplace(m[1].str(), product);
            }
        }
    }
    for (std::size_t i = 0; i < kUdevRuleAdapterCount; ++i) {
        inCode.emplace(kUdevRuleAdapters[i].vendorId, kUdevRuleAdapters[i].productId);
    }
    EXPECT_FALSE(inRule.empty());
    EXPECT_EQ(inCode, inRule);
}

TEST_F(Doctor, ModemManagerAndBrlttyClaimingTheAdapter) {
    system.procRoot = path("proc");
    write(path("proc/77/comm"), "ModemManager");
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::ModemManager});
    EXPECT_NE(firstText().find("ID_MM_DEVICE_IGNORE"), std::string::npos);

    write(path("proc/77/comm"), "bash");
    write(path("brltty"), "");
    write(path("rules/85-brltty.rules"), "# ENV{PRODUCT}==\"403/6001/*\" is commented out\n"
                                         "ENV{PRODUCT}==\"1a86/7523/*\", GOTO=\"brltty_usb_run\"");
    EXPECT_TRUE(kinds().empty());
    write(path("rules/85-brltty.rules"), "ENV{PRODUCT}==\"403/6001/*\", GOTO=\"brltty_usb_run\"");
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::Brltty});
    EXPECT_NE(firstText().find("sudo apt remove brltty"), std::string::npos);
}

// The group file is read once and then asked: names by gid (the first entry wins), gids by name, members. A
// line that names no gid (empty or not a number) or lacks a field names no group, rather than group 0.
TEST(GroupFile, NamesIdsAndMembersOfOneReading) {
    const fs::path file = fs::temp_directory_path() / ("kavo-group-" + std::to_string(::getpid()));
    std::ofstream(file) << "dialout:x:20:alice,bob\n"
                           "plugdev:x:46:\n"
                           "not a group line\n"
                           "nogid:x::carol\n"
                           "badgid:x:4x:dave\n"
                           "short:x:30\n"
                           "uucp:x:20:carol\n";
    const GroupFile groups = GroupFile::Read(file.string());
    fs::remove(file);

    EXPECT_EQ(groups.NameOf(20), "dialout");
    EXPECT_EQ(groups.NameOf(46), "plugdev");
    EXPECT_EQ(groups.NameOf(999), "999");
    EXPECT_EQ(groups.IdOf("dialout"), std::optional<gid_t>(20));
    EXPECT_EQ(groups.IdOf("uucp"), std::optional<gid_t>(20));
    for (const char* none : {"nogid", "badgid", "short", "not a group line", "nobody"}) {
        EXPECT_EQ(groups.IdOf(none), std::nullopt) << none;
    }
    EXPECT_TRUE(groups.Lists("alice", 20));
    EXPECT_TRUE(groups.Lists("carol", 20)); // the second entry with that gid
    EXPECT_FALSE(groups.Lists("alice", 46));
    EXPECT_FALSE(groups.Lists("dave", 4));
    EXPECT_FALSE(groups.Lists("", 46));
    EXPECT_EQ(GroupFile::Read((fs::path(file) / "missing").string()).NameOf(20), "20");
}

} // namespace
