#include "VirtualTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

VirtualTerminal::~VirtualTerminal() {
    Close();
}

void VirtualTerminal::Close() {
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_device.clear();
}

bool VirtualTerminal::Open(std::string* error) {
    Close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    const char* device = ::ptsname(m_master);
    if (device == nullptr) {
        *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    m_device = device;
    m_slave = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        *error = "cannot open " + m_device + ": " + std::strerror(errno);
        Close();
        return false;
    }
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    return true;
}
