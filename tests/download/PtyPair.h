#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

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
