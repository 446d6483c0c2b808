// Identities, discovery with identities and the doctor over a fake machine: a temporary folder with a sysfs
// tree laid out as the kernel lays out a USB adapter and a UART, device nodes (links to a pseudo-terminal),
// /dev/serial/by-id, a lock folder, a group file and a fake /proc.
#include "PortIdentity.h"
#include "PortDoctor.h"
#include "PortPin.h"
#include "PortScanner.h"
#include "PtyPair.h"
#include "SerialPortFactory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FakeAdapters : public ::testing::Test {
  protected:
    FakeAdapters() {
        std::string templ = (fs::temp_directory_path() / "kavo-identity-XXXXXX").string();
        m_root = ::mkdtemp(templ.data());
        for (const char* d : {"sys/class/tty", "dev/serial/by-id", "ports", "lock", "proc"}) {
            fs::create_directories(m_root + "/" + d);
        }
    }
    ~FakeAdapters() override { fs::remove_all(m_root); }
    void SetUp() override { ASSERT_TRUE(m_pty.ok()); }

    std::string path(const std::string& sub) const { return m_root + "/" + sub; }
    PortNameTable table() const {
        return PortNameTable(path("ports"), path("sys"), path("dev"), path("lock"));
    }
    static void write(const std::string& file, const std::string& text) {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A USB adapter as the kernel shows it: the usb device with its strings, its interface with the
    // driver, the usb-serial port and the tty below it; the node in /dev and udev's by-id link.
    void plugUsb(const std::string& tty, const std::string& product, const std::string& serial) {
        const std::string usb = path("sys/devices/pci0000:00/usb1/1-1");
        write(usb + "/idVendor", "0403");
        write(usb + "/idProduct", "6001");
        write(usb + "/manufacturer", "FTDI");
        if (!product.empty()) {
            write(usb + "/product", product);
        }
        write(usb + "/serial", serial);
        const std::string port = usb + "/1-1:1.0/" + tty;
        fs::create_directories(port + "/tty/" + tty);
        fs::create_directories(path("sys/bus/usb-serial/drivers/ftdi_sio"));
        fs::create_symlink("../../../../../../bus/usb-serial/drivers/ftdi_sio", port + "/driver");
        fs::create_symlink("../../devices/pci0000:00/usb1/1-1/1-1:1.0/" + tty + "/tty/" + tty,
                           path("sys/class/tty/" + tty));
        fs::create_symlink(m_pty.slaveName, path("dev/" + tty));
        fs::create_symlink("../../" + tty, path("dev/serial/by-id/usb-FTDI_" + serial + "-if00-port0"));
    }
    void addUart(const std::string& tty) {
        const std::string dev = path("sys/devices/pnp0/00:01/tty/" + tty);
        fs::create_directories(dev);
        write(dev + "/type", "4");
        fs::create_directories(path("sys/bus/pnp/drivers/serial"));
        fs::create_symlink("../../../bus/pnp/drivers/serial", path("sys/devices/pnp0/00:01/driver"));
        fs::create_symlink("../../devices/pnp0/00:01/tty/" + tty, path("sys/class/tty/" + tty));
        fs::create_symlink(m_pty.slaveName, path("dev/" + tty));
    }

    std::string m_root;
    PtyPair m_pty;
};

TEST_F(FakeAdapters, AUsbAdapterIsKnownByItsStringsIdsDriverAndByIdLink) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    const PortIdentityReader reader(path("sys"), path("dev"));
    for (const std::string& given :
         {path("dev/ttyUSB0"), path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0")}) {
        SCOPED_TRACE(given);
        const PortIdentity id = reader.Read(given);
        EXPECT_EQ(id.kernelName, "ttyUSB0");
        EXPECT_EQ(id.VendorProduct(), "0403:6001");
        EXPECT_EQ(id.manufacturer, "FTDI");
        EXPECT_EQ(id.serial, "A10K3J");
        EXPECT_EQ(id.driver, "ftdi_sio");
        EXPECT_EQ(id.byIdLink, path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0"));
        EXPECT_EQ(id.Summary(), "FT232R USB UART (A10K3J)");
    }
}

TEST_F(FakeAdapters, SummariesOfAnAdapterWithoutProductAUartAndAPseudoTerminal) {
    plugUsb("ttyUSB0", "", "XY1");
    addUart("ttyS0");
    const PortIdentityReader reader(path("sys"), path("dev"));
    EXPECT_EQ(reader.Read(path("dev/ttyUSB0")).Summary(), "USB 0403:6001 (XY1)");
    const PortIdentity uart = reader.Read(path("dev/ttyS0"));
    EXPECT_EQ(uart.Summary(), "ttyS0");
    EXPECT_EQ(uart.driver, "serial");
    EXPECT_FALSE(uart.IsUsb());
    EXPECT_EQ(reader.Read(m_pty.slaveName).Summary(), "");
}

// The scanner gives the names EnumeratePorts gives, each with its identity, and reads an identity again
// only when the node changed (an adapter plugged anew).
TEST_F(FakeAdapters, ScannerListsIdentitiesAndRereadsOnlyChangedNodes) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    addUart("ttyS0");
    PortScanner scanner(table());
    std::vector<PortEntry> entries = scanner.Scan();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "COM1");
    EXPECT_EQ(entries[1].name, "COM33");
    EXPECT_EQ(entries[1].identity.Summary(), "FT232R USB UART (A10K3J)");

    // The same node: the cached identity, even though sysfs says otherwise now.
    write(path("sys/devices/pci0000:00/usb1/1-1/product"), "Other");
    EXPECT_EQ(scanner.Scan()[1].identity.product, "FT232R USB UART");
    // Unplugged and plugged in again: a node made anew, read anew.
    fs::remove(path("dev/ttyUSB0"));
    EXPECT_EQ(scanner.Scan().size(), 1u);
    PtyPair other;
    fs::create_symlink(other.slaveName, path("dev/ttyUSB0"));
    EXPECT_EQ(scanner.Scan()[1].identity.product, "Other");
}

TEST_F(FakeAdapters, PinningWritesTheByIdLinkAndUnpinningRemovesIt) {
    plugUsb("ttyUSB0", "FT232R USB UART", "A10K3J");
    const std::string byId = path("dev/serial/by-id/usb-FTDI_A10K3J-if00-port0");
    std::string error;
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error;
    EXPECT_EQ(PinnedTarget(table(), "COM5"), byId);
    EXPECT_EQ(table().devicePath("COM5"), byId);
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error; // again: replaced
    // Whatever another pin or a crash left in the folder does not stand in the way, and is left alone.
    fs::create_directories(path("ports/.COM5.new/left"));
    ASSERT_TRUE(PinPortName(table(), "COM5", byId, error)) << error;
    EXPECT_TRUE(fs::is_directory(path("ports/.COM5.new/left")));
    fs::remove_all(path("ports/.COM5.new"));
    for (const auto& entry : fs::directory_iterator(path("ports"))) {
        EXPECT_EQ(entry.path().filename(), "COM5"); // no temporary link left behind
    }
    EXPECT_FALSE(PinPortName(table(), "COM255", byId, error));
    EXPECT_NE(error.find("no port name"), std::string::npos);
    std::ofstream(path("ports/COM6")) << "mine";
    EXPECT_FALSE(PinPortName(table(), "COM6", byId, error)); // not a link: left alone
    EXPECT_TRUE(UnpinPortName(table(), "COM5", error)) << error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(path("ports/COM5"))));
    EXPECT_FALSE(UnpinPortName(table(), "COM5", error));
}

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
        system.groupFile = path("group");
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
    write(path("group"), "serialgroup:x:" + gid + ":someone");
    EXPECT_EQ(kinds(), std::vector<PortFinding::Kind>{PortFinding::Permission});
    EXPECT_NE(firstText().find("add yourself to the serialgroup group"), std::string::npos) << firstText();
    EXPECT_NE(firstText().find("log out and in"), std::string::npos);

    write(path("group"), "serialgroup:x:" + gid + ":someone,operator");
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

} // namespace
