#pragma once

#include <string>

// The virtual controller's line: a pseudo-terminal whose master end the controller reads and whose slave end
// (/dev/pts/N) a port opens like a serial device. The line is raw at 115200 baud. A slave descriptor of its
// own is held open, so that the master does not read EIO whenever the sender closes its port. Both ends are
// closed with the object.
class VirtualTerminal {
  public:
    VirtualTerminal() = default;
    ~VirtualTerminal();
    VirtualTerminal(const VirtualTerminal&) = delete;
    VirtualTerminal& operator=(const VirtualTerminal&) = delete;

    // Makes the terminal; false with the reason in *error.
    bool Open(std::string* error);

    // The master end, non-blocking; -1 until opened.
    int MasterFd() const { return m_master; }
    // The slave end's path, what the port entry leads to.
    const std::string& Device() const { return m_device; }

  private:
    void Close();

    int m_master = -1;
    int m_slave = -1;
    std::string m_device;
};
