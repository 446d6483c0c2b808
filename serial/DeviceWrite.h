#pragma once

#include <chrono>

// Writes size bytes to the tty fd and returns once they are on the wire (the last character out of the
// shift register). A full output queue (flow control, a slow line, a receiver that stopped reading) is
// waited out until deadline; then what this side still queues is dropped,
// written counts what had left, and the result is ETIMEDOUT. wakeFd becoming readable (the port is
// closing) ends a wait with ECANCELED.
// 0 with written == size, or the errno of the failure.
int WriteToDevice(int fd, int wakeFd, const char* data, int size,
                  std::chrono::steady_clock::time_point deadline, int& written);

// Waits until the tty's output queue is empty and its last character has left, at most until deadline.
// 0 when it emptied; ETIMEDOUT when bytes are still queued at the deadline (they stay queued); ECANCELED
// once wakeFd is readable (the port is closing).
int WaitForOutputSent(int fd, int wakeFd, std::chrono::steady_clock::time_point deadline);

// Drops the bytes received and the output still queued on this side of the line (an interrupted
// download). A pseudo-terminal queues nothing on this side: what was written already waits in the far
// end's input, where dropping it would lose bytes that were reported written, so it is left there.
void DiscardPending(int fd);
