#pragma once

#include "CSerialPortBase.h"
#include "IPortResolver.h"
#include "LineSettings.h"
#include "RingBuffer.h"

#include <atomic>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

// CSerialPortBase over a POSIX tty (termios). A name beginning with '/' is taken as a device path; any other
// name (COMn) is asked of the resolver at each open, and the whole name is used.
//
// Open is exclusive (flock, then TIOCEXCL) and puts the line in raw 8-bit mode with the stored settings.
// In IoAsynchronous mode a receive thread sleeps in poll() on the device and on an eventfd; it moves all
// queued bytes into the ring buffer under the port lock. close() wakes it through the eventfd and joins it,
// so nothing touches the device, the ring buffer or the port once close returns.
//
// The settings' termios form lives in LineSettings (one translation for open and every setter, read back
// each time), the receive thread's loop in ReceiveLoop, and the wait for bytes to reach the wire in
// DeviceWrite.
class CSerialPortUnixBase : public CSerialPortBase {
  public:
    static constexpr int kDefaultBaudRate = 9600;
    static constexpr unsigned kDefaultReadBufferSize = 4096;
    // Synchronous writes give up after this per byte, plus the constant.
    static constexpr unsigned kSyncWriteMsPerByte = 100;
    static constexpr unsigned kSyncWriteMsConstant = 500;

    // names: the port name table, shared; without one only device paths open.
    explicit CSerialPortUnixBase(std::shared_ptr<const IPortResolver> names);
    // Closes the port first when it is still open.
    ~CSerialPortUnixBase() override;

    void configure(const char* portName, int baudRate, Parity parity, DataBits dataBits, StopBits stopBits,
                   FlowControl flowControl, unsigned readBufferSize) override;
    bool open() override;
    void close() override;
    bool isOpen() const override;

    unsigned bytesAvailable() override;
    int read(char* buffer, int size) override;
    int readAll(char* buffer) override;
    int readReserved(char* buffer, int size) override;
    int write(const char* data, int size) override;
    void reservedOption(int value) override;
    // Reads what the device holds now, without waiting: bytes read, 0 when none, -1 with 14 or 18.
    virtual int readDevice(char* buffer, int size);

    void setNotifyDelay(unsigned milliseconds) override;
    void setNotifyThreshold(unsigned bytes) override;

    bool flush() override;
    bool waitForSent(unsigned milliseconds) override;
    bool discardInput() override;
    bool discardOutput() override;

    void setPortName(const char* name) override;
    const char* portName() const override;
    void setBaudRate(int baudRate) override;
    int baudRate() const override;
    void setParity(Parity parity) override;
    Parity parity() const override;
    void setDataBits(DataBits dataBits) override;
    DataBits dataBits() const override;
    void setStopBits(StopBits stopBits) override;
    StopBits stopBits() const override;
    void setFlowControl(FlowControl flowControl) override;
    FlowControl flowControl() const override;
    void setReadBufferSize(unsigned size) override;
    unsigned readBufferSize() const override;
    void setDtr(bool on) override;
    void setRts(bool on) override;

    // The device path the name maps to now, std::nullopt when no device has that name.
    std::optional<std::string> resolveDevice() const;

  private:
    bool failOpen(PortError code, int systemError);
    // Puts the stored settings named by fields on the line, the others as the line has them (on a raw
    // line first with rawLine), and reads them back. Taken whole or not at all: 0 when the line took
    // them, otherwise the errno (EINVAL for a value or pair refused, or a line that kept its own) with
    // the line as it was.
    int applySettings(int fd, unsigned fields, bool rawLine = false);
    // Stores value in m_line, then applySettings when open. The result is not reported.
    template <typename T> void setLineField(T LineSettings::*field, T value, LineField which);
    void receiveLoop(std::stop_token stop, int fd, int wakeFd, std::string portName);

    std::shared_ptr<const IPortResolver> m_names;
    std::string m_portName;
    LineSettings m_line{kDefaultBaudRate, ParityNone, DataBits8, StopOne, FlowNone}; // as stored, unchecked
    unsigned m_readBufferSize = kDefaultReadBufferSize;

    std::atomic<int> m_fd{-1};                     // valid exactly while open
    int m_wakeFd = -1;                             // eventfd: readable once close has begun; lives with m_fd
    IoMode m_openMode = IoAsynchronous;            // the mode in force, fixed at open
    std::jthread m_receiveThread;                  // stopped and woken by close
    std::unique_ptr<Buffer<char>> m_receiveBuffer; // guarded by m_lock
};
