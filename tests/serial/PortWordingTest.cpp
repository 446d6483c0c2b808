// The operator's words for a failure of the line, as functions of the port's error code and errno.
#include "PortWording.h"
#include "CSerialPortBase.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

TEST(PortWording, OpenFailureSaysWhatTheOperatorCanDo) {
    const std::string dialout =
        ": add the user to the dialout group (sudo usermod -aG dialout $USER) and log in again.";
    const struct {
        const char* name;
        int code;
        int systemError;
        std::string text;
    } cases[] = {
        {"", ErrorNotExist, ENOENT, "No serial port is selected: no port was found on this computer."},
        {"COM7", ErrorNotExist, 0, "COM7 was not found: the adapter may be unplugged."},
        {"COM7", ErrorOpenFailed, ENXIO, "COM7 was not found: the adapter may be unplugged."},
        {"COM7", ErrorOpenFailed, ENODEV, "COM7 was not found: the adapter may be unplugged."},
        {"COM10", ErrorAccessDenied, EBUSY, "COM10 is in use by another program."},
        {"COM5", ErrorAccessDenied, EACCES, "Permission denied for COM5" + dialout},
        {"COM5", ErrorAccessDenied, EPERM, "Permission denied for COM5" + dialout},
        {"COM3", ErrorInvalidParam, EINVAL,
         "COM3 refused the line settings (115200 baud, 8 data bits, no parity, 1 stop bit)."},
        {"COM3", ErrorOpenFailed, EIO, "COM3 could not be opened: open failed error (Input/output error)."},
        {"COM3", ErrorInternal, 0, "COM3 could not be opened: innet error."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.code) + " " +
                     std::to_string(c.systemError));
        EXPECT_EQ(PortOpenFailureText(c.name, c.code, c.systemError), c.text);
    }
}

TEST(PortWording, ErrorDescriptionAddsTheSystemsReason) {
    EXPECT_EQ(PortErrorDescription(ErrorWriteFailed, EIO), "write failed error (Input/output error)");
    EXPECT_EQ(PortErrorDescription(ErrorNotOpen, 0), "not open error");
    EXPECT_EQ(PortErrorDescription(42, 0), "undefined error code");
}

// A failed write in words a person reads: a device that is gone says so; anything else keeps the port's error
// with the system's reason.
TEST(PortWording, LineFailureSaysWhenTheDeviceIsGone) {
    struct Case {
        int systemError;
        bool gone;
        std::string text;
    };
    const std::vector<Case> cases = {
        {EIO, true, "the adapter was unplugged or the line hung up"},
        {ENXIO, true, "the adapter was unplugged or the line hung up"},
        {ENODEV, true, "the adapter was unplugged or the line hung up"},
        {EAGAIN, false, PortErrorDescription(ErrorWriteFailed, EAGAIN)},
        {0, false, PortErrorDescription(ErrorWriteFailed, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortDeviceGone(c.systemError), c.gone) << c.systemError;
        EXPECT_EQ(PortLineFailureText(ErrorWriteFailed, c.systemError), c.text) << c.systemError;
    }
}

} // namespace
