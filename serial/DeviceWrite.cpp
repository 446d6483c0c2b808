#include "DeviceWrite.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

int WriteToDevice(int fd, int wakeFd, const char* data, int size, Clock::time_point deadline, int& written) {
    written = 0;
    bool timedOut = false;
    while (written < size && !timedOut) {
        const ssize_t n = ::write(fd, data + written, static_cast<size_t>(size - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return errno;
        }
        // Output queue full (flow control or a slow line): wait for room or for close.
        pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, RemainingMs(deadline));
        if (ready == 0) {
            timedOut = true; // the line took nothing more before the deadline
            continue;
        }
        if (ready > 0 && fds[1].revents != 0) {
            return ECANCELED; // the port is being closed
        }
    }
    // Return only once the bytes are on the wire.
    if (!timedOut) {
        if (const int e = WaitForOutputSent(fd, wakeFd, deadline); e != ETIMEDOUT) {
            return e;
        }
    }
    // Time is up: what is still queued on this side is dropped and does not count as written. (A
    // pseudo-terminal queues nothing here: what it took already waits in the far end's input.)
    int pending = 0;
    if (::ioctl(fd, TIOCOUTQ, &pending) != 0 || pending < 0) {
        pending = 0;
    }
    if (pending > 0) {
        ::tcflush(fd, TCOFLUSH);
    }
    written = pending < written ? written - pending : 0;
    return ETIMEDOUT;
}

int WaitForOutputSent(int fd, int wakeFd, Clock::time_point deadline) {
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) != 0 || pending <= 0) {
            ::tcdrain(fd); // the last character leaving the shift register
            return 0;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            return ETIMEDOUT;
        }
        pollfd wake{wakeFd, POLLIN, 0};
        // A frame takes half a millisecond at 115200 baud: look again soon.
        if (::poll(&wake, 1, std::min(1, left)) > 0) {
            return ECANCELED;
        }
    }
}

void DiscardPending(int fd) {
    int pending = 0;
    // A line that can't tell its queue is purged whole.
    const bool queued = ::ioctl(fd, TIOCOUTQ, &pending) != 0 || pending > 0;
    ::tcflush(fd, queued ? TCIOFLUSH : TCIFLUSH);
}
