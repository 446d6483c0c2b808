#pragma once

#include "CSerialPortBase.h"
#include "IPortResolver.h"

#include <concepts>
#include <memory>

// The one place that picks the platform's port class. The port asks names for the device of a port name
// at each open; it shares names with the caller.
std::unique_ptr<CSerialPortBase> CreateSerialPort(std::shared_ptr<const IPortResolver> names);

// The same with the port's own copy of names (a port name table passed by value).
template <std::derived_from<IPortResolver> Names>
std::unique_ptr<CSerialPortBase> CreateSerialPort(Names names) {
    return CreateSerialPort(std::make_shared<const Names>(std::move(names)));
}
