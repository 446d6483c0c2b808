#pragma once

#include <atomic>
#include <functional>
#include <stop_token>

// Moves up to queued bytes out of the device, chunk having room for them; true when any were stored.
using ReceiveTake = std::function<bool(char* chunk, int queued)>;

// The receive thread of an open port. Sleeps in poll() on the device fd and on wakeFd (an eventfd that
// becomes readable once close has begun) and ends then, or on a stop request. Whenever the device
// holds at least threshold bytes (read anew each time) it hands them all to take in one call.
// A hang-up with nothing queued (an adapter unplugged, the far end of a pty gone) parks the device until
// close; hungUp is called then, once. Nothing thrown leaves the thread: failed is called and the device is
// parked.
void RunReceiveLoop(int fd, int wakeFd, std::stop_token stop, const std::atomic<unsigned>& threshold,
                    const ReceiveTake& take, const std::function<void()>& failed,
                    const std::function<void()>& hungUp = {});
