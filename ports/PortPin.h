#pragma once

#include "PortNameTable.h"

#include <optional>
#include <string>

// "Keep this adapter's name": the port folder entry COMn becomes a link to the adapter's
// /dev/serial/by-id path, which names the adapter itself (vendor, product, serial number) rather than the
// socket or the order of plugging, so the name survives re-plugging.

// Makes the entry name a link to target, replacing a link that was there (atomically: a link made beside
// it, then renamed over it). False with error set when name is no port name, the entry is something other
// than a link, or the folder can't be written.
bool PinPortName(const PortNameTable& table, const std::string& name, const std::string& target,
                 std::string& error);
// Removes the pin name from the port folder. Only a pin is removed: a link to a /dev/serial/by-id/ path (what
// PinPortName writes). Anything else there (a virtual controller's entry, the user's own link elsewhere, a
// file) is left as it is: false with error naming what it is, as when there is no entry.
bool UnpinPortName(const PortNameTable& table, const std::string& name, std::string& error);
// True when target is where a pin leads: an entry of the by-id folder (<devRoot>/serial/by-id/NAME).
bool IsPinTarget(const PortNameTable& table, const std::string& target);
// The device a pin is asked for, as given: a present port name (COM33), a kernel name (ttyUSB0, no '/') or
// an absolute path under the device folder (/dev/ttyUSB0) with no "." or ".." in it. std::nullopt with error
// set for anything else (a relative path, a path outside /dev, a name that is not present).
std::optional<std::string> PinDevicePath(const PortNameTable& table, const std::string& given,
                                         std::string& error);
// The target of the entry name when it is a link, empty otherwise.
std::string PinnedTarget(const PortNameTable& table, const std::string& name);
