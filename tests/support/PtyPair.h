#pragma once

// The one pseudo-terminal of the tests: the master end stands for the controller (the far end of the
// line), the slave end for the port the code under test opens by name.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

struct PtyPair {
    struct Options {
        bool nonBlockingMaster = false;
        // Keeps a descriptor on the slave end as well, so that the test can drive the port's side itself
        // (tcflow, a backlog written into the input) and the master sees no hang-up between two opens.
        bool holdSlave = false;
    };

    int master = -1;
    int slave = -1; // open only with holdSlave
    std::string slaveName;
    int error = 0; // errno of the step that failed

    PtyPair() : PtyPair(Options{}) {}
    explicit PtyPair(Options options) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | (options.nonBlockingMaster ? O_NONBLOCK : 0));
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            error = errno;
            return;
        }
        slaveName = ::ptsname(master);
        // Raw, so that the bytes arrive as sent; the two ends share one set of line settings.
        termios t{};
        if (::tcgetattr(master, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(master, TCSANOW, &t);
        }
        if (options.holdSlave) {
            slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (slave < 0) {
                error = errno;
            }
        }
        m_holdSlave = options.holdSlave;
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) {
            ::close(slave);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void CloseMaster() {
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }
    bool ok() const { return master >= 0 && !slaveName.empty() && (!m_holdSlave || slave >= 0); }

    // A receiver that stopped reading: fills the master's input from the held slave end until the terminal
    // takes no more, so that the next write on the port's side has to wait. False when it can't.
    bool FillUntilStalled() const {
        if (slave < 0) {
            return false;
        }
        const int flags = ::fcntl(slave, F_GETFL);
        if (flags < 0 || ::fcntl(slave, F_SETFL, flags | O_NONBLOCK) != 0) {
            return false;
        }
        // The terminal moves what it holds on to the far end's line discipline in the background, which
        // makes room again: fill until a pause brings no more room.
        const std::vector<char> block(4096, 0x55);
        bool full = false;
        for (int round = 0; round < 100 && !full; ++round) {
            std::size_t took = 0;
            for (;;) {
                const ssize_t n = ::write(slave, block.data(), block.size());
                if (n < 0) {
                    break;
                }
                took += static_cast<std::size_t>(n);
            }
            if (errno != EAGAIN) {
                break;
            }
            full = round > 0 && took == 0;
            ::usleep(20000);
        }
        ::fcntl(slave, F_SETFL, flags);
        return full;
    }

    // Reads from the master until want bytes arrived or the port's side hung up; a 30-second silence
    // (a hang) ends it too.
    std::vector<std::uint8_t> ReadAll(std::size_t want) const {
        std::vector<std::uint8_t> got;
        std::uint8_t buf[256];
        while (got.size() < want) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 30000) <= 0) {
                break;
            }
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // Appends whatever the master end has within timeoutMs; false on hang-up or error.
    bool ReadSome(std::vector<unsigned char>& into, int timeoutMs) const {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return true;
        }
        unsigned char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        into.insert(into.end(), buffer, buffer + n);
        return true;
    }

  private:
    bool m_holdSlave = false;
};
