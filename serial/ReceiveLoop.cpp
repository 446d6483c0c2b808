#include "ReceiveLoop.h"

#include "WakeFd.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <vector>

void RunReceiveLoop(int fd, int wakeFd, std::stop_token stop, const std::atomic<unsigned>& threshold,
                    const ReceiveTake& take, const std::function<void()>& failed,
                    const std::function<void()>& hungUp) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    std::vector<char> chunk; // grows to the largest queue seen, then is reused
    while (!stop.stop_requested()) {
        try {
            fds[0].revents = 0;
            fds[1].revents = 0;
            const int ready = ::poll(fds, 2, -1);
            if (ready < 0) {
                if (errno != EINTR) {
                    NapUnlessWoken(wakeFd, 10);
                }
                continue;
            }
            if (fds[1].revents != 0) {
                break; // close has begun
            }
            if (fds[0].revents == 0) {
                continue;
            }
            int queued = 0;
            if (::ioctl(fd, FIONREAD, &queued) != 0) {
                queued = 0;
            }
            if (queued > 0 && static_cast<unsigned>(queued) >= threshold.load()) {
                if (chunk.size() < static_cast<size_t>(queued)) {
                    chunk.resize(queued);
                }
                if (take(chunk.data(), queued)) {
                    continue;
                }
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && queued == 0) {
                // Nothing will come: sleep until close instead of waking for the hang-up again and again.
                fds[0].fd = -1;
                if (hungUp) {
                    hungUp();
                }
                continue;
            }
            // Readable but fewer bytes than the threshold (or none after all): look again a little later
            // rather than spin on a level that stays readable.
            NapUnlessWoken(wakeFd, 10);
        } catch (...) {
            // Out of memory for the chunk, a timer thread that can't start, a listener that throws.
            failed();
            fds[0].fd = -1;
        }
    }
}
