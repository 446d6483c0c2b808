#pragma once

#include "CSerialPortBase.h"
#include "PortNameTable.h"

#include <memory>

// The one place that picks the platform's port class.
std::unique_ptr<CSerialPortBase> CreateSerialPort(); // table from the environment
std::unique_ptr<CSerialPortBase> CreateSerialPort(PortNameTable table);
