#include "PortWording.h"

#include "CSerialPortBase.h"
#include "TextCatalogue.h"

#include <cerrno>
#include <system_error>

std::string PortErrorDescription(int portError, int systemError) {
    std::string text = TranslateText("PortError", PortErrorText(portError));
    if (systemError != 0) {
        // std::generic_category().message is strerror's text without strerror's shared buffer: the download
        // worker asks for it on its own thread.
        text += " (" + std::generic_category().message(systemError) + ")";
    }
    return text;
}

bool PortDeviceGone(int systemError) {
    return systemError == EIO || systemError == ENXIO || systemError == ENODEV;
}

std::string PortLineFailureText(int portError, int systemError) {
    if (PortDeviceGone(systemError)) {
        return KAVO_TR("PortWording", "the adapter was unplugged or the line hung up");
    }
    if (portError == ErrorTimeout) {
        return KAVO_TR("PortWording",
                       "the line stopped draining: the controller or the adapter is not taking the data");
    }
    return PortErrorDescription(portError, systemError);
}

std::string PortOpenFailureText(std::string_view name, int portError, int systemError) {
    if (name.empty()) {
        return KAVO_TR("PortWording", "No serial port is selected: no port was found on this computer.");
    }
    const std::string port(name);
    const int e = systemError;
    if (portError == ErrorNotExist || e == ENOENT || e == ENODEV || e == ENXIO) {
        return FillText(KAVO_TR("PortWording", "%1 was not found: the adapter may be unplugged."), {port});
    }
    if (e == EBUSY) {
        return FillText(KAVO_TR("PortWording", "%1 is in use by another program."), {port});
    }
    if (e == EACCES || e == EPERM) {
        return FillText(KAVO_TR("PortWording", "Permission denied for %1: add the user to the dialout group "
                                               "(sudo usermod -aG dialout $USER) and log in again."),
                        {port});
    }
    if (portError == ErrorInvalidParam) {
        return FillText(
            KAVO_TR("PortWording",
                    "%1 refused the line settings (115200 baud, 8 data bits, no parity, 1 stop bit)."),
            {port});
    }
    return FillText(KAVO_TR("PortWording", "%1 could not be opened: %2."),
                    {port, PortErrorDescription(portError, systemError)});
}
