// The POSIX backend against pseudo-terminal pairs: the port opens the slave side as it would a real
// serial device, the test plays the other end on the master side.
#include "CSerialPortUnixBase.h"
#include "PortNameTable.h"
#include "PtyPair.h"
#include "SerialPortFactory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <mutex>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Generous bound for things that happen in microseconds; only a hang breaks it.
constexpr auto kPatience = 10s;

template <typename Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds limit = kPatience) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

int ThreadCount() {
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(dir)) {
            n += e->d_name[0] != '.';
        }
        ::closedir(dir);
    }
    return n;
}

// A joined thread can linger in /proc for a moment after pthread_join returns; a leaked one stays.
bool ThreadsSettleAt(int n) {
    return WaitUntil([n] { return ThreadCount() == n; });
}

std::vector<char> Pattern(size_t n) {
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<char>(i * 13 % 256);
    }
    return v;
}

// A pty pair. The master is the far end of the line. The spy is a second descriptor on the slave,
// opened before the port takes it, through which the test reads the line's settings and input queue.
class Pty {
  public:
    Pty() {
        if (!m_pair.ok()) {
            ADD_FAILURE() << "no pseudo-terminal: " << m_pair.error;
            return;
        }
        m_spy = ::open(m_pair.slaveName.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~Pty() {
        if (m_spy >= 0) {
            ::close(m_spy);
        }
    }
    const std::string& slavePath() const { return m_pair.slaveName; }
    void closeMaster() { m_pair.CloseMaster(); }
    void send(const std::vector<char>& data) {
        size_t at = 0;
        while (at < data.size()) {
            const ssize_t n = ::write(m_pair.master, data.data() + at, data.size() - at);
            if (n > 0) {
                at += static_cast<size_t>(n);
            } else {
                ASSERT_EQ(errno, EAGAIN);
                pollfd p{m_pair.master, POLLOUT, 0};
                ASSERT_GT(::poll(&p, 1, 10000), 0);
            }
        }
    }
    void send(const std::string& text) { send(std::vector<char>(text.begin(), text.end())); }
    // Reads from the far end until n bytes came or nothing more comes within the patience.
    std::vector<char> receive(size_t n) {
        std::vector<char> got;
        const auto end = std::chrono::steady_clock::now() + kPatience;
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{m_pair.master, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char chunk[4096];
                const ssize_t r = ::read(m_pair.master, chunk, sizeof chunk);
                if (r > 0) {
                    got.insert(got.end(), chunk, chunk + r);
                }
            }
        }
        return got;
    }
    // Reads until the line has been quiet for 100 ms.
    void drain() {
        char chunk[4096];
        for (pollfd p{m_pair.master, POLLIN, 0}; ::poll(&p, 1, 100) > 0;) {
            if (::read(m_pair.master, chunk, sizeof chunk) <= 0) {
                return;
            }
        }
    }
    termios lineSettings() const {
        termios t{};
        ::tcgetattr(m_spy, &t);
        return t;
    }
    // Bytes the line holds that the port has not taken yet.
    int queuedInput() const {
        int n = -1;
        ::ioctl(m_spy, FIONREAD, &n);
        return n;
    }

  private:
    PtyPair m_pair{{.nonBlockingMaster = true}};
    int m_spy = -1;
};

class TempDir {
  public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "kavo-serial-XXXXXX").string();
        m_path = ::mkdtemp(templ.data());
    }
    ~TempDir() { fs::remove_all(m_path); }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

struct Received {
    std::mutex mutex;
    std::vector<std::pair<std::string, unsigned>> calls;
    size_t count() {
        std::lock_guard<std::mutex> g(mutex);
        return calls.size();
    }
};

class RecordingListener : public ReceiveListener {
  public:
    explicit RecordingListener(Received& to) : m_to(to) {}
    void onDataReceived(const char* portName, unsigned byteCount) override {
        std::lock_guard<std::mutex> g(m_to.mutex);
        m_to.calls.emplace_back(portName, byteCount);
    }

  private:
    Received& m_to;
};

// ---------------------------------------------------------------- without a device

TEST(SerialPortTest, NewPortDefaults) {
    CSerialPortUnixBase port(std::make_shared<const PortNameTable>(""));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.lastError(), ErrorSuccess);
    EXPECT_STREQ(port.lastErrorText(), "success");
    EXPECT_EQ(port.lastSystemError(), 0);
    EXPECT_STREQ(port.portName(), "");
    EXPECT_EQ(port.baudRate(), 9600);
    EXPECT_EQ(port.parity(), ParityNone);
    EXPECT_EQ(port.dataBits(), DataBits8);
    EXPECT_EQ(port.stopBits(), StopOne);
    EXPECT_EQ(port.flowControl(), FlowNone);
    EXPECT_EQ(port.readBufferSize(), 4096u);
    EXPECT_EQ(port.ioMode(), IoAsynchronous);
    EXPECT_EQ(port.notifyDelay(), 50u);
    EXPECT_EQ(port.notifyThreshold(), 1u);
    EXPECT_EQ(port.bytesAvailable(), 0u);
}

TEST(SerialPortTest, ErrorTexts) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {-1, "unknown error"},        {0, "success"},
        {1, "general error"},         {2, "not implemented error"},
        {3, "innet error"},           {4, "null pointer error"},
        {5, "invalid param error"},   {6, "access denied error"},
        {7, "out of memory error"},   {8, "timeout error"},
        {9, "not init error"},        {10, "init failed error"},
        {11, "already exist error"},  {12, "not exist error"},
        {13, "already open error"},   {14, "not open error"},
        {15, "open failed error"},    {16, "close failed error"},
        {17, "write failed error"},   {18, "read failed error"},
        {19, "undefined error code"}, {-2, "undefined error code"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(PortErrorText(c.code), c.text) << c.code;
    }
}

TEST(SerialPortTest, ClosedPortRefusesTransfersAndKeepsTheCode) {
    CSerialPortUnixBase port(std::make_shared<const PortNameTable>(""));
    char buffer[8];
    EXPECT_EQ(port.write("abcdef", 6), -1);
    EXPECT_EQ(port.lastError(), ErrorNotOpen);
    EXPECT_STREQ(port.lastErrorText(), "not open error");
    EXPECT_EQ(port.read(buffer, 0), 0);
    EXPECT_EQ(port.read(buffer, 8), -1);
    EXPECT_EQ(port.readReserved(buffer, 8), -1);
    EXPECT_EQ(port.lastError(), ErrorNotOpen);
    EXPECT_FALSE(port.flush());
    EXPECT_FALSE(port.waitForSent(10));
    EXPECT_EQ(port.lastError(), ErrorNotOpen);
    EXPECT_FALSE(port.discardInput());
    EXPECT_FALSE(port.discardOutput());
    port.setDtr(true);
    port.setRts(false);
    port.setReadBufferSize(100);
    EXPECT_EQ(port.readBufferSize(), 4096u);
    port.setBaudRate(19200); // stored, nothing to apply it to
    EXPECT_EQ(port.baudRate(), 19200);
    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
    port.resetError();
    EXPECT_EQ(port.lastError(), ErrorSuccess);
}

TEST(SerialPortTest, OpenFailuresLeaveThePortClosed) {
    TempDir dir;
    const std::string file = dir.path() + "/plain-file";
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    const struct {
        std::string name;
        int error;
        int systemError;
    } cases[] = {
        {"/dev/pts/does-not-exist", ErrorNotExist, ENOENT},
        {"COM77", ErrorNotExist, ENOENT}, // not in the table
        {"", ErrorNotExist, ENOENT},
        {file, ErrorOpenFailed, ENOTTY}, // not a serial device
    };
    for (const auto& c : cases) {
        CSerialPortUnixBase port(std::make_shared<const PortNameTable>(dir.path(), dir.path(), dir.path()));
        port.configure(c.name.c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
        EXPECT_FALSE(port.open()) << c.name;
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.lastError(), c.error) << c.name;
        EXPECT_EQ(port.lastSystemError(), c.systemError) << c.name;
    }
}

// ---------------------------------------------------------------- on a pty

class PortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        // A sanitizer runtime starts its own helper thread with the first thread; let it come first.
        std::thread([] {}).join();
        // The lowest count over a few milliseconds: a thread joined just now (here or by the test
        // before) may not have left /proc yet.
        m_threadsBefore = ThreadCount();
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(1ms);
            m_threadsBefore = std::min(m_threadsBefore, ThreadCount());
        }
    }
    void TearDown() override {
        m_port.reset();
        // Every thread a port started has been joined.
        EXPECT_TRUE(ThreadsSettleAt(m_threadsBefore));
    }
    CSerialPortUnixBase& openPort(std::string name = {}, IoMode mode = IoAsynchronous) {
        m_port = std::make_unique<CSerialPortUnixBase>(
            std::make_shared<const PortNameTable>(m_dir.path(), m_dir.path(), m_dir.path()));
        m_port->setIoMode(mode);
        m_port->configure(name.empty() ? m_pty.slavePath().c_str() : name.c_str(), 115200, ParityNone,
                          DataBits8, StopOne, FlowNone, 4096);
        EXPECT_TRUE(m_port->open()) << m_port->lastErrorText() << " errno " << m_port->lastSystemError();
        return *m_port;
    }

    Pty m_pty;
    TempDir m_dir;
    std::unique_ptr<CSerialPortUnixBase> m_port;
    int m_threadsBefore = 0;
};

TEST_F(PortOnPty, OpensARaw115200LineAndWritesAFrame) {
    CSerialPortUnixBase& port = openPort();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.lastError(), ErrorSuccess);

    const termios t = m_pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);

    // Bytes a terminal would translate (CR, LF, XON, XOFF, 0xFF) go through untouched.
    const std::vector<char> frame = {'\xAD', '\r', '\n', '\x11', '\x13', '\xFF'};
    EXPECT_EQ(port.write(frame.data(), 6), 6);
    EXPECT_EQ(m_pty.receive(6), frame);
    EXPECT_EQ(port.write(frame.data(), 0), 0);
}

TEST_F(PortOnPty, ANameFromThePortFolderOpensItsDevice) {
    fs::create_symlink(m_pty.slavePath(), m_dir.path() + "/COM123");
    CSerialPortUnixBase& port = openPort("COM123"); // the whole name, not COM12
    EXPECT_EQ(port.write("hello!", 6), 6);
    const std::vector<char> expected = {'h', 'e', 'l', 'l', 'o', '!'};
    EXPECT_EQ(m_pty.receive(6), expected);
}

TEST_F(PortOnPty, LargeWriteWaitsForRoomAndArrivesWhole) {
    CSerialPortUnixBase& port = openPort();
    const auto data = Pattern(200000);
    std::vector<char> got;
    std::thread reader([&] { got = m_pty.receive(data.size()); });
    EXPECT_EQ(port.write(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    reader.join();
    EXPECT_EQ(got, data);
}

// The far end stops reading: once the terminal's buffer is full, a write waits only its bytes' time on the
// wire plus the margin, then fails with 8 (ETIMEDOUT); the port stays open, and writes go again once the far
// end reads.
TEST_F(PortOnPty, AWriteToALineThatStoppedDrainingFailsAtItsDeadline) {
    CSerialPortUnixBase& port = openPort();
    port.setWriteMargin(50ms);
    const std::vector<char> block(4096, 'x');
    auto filled = std::async(std::launch::async, [&] {
        int written = 0;
        for (int i = 0; i < 1000 && written >= 0; ++i) {
            written = port.write(block.data(), static_cast<int>(block.size()));
        }
        return written;
    });
    if (filled.wait_for(kPatience) != std::future_status::ready) {
        port.close(); // lets go of the stuck write
        FAIL() << "a write to a line that stopped draining did not end";
    }
    EXPECT_EQ(filled.get(), -1);
    EXPECT_EQ(port.lastError(), ErrorTimeout);
    EXPECT_EQ(port.lastSystemError(), ETIMEDOUT);
    EXPECT_EQ(port.write("frame!", 6), -1); // still stalled: each write has its own deadline
    EXPECT_EQ(port.lastError(), ErrorTimeout);
    EXPECT_TRUE(port.isOpen());

    m_pty.drain(); // the far end reads everything again
    EXPECT_EQ(port.write("frame!", 6), 6);
}

TEST_F(PortOnPty, ReceivedBytesAppearWithoutARead) {
    CSerialPortUnixBase& port = openPort();
    m_pty.send("\x01\x02\x03 hi");
    EXPECT_TRUE(WaitUntil([&] { return port.bytesAvailable() == 6; })) << port.bytesAvailable();
    char buffer[64] = {};
    EXPECT_EQ(port.readAll(buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "\x01\x02\x03 hi");
    EXPECT_EQ(port.bytesAvailable(), 0u);
    EXPECT_EQ(port.read(buffer, 10), 0); // nothing more: returns at once
}

TEST_F(PortOnPty, RingKeepsTheNewest4096Bytes) {
    CSerialPortUnixBase& port = openPort();
    const auto data = Pattern(10000);
    m_pty.send(data);
    // Done when the line's queue stays empty and the ring is full (bytesAvailable waits for a store in
    // progress, which holds the port lock).
    int quiet = 0;
    EXPECT_TRUE(WaitUntil([&] {
        quiet = (m_pty.queuedInput() == 0 && port.bytesAvailable() == 4096) ? quiet + 1 : 0;
        return quiet >= 50;
    }));
    std::vector<char> buffer(8192);
    ASSERT_EQ(port.read(buffer.data(), 8192), 4096);
    buffer.resize(4096);
    EXPECT_EQ(buffer, std::vector<char>(data.end() - 4096, data.end()));
}

TEST_F(PortOnPty, ConfigureDropsBytesStillInTheReceiveBuffer) {
    CSerialPortUnixBase& port = openPort();
    m_pty.send("abc");
    ASSERT_TRUE(WaitUntil([&] { return port.bytesAvailable() == 3; }));
    port.close();
    port.configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 100);
    EXPECT_EQ(port.bytesAvailable(), 0u);
    EXPECT_EQ(port.readBufferSize(), 100u);
}

TEST_F(PortOnPty, SecondOpenerIsRefusedUntilTheFirstCloses) {
    CSerialPortUnixBase& first = openPort();
    CSerialPortUnixBase second(std::make_shared<const PortNameTable>(""));
    second.configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    EXPECT_FALSE(second.open());
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastError(), ErrorAccessDenied);
    EXPECT_EQ(second.lastSystemError(), EBUSY); // "in use", told apart from EACCES
    EXPECT_EQ(first.write("still!", 6), 6);
    m_pty.receive(6);

    first.close();
    EXPECT_TRUE(second.open());
    second.close();
}

TEST_F(PortOnPty, OpenOnAnOpenPortFailsAndClosesIt) {
    CSerialPortUnixBase& port = openPort();
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastError(), ErrorOpenFailed);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.open());
    EXPECT_EQ(port.write("abcdef", 6), 6);
}

TEST_F(PortOnPty, WriteErrorCodeStaysUntilReset) {
    CSerialPortUnixBase port(std::make_shared<const PortNameTable>(""));
    port.configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    EXPECT_EQ(port.write("abcdef", 6), -1);
    EXPECT_EQ(port.lastError(), ErrorNotOpen);
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.write("abcdef", 6), 6);
    EXPECT_EQ(port.lastError(), ErrorNotOpen); // a success does not clear it
    port.resetError();
    EXPECT_EQ(port.lastError(), ErrorSuccess);
    EXPECT_EQ(port.readReserved(nullptr, 4), -1);
    EXPECT_EQ(port.lastError(), ErrorNotImplemented);
}

TEST_F(PortOnPty, FarEndGoneMakesWriteFail) {
    CSerialPortUnixBase& port = openPort();
    m_pty.closeMaster();
    EXPECT_EQ(port.write("abcdef", 6), -1);
    EXPECT_EQ(port.lastError(), ErrorWriteFailed);
    EXPECT_EQ(port.lastSystemError(), EIO);
    EXPECT_TRUE(port.isOpen());
    port.close(); // the receive thread, parked after the hang-up, still ends
    EXPECT_FALSE(port.isOpen());
}

// A hang-up under an open port with nothing being sent (the adapter pulled out) is told once, on the
// receive thread; a close of the port's own is not a hang-up.
TEST_F(PortOnPty, HangUpIsToldOnceAndCloseIsNot) {
    std::atomic<int> told{0};
    m_port = std::make_unique<CSerialPortUnixBase>(std::make_shared<const PortNameTable>(""));
    m_port->setLineLostHandler([&] { ++told; });
    m_port->configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
    ASSERT_TRUE(m_port->open());
    m_port->close();
    ASSERT_TRUE(m_port->open());
    EXPECT_EQ(told.load(), 0);
    m_pty.closeMaster();
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (told.load() == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(told.load(), 1);
    EXPECT_TRUE(m_port->isOpen());
    m_port->close();
    EXPECT_EQ(told.load(), 1);
}

TEST_F(PortOnPty, OpenCloseManyTimesWithTrafficLeavesNoThread) {
    CSerialPortUnixBase& port = openPort();
    port.close();
    std::jthread sender([&](std::stop_token stop) {
        const std::vector<char> chunk(64, 'x');
        while (!stop.stop_requested()) {
            m_pty.send(chunk);
            std::this_thread::sleep_for(100us);
        }
    });
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(port.open()) << i << ": " << port.lastErrorText();
        EXPECT_TRUE(ThreadsSettleAt(m_threadsBefore + 2)); // the receive thread and the sender
        EXPECT_EQ(port.write("abcdef", 6), 6);
        port.bytesAvailable();
        port.close();
        EXPECT_TRUE(ThreadsSettleAt(m_threadsBefore + 1));
    }
    sender.request_stop();
    sender.join();
}

TEST_F(PortOnPty, DestroyingAnOpenPortClosesIt) {
    {
        auto port = CreateSerialPort(PortNameTable(""));
        port->configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
        ASSERT_TRUE(port->open());
        m_pty.send("abc");
    }
    EXPECT_TRUE(ThreadsSettleAt(m_threadsBefore));
    // The device is free again.
    openPort();
}

TEST_F(PortOnPty, SynchronousModeReadsTheDeviceDirectly) {
    CSerialPortUnixBase& port = openPort({}, IoSynchronous);
    EXPECT_TRUE(ThreadsSettleAt(m_threadsBefore)); // no receive thread
    char buffer[16];
    EXPECT_EQ(port.read(buffer, 16), 0); // nothing there: returns at once
    m_pty.send("xyz");
    EXPECT_TRUE(WaitUntil([&] { return port.bytesAvailable() == 3; }));
    EXPECT_EQ(port.read(buffer, 16), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    EXPECT_EQ(port.write("abcdef", 6), 6);
    EXPECT_EQ(m_pty.receive(6).size(), 6u);
}

TEST_F(PortOnPty, RefusedSettingsFailTheOpen) {
    const struct {
        int baud;
        int parity;
        int dataBits;
        int stopBits;
    } cases[] = {
        {12345, ParityNone, 8, StopOne},  // no such rate
        {115200, 7, 8, StopOne},          // no such parity
        {115200, ParityNone, 9, StopOne}, // no such size
        {115200, ParityNone, 8, StopOneAndHalf},
        {115200, ParityNone, 5, StopTwo},
    };
    for (const auto& c : cases) {
        CSerialPortUnixBase port(std::make_shared<const PortNameTable>(""));
        port.configure(m_pty.slavePath().c_str(), c.baud, static_cast<Parity>(c.parity),
                       static_cast<DataBits>(c.dataBits), static_cast<StopBits>(c.stopBits), FlowNone, 4096);
        EXPECT_FALSE(port.open()) << c.baud << " " << c.parity << " " << c.dataBits << " " << c.stopBits;
        EXPECT_EQ(port.lastError(), ErrorInvalidParam);
        EXPECT_FALSE(port.isOpen());
    }
    // Nothing was left holding the device.
    openPort();
}

TEST_F(PortOnPty, SettersApplyOnlyWhatFits) {
    CSerialPortUnixBase& port = openPort();
    auto cflag = [&] { return m_pty.lineSettings().c_cflag; };
    auto iflag = [&] { return m_pty.lineSettings().c_iflag; };

    port.setStopBits(StopOneAndHalf); // 8 data bits: stored only
    EXPECT_EQ(port.stopBits(), StopOneAndHalf);
    EXPECT_EQ(cflag() & CSTOPB, 0u);
    port.setStopBits(StopTwo);
    EXPECT_NE(cflag() & CSTOPB, 0u);
    port.setStopBits(StopOne);
    EXPECT_EQ(cflag() & CSTOPB, 0u);

    // A pty keeps 8-bit characters without parity whatever it is asked (a UART takes them; the pairs
    // that fit are in the settings table test). The line reads back its own: the setter puts back what
    // was there instead of leaving it half changed, and keeps the value stored.
    port.setDataBits(DataBits5);
    port.setParity(ParityOdd);
    EXPECT_EQ(port.dataBits(), DataBits5);
    EXPECT_EQ(port.parity(), ParityOdd);
    EXPECT_EQ(cflag() & (CSIZE | PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(iflag() & INPCK, 0u);
    port.setStopBits(StopOneAndHalf); // fits the stored 5 data bits, but on 8 it would be two stop bits
    EXPECT_EQ(cflag() & CSTOPB, 0u);

    port.setFlowControl(FlowHardware);
    EXPECT_NE(cflag() & CRTSCTS, 0u);
    port.setFlowControl(FlowSoftware);
    EXPECT_EQ(cflag() & CRTSCTS, 0u);
    EXPECT_EQ(iflag() & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    port.setFlowControl(static_cast<FlowControl>(3)); // stored, nothing changed
    EXPECT_EQ(port.flowControl(), 3);
    EXPECT_EQ(iflag() & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    port.setBaudRate(9600);
    auto t = m_pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    port.setBaudRate(12345); // stored, the line keeps 9600
    EXPECT_EQ(port.baudRate(), 12345);
    t = m_pty.lineSettings();
    EXPECT_EQ(cfgetospeed(&t), B9600);

    port.setReadBufferSize(100); // open: stored, the ring keeps its size
    EXPECT_EQ(port.readBufferSize(), 100u);
    port.setDtr(true); // a pty has no modem lines; nothing breaks
    port.setRts(true);
    EXPECT_TRUE(port.discardInput());
    EXPECT_TRUE(port.discardOutput());
    EXPECT_TRUE(port.flush());
}

TEST_F(PortOnPty, ListenerIsToldAtOnceOrAfterTheQuietDelay) {
    Received received;
    RecordingListener listener(received);
    {
        m_port = std::make_unique<CSerialPortUnixBase>(std::make_shared<const PortNameTable>(""));
        m_port->setReceiveListener(&listener);
        m_port->setNotifyDelay(0);
        m_port->configure(m_pty.slavePath().c_str(), 115200, ParityNone, DataBits8, StopOne, FlowNone, 4096);
        ASSERT_TRUE(m_port->open());
        m_pty.send("12345");
        ASSERT_TRUE(WaitUntil([&] { return received.count() > 0 && m_port->bytesAvailable() == 5; }));
        char buffer[8];
        EXPECT_EQ(m_port->read(buffer, 8), 5);
        m_port->close();
        std::lock_guard<std::mutex> g(received.mutex);
        EXPECT_EQ(received.calls.front().first, m_pty.slavePath());
        EXPECT_EQ(received.calls.back().second, 5u);
        received.calls.clear();
    }
    // Deferred: one call once the line has been quiet, with the count then held.
    m_port->setNotifyDelay(30);
    ASSERT_TRUE(m_port->open());
    m_pty.send("abcdefgh");
    ASSERT_TRUE(WaitUntil([&] { return received.count() > 0; }));
    ASSERT_TRUE(WaitUntil([&] { return m_port->bytesAvailable() == 8; }));
    std::this_thread::sleep_for(100ms);
    {
        std::lock_guard<std::mutex> g(received.mutex);
        EXPECT_EQ(received.calls.back().second, 8u);
    }
    // A long delay still pending when the port goes: destruction does not wait for it and nobody is called.
    m_port->setNotifyDelay(60000);
    const size_t before = received.count();
    m_pty.send("z");
    ASSERT_TRUE(WaitUntil([&] { return m_port->bytesAvailable() == 9; }));
    const auto start = std::chrono::steady_clock::now();
    m_port.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(received.count(), before);
}

} // namespace

namespace {

// Closes the port from inside the notification, on the receive thread itself.
class ClosingListener : public ReceiveListener {
  public:
    CSerialPortBase* port = nullptr;
    void onDataReceived(const char*, unsigned) override { port->close(); }
};

TEST_F(PortOnPty, ListenerMayCloseThePort) {
    ClosingListener listener;
    CSerialPortUnixBase& port = openPort();
    port.close();
    listener.port = &port;
    port.setReceiveListener(&listener);
    port.setNotifyDelay(0);
    ASSERT_TRUE(port.open());
    m_pty.send("bye");
    EXPECT_TRUE(WaitUntil([&] { return !port.isOpen(); }));
    port.setReceiveListener(nullptr);
    EXPECT_TRUE(port.open()); // joins the thread that closed it
    EXPECT_EQ(port.write("again!", 6), 6);
}

} // namespace
