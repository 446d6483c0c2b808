#pragma once

#include <chrono>
#include <optional>

// Writes size bytes to the tty fd and returns once they are on the wire (the last character out of the
// shift register). A full output queue (flow control, a slow line) is waited out, without limit or
// until deadline; at the deadline what is still queued is dropped and does not count as written.
// wakeFd becoming readable (the port is closing) ends a wait for room with ECANCELED.
// 0 with written set, or the errno of the failure.
int WriteToDevice(int fd, int wakeFd, const char* data, int size,
                  std::optional<std::chrono::steady_clock::time_point> deadline, int& written);
