#pragma once

#include <poll.h>

// An open port keeps an eventfd that becomes readable once close has begun; every wait on the device
// also waits on it, so that close never waits for a line that stays silent or stalled.

// Sleeps up to ms milliseconds, less once wakeFd is readable.
inline void NapUnlessWoken(int wakeFd, int ms) {
    pollfd p{wakeFd, POLLIN, 0};
    ::poll(&p, 1, ms);
}
