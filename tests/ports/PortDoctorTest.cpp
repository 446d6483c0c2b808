// The doctor over a fake machine (FakeAdapters.h) with a group file, udev rule files and a fake /proc: who
// holds a port, permission against the user's groups, ModemManager and brltty; and the port's open honouring
// a live UUCP lock file as the doctor reports it.
#include "PortDoctor.h"
#include "FakeAdapters.h"
#include "PortIdentity.h"
#include "SerialPortFactory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// A child process that lives until killed: a holder of locks that is not the test itself.
struct Child {
    pid_t pid = -1;
    Child() {
        pid = ::fork();
        if (pid == 0) {
            ::pause();
            ::_exit(0);
        }
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
// nothing and is only mentioned.
TEST_F(Doctor, LiveLockFilesAreHonouredAndStaleOnesAreNot) {
    Child live;
    Child dead;
    const pid_t deadPid = dead.pid;
    dead.Reap();
    const struct {
        const char* what;
        pid_t pid;
        std::vector<PortFinding::Kind> found;
        bool opens;
    } cases[] = {
        {"live", live.pid, {PortFinding::Held}, false},
        {"stale", deadPid, {PortFinding::StaleLockFile}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        char text[16];
        std::snprintf(text, sizeof text, "%10d", static_cast<int>(c.pid));
        write(path("lock/LCK..ttyUSB0"), text);
        EXPECT_EQ(kinds(), c.found);
        EXPECT_NE(firstText().find(path("lock/LCK..ttyUSB0")), std::string::npos) << firstText();
        auto port = CreateSerialPort(table());
        port->configure("COM33", 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
        EXPECT_EQ(port->open(), c.opens);
        if (!c.opens) {
            EXPECT_EQ(port->lastError(), ErrorAccessDenied);
            EXPECT_EQ(port->lastSystemError(), EBUSY);
        }
        port->close();
    }
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
