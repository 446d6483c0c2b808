#pragma once

#include <string>
#include <string_view>

// How the line's failures are put before the operator, written once for the window and kavo-cli. Functions
// of the port's error code (PortError) and the errno captured with it; no port is needed.

// The port's error in words with the system's reason: "write failed error (Input/output error)"; the code's
// text alone when no errno was kept.
std::string PortErrorDescription(int portError, int systemError);

// True where errno says the device itself is gone (an unplugged adapter, a hung-up line: EIO, ENXIO,
// ENODEV): the port is of no more use until it is opened again.
bool PortDeviceGone(int systemError);

// Why a write or the wait for the frames to leave failed, in words a person reads: "the adapter was unplugged
// or the line hung up" for a device that is gone, "the line stopped draining: ..." for a write or wait whose
// deadline passed, otherwise the port's error in words.
std::string PortLineFailureText(int portError, int systemError);

// Why opening the port named name failed, as one sentence the operator can act on: not found, in use,
// permission denied (with the dialout hint), line settings refused, else the port's error in words. An empty
// name means no port was selected because none was found.
std::string PortOpenFailureText(std::string_view name, int portError, int systemError);
