#pragma once

#include "PortNameTable.h"

#include <string>

// "Keep this adapter's name": the port folder entry COMn becomes a link to the adapter's
// /dev/serial/by-id path, which names the adapter itself (vendor, product, serial number) rather than the
// socket or the order of plugging, so the name survives re-plugging.

// Makes the entry name a link to target, replacing a link that was there (atomically: a link made beside
// it, then renamed over it). False with error set when name is no port name, the entry is something other
// than a link, or the folder can't be written.
bool PinPortName(const PortNameTable& table, const std::string& name, const std::string& target,
                 std::string& error);
// Removes the link name from the port folder. False with error set when there is no such link.
bool UnpinPortName(const PortNameTable& table, const std::string& name, std::string& error);
// The target of the entry name when it is a link, empty otherwise.
std::string PinnedTarget(const PortNameTable& table, const std::string& name);
