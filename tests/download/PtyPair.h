#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

// A raw pseudo-terminal: the master end stands for the controller, the slave end for the port.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slaveName;

    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            return;
        }
        slaveName = ptsname(master);
        slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        if (slave >= 0 && tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) {
            ::close(slave);
        }
    }
    void CloseMaster() {
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }
    bool ok() const { return master >= 0 && slave >= 0; }
};

// Reads from fd until want bytes arrived or the writer hung up; a 30-second silence (a hang) ends it too.
inline std::vector<std::uint8_t> ReadAll(int fd, std::size_t want) {
    std::vector<std::uint8_t> got;
    std::uint8_t buf[256];
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0) {
            break;
        }
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}
