#include "SerialPortFactory.h"

#include "CSerialPortUnixBase.h"

std::unique_ptr<CSerialPortBase> CreateSerialPort(std::shared_ptr<const IPortResolver> names) {
    return std::make_unique<CSerialPortUnixBase>(std::move(names));
}
