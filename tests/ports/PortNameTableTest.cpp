// Port discovery over a fake machine: a temporary folder with a sysfs tree, device nodes (links to a
// pseudo-terminal stand in for them: the probe looks at names and at the kind of file, never opens one)
// and the user's port folder.
#include "PortNameTable.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class FakeMachine : public ::testing::Test {
  protected:
    FakeMachine() {
        std::string templ = (fs::temp_directory_path() / "kavo-ports-XXXXXX").string();
        m_root = ::mkdtemp(templ.data());
        fs::create_directories(sys());
        fs::create_directories(dev());
        fs::create_directories(ports());
        m_terminal = m_pty.slaveName;
    }
    ~FakeMachine() override { fs::remove_all(m_root); }
    void SetUp() override { ASSERT_FALSE(m_terminal.empty()) << "no pseudo-terminal"; }

    std::string sys() const { return m_root + "/sys"; }
    std::string dev() const { return m_root + "/dev"; }
    std::string ports() const { return m_root + "/ports"; }
    PortNameTable table() const { return PortNameTable(ports(), sys(), dev()); }

    // A character device under the fake /dev.
    void addNode(const std::string& node) {
        const std::string path = dev() + "/" + node;
        if (!fs::is_symlink(path)) {
            fs::create_symlink(m_terminal, path);
        }
    }
    // A ttyS line: the node always exists; sysfs tells the UART type, 0 when no UART answers.
    void addSerial(int index, int uartType) {
        const std::string node = "ttyS" + std::to_string(index);
        addNode(node);
        fs::create_directories(sys() + "/class/tty/" + node);
        std::ofstream(sys() + "/class/tty/" + node + "/type") << uartType << "\n";
    }
    void addEntry(const std::string& name, const std::string& target) {
        fs::create_symlink(target, ports() + "/" + name);
    }

    std::string m_root;
    PtyPair m_pty;
    std::string m_terminal;
};

TEST_F(FakeMachine, OnlyOnePortPresent) {
    addNode("pts7");
    addEntry("COM3", dev() + "/pts7");
    EXPECT_EQ(EnumeratePorts(table()), Names{"COM3"});
    Names list;
    EXPECT_TRUE(EnumeratePorts(table(), list));
    EXPECT_EQ(list, Names{"COM3"});
    EXPECT_EQ(table().devicePath("COM3"), dev() + "/pts7");
}

TEST_F(FakeMachine, NamesComeInIncreasingNumberAndAreAddedToTheList) {
    addSerial(0, 4);  // COM1
    addSerial(1, 4);  // COM2
    addSerial(9, 4);  // COM10
    addSerial(2, 0);  // COM3: node but no UART behind it
    addNode("ttyS3"); // COM4: no sysfs entry at all
    Names list = {"kept"};
    EXPECT_TRUE(EnumeratePorts(table(), list));
    EXPECT_EQ(list, (Names{"kept", "COM1", "COM2", "COM10"}));
    EXPECT_EQ(table().devicePath("COM10"), dev() + "/ttyS9");
}

TEST_F(FakeMachine, NoPortsAtAll) {
    Names list;
    EXPECT_FALSE(EnumeratePorts(table(), list));
    EXPECT_TRUE(list.empty());
}

TEST_F(FakeMachine, BuiltInBlocksMapToTheirDevices) {
    const struct {
        const char* node;
        const char* name;
    } cases[] = {
        {"ttyS31", "COM32"},  {"ttyUSB0", "COM33"},  {"ttyUSB31", "COM64"},
        {"ttyACM0", "COM65"}, {"ttyACM31", "COM96"},
    };
    addSerial(31, 4);
    for (const auto& c : cases) {
        addNode(c.node);
        EXPECT_EQ(table().devicePath(c.name), dev() + "/" + c.node) << c.name;
    }
    addNode("ttyUSB32"); // beyond the block: no name for it
    addNode("ttyACM32");
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM32", "COM33", "COM64", "COM65", "COM96"}));
}

TEST_F(FakeMachine, COM0IsListedButCOM255Never) {
    addNode("a");
    addNode("b");
    addNode("c");
    addEntry("COM0", dev() + "/a");
    addEntry("COM254", dev() + "/b");
    addEntry("COM255", dev() + "/c");
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM0", "COM254"}));
}

TEST_F(FakeMachine, UserEntryWinsAndAnUnpluggedDeviceIsGoneAtTheNextPass) {
    addNode("ttyUSB0");
    addNode("by-id-adapter");
    addEntry("COM33", dev() + "/by-id-adapter"); // overrides ttyUSB0
    addEntry("COM5", "../dev/ttyUSB0");          // relative to the port folder
    EXPECT_EQ(table().devicePath("COM33"), dev() + "/by-id-adapter");
    EXPECT_EQ(table().devicePath("COM5"), ports() + "/../dev/ttyUSB0");
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM5", "COM33"}));

    // The adapter is unplugged: its entry dangles and hides the name, rather than pointing the user at
    // a different device.
    fs::remove(dev() + "/by-id-adapter");
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM5"}));
    fs::remove(dev() + "/ttyUSB0");
    EXPECT_TRUE(EnumeratePorts(table()).empty());
    // Plugged in again: back at the next pass.
    addNode("ttyUSB0");
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM5"}));
}

// Only a character device is a serial port. A port-folder entry that leads to anything else hides its
// name as a dangling one does; a built-in name whose node is no device (a file left by a write to
// /dev/ttyUSB0 while no adapter was plugged) is absent.
TEST_F(FakeMachine, OnlyCharacterDevicesAreListed) {
    fs::create_directories(m_root + "/folder");
    std::ofstream(m_root + "/file");
    ASSERT_EQ(::mkfifo((m_root + "/fifo").c_str(), 0644), 0);
    addNode("ttyUSB0");                // COM33
    addNode("ttyUSB1");                // COM34
    std::ofstream(dev() + "/ttyUSB2"); // COM35: a regular file in /dev
    addEntry("COM3", m_root + "/file");
    addEntry("COM4", m_root + "/folder");
    addEntry("COM5", m_root + "/fifo");
    addEntry("COM6", dev() + "/ttyUSB2");
    addEntry("COM7", m_terminal);
    addEntry("COM33", m_root + "/file"); // hides ttyUSB0
    std::ofstream(ports() + "/COM8");    // a plain file in the port folder
    for (const char* name : {"COM3", "COM4", "COM5", "COM6", "COM8", "COM33", "COM35"}) {
        EXPECT_FALSE(table().devicePath(name).has_value()) << name;
    }
    EXPECT_EQ(EnumeratePorts(table()), (Names{"COM7", "COM34"}));
}

// A virtual controller's entry lives only as long as the lock it holds on COMn.lock, which names the device
// of the entry. Once the controller is gone, its pseudo-terminal may be another program's: the name is
// absent.
TEST_F(FakeMachine, AVirtualControllersEntryIsValidOnlyWhileItsLockIsHeld) {
    const std::string pts = dev() + "/pts7";
    const struct {
        const char* what;
        const char* lockFile; // its content; nullptr: no lock file
        bool held;
        bool listed;
    } cases[] = {
        {"the user's own entry", nullptr, false, true},
        {"controller running", "pts7\n", true, true},
        {"controller gone", "pts7\n", false, false},
        {"controller died making it", "", false, false},
        {"controller making it", "", true, false},
        {"the user pointed the name elsewhere since", "pts3\n", false, true},
    };
    addNode("pts7");
    addNode("pts3");
    addEntry("COM3", pts);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string lockPath = table().entryLockPath("COM3");
        EXPECT_EQ(lockPath, ports() + "/COM3.lock");
        fs::remove(lockPath);
        int fd = -1;
        if (c.lockFile != nullptr) {
            const std::string content = std::string(c.lockFile).empty() ? "" : dev() + "/" + c.lockFile;
            std::ofstream(lockPath) << content;
            fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            if (c.held) {
                ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            }
        }
        EXPECT_EQ(table().devicePath("COM3").has_value(), c.listed);
        EXPECT_EQ(EnumeratePorts(table()), c.listed ? Names{"COM3"} : Names{});
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

TEST_F(FakeMachine, OnlyCanonicalNamesAreLookedUp) {
    addNode("x");
    for (const char* name :
         {"COM", "COM03", "com3", "COMx", "COM-1", "COM3 ", "COM+3", "XCOM3", "COM99999999999"}) {
        EXPECT_FALSE(table().devicePath(name).has_value()) << name;
    }
    EXPECT_EQ(PortNameTable::PortNumber("COM0"), 0u);
    EXPECT_EQ(PortNameTable::PortNumber("COM254"), 254u);
    EXPECT_FALSE(PortNameTable::PortNumber("COM00").has_value());
}

TEST(PortNameTableTest, UserFolderComesFromTheEnvironment) {
    const char* oldPorts = std::getenv("KAVO_PORTS_DIR");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedPorts = oldPorts ? oldPorts : "";
    const std::string savedConfig = oldConfig ? oldConfig : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";

    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(PortNameTable::DefaultUserDir(), "/cfg/Local AppWizard-Generated Applications/KAVO/ports");
    ::unsetenv("KAVO_PORTS_DIR");
    EXPECT_EQ(PortNameTable::FromEnvironment().userDir(), PortNameTable::DefaultUserDir());
    ::setenv("KAVO_PORTS_DIR", "/my/ports", 1);
    EXPECT_EQ(PortNameTable::FromEnvironment().userDir(), "/my/ports");

    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    ::setenv("HOME", "/home/op", 1);
    EXPECT_EQ(PortNameTable::DefaultUserDir(),
              "/home/op/.config/Local AppWizard-Generated Applications/KAVO/ports");

    oldPorts ? ::setenv("KAVO_PORTS_DIR", savedPorts.c_str(), 1) : ::unsetenv("KAVO_PORTS_DIR");
    oldConfig ? ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(PortListOrder, TextOrderWithoutRegardToCase) {
    std::vector<std::string> names = {"COM2", "COM10", "com3", "COM1", "COM100", "COM9"};
    SortPortList(names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM10", "COM100", "COM2", "com3", "COM9"}));
}

} // namespace
