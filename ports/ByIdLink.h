#pragma once

#include <string>

// The stable name udev gives a USB serial adapter: the link in /dev/serial/by-id that leads to
// devicePath ("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" for "/dev/ttyUSB0").
// Empty when there is none (a built-in UART, a pseudo-terminal, no such folder). Never opens the device.
std::string ByIdLinkFor(const std::string& devicePath);
// The same, looking in byIdDir (tests).
std::string ByIdLinkFor(const std::string& devicePath, const std::string& byIdDir);
