#include "SerialPortFactory.h"

#include "CSerialPortUnixBase.h"

std::unique_ptr<CSerialPortBase> CreateSerialPort() {
    return CreateSerialPort(PortNameTable::FromEnvironment());
}

std::unique_ptr<CSerialPortBase> CreateSerialPort(PortNameTable table) {
    return std::make_unique<CSerialPortUnixBase>(std::move(table));
}
