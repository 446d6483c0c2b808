#include "LineSettings.h"

namespace {

struct BaudEntry {
    int rate;
    speed_t code;
};

// The rates termios can name. Others are refused at open (5) and ignored by setBaudRate.
constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool SetBaudRate(termios& tio, int rate) {
    for (const BaudEntry& e : kBaudRates) {
        if (e.rate == rate) {
            return ::cfsetispeed(&tio, e.code) == 0 && ::cfsetospeed(&tio, e.code) == 0;
        }
    }
    return false;
}

std::optional<int> BaudRateOf(const termios& tio) {
    const speed_t code = ::cfgetospeed(&tio);
    for (const BaudEntry& e : kBaudRates) {
        if (e.code == code) {
            return e.rate;
        }
    }
    return std::nullopt;
}

bool SetParity(termios& tio, Parity parity) {
    tcflag_t bits = 0;
    switch (parity) {
    case ParityNone:
        break;
    case ParityOdd:
        bits = PARENB | PARODD;
        break;
    case ParityEven:
        bits = PARENB;
        break;
    case ParityMark: // stick parity: PARODD with CMSPAR means the parity bit is always 1
        bits = PARENB | CMSPAR | PARODD;
        break;
    case ParitySpace:
        bits = PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    tio.c_cflag = (tio.c_cflag & ~(PARENB | PARODD | CMSPAR)) | bits;
    // Check received parity only when there is a parity bit.
    if (parity == ParityNone) {
        tio.c_iflag &= ~INPCK;
    } else {
        tio.c_iflag |= INPCK;
    }
    return true;
}

Parity ParityOf(const termios& tio) {
    if ((tio.c_cflag & PARENB) == 0) {
        return ParityNone;
    }
    const bool odd = (tio.c_cflag & PARODD) != 0;
    if ((tio.c_cflag & CMSPAR) != 0) {
        return odd ? ParityMark : ParitySpace;
    }
    return odd ? ParityOdd : ParityEven;
}

constexpr struct {
    DataBits bits;
    tcflag_t size;
} kCharacterSizes[] = {{DataBits5, CS5}, {DataBits6, CS6}, {DataBits7, CS7}, {DataBits8, CS8}};

bool SetDataBits(termios& tio, DataBits dataBits) {
    for (const auto& e : kCharacterSizes) {
        if (e.bits == dataBits) {
            tio.c_cflag = (tio.c_cflag & ~CSIZE) | e.size;
            return true;
        }
    }
    return false;
}

DataBits DataBitsOf(const termios& tio) {
    for (const auto& e : kCharacterSizes) {
        if (e.size == (tio.c_cflag & CSIZE)) {
            return e.bits;
        }
    }
    return DataBits8; // CSIZE is two bits: every value is in the table
}

bool SetStopBits(termios& tio, StopBits stopBits) {
    switch (stopBits) {
    case StopOne:
        tio.c_cflag &= ~CSTOPB;
        return true;
    case StopOneAndHalf: // CSTOPB with 5-bit characters
    case StopTwo:
        tio.c_cflag |= CSTOPB;
        return true;
    default:
        return false;
    }
}

StopBits StopBitsOf(const termios& tio) {
    if ((tio.c_cflag & CSTOPB) == 0) {
        return StopOne;
    }
    return (tio.c_cflag & CSIZE) == CS5 ? StopOneAndHalf : StopTwo;
}

constexpr tcflag_t kSoftwareFlow = IXON | IXOFF;

bool SetFlowControl(termios& tio, FlowControl flow) {
    switch (flow) {
    case FlowNone:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag &= ~(kSoftwareFlow | IXANY);
        return true;
    case FlowHardware:
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(kSoftwareFlow | IXANY);
        return true;
    case FlowSoftware:
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag = (tio.c_iflag & ~IXANY) | kSoftwareFlow;
        return true;
    default:
        return false;
    }
}

std::optional<FlowControl> FlowControlOf(const termios& tio) {
    const bool hardware = (tio.c_cflag & CRTSCTS) != 0;
    const tcflag_t software = tio.c_iflag & kSoftwareFlow;
    if (!hardware && software == 0) {
        return FlowNone;
    }
    if (hardware && software == 0) {
        return FlowHardware;
    }
    if (!hardware && software == kSoftwareFlow) {
        return FlowSoftware;
    }
    return std::nullopt;
}

} // namespace

bool StopBitsFit(StopBits stopBits, DataBits dataBits) {
    switch (stopBits) {
    case StopOneAndHalf:
        return dataBits == DataBits5;
    case StopTwo:
        return dataBits != DataBits5;
    default:
        return true;
    }
}

std::chrono::microseconds LineTime(const LineSettings& s, int size) {
    if (size <= 0 || s.baudRate <= 0) {
        return std::chrono::microseconds(0);
    }
    // In half bits, for 1.5 stop bits; a value outside its enumeration counts as the most it could be.
    const long long dataBits = s.dataBits >= DataBits5 && s.dataBits <= DataBits8 ? s.dataBits : DataBits8;
    const long long stopHalves = s.stopBits == StopOne ? 2 : s.stopBits == StopOneAndHalf ? 3 : 4;
    const long long halves = 2 + 2 * dataBits + (s.parity == ParityNone ? 0 : 2) + stopHalves;
    return std::chrono::microseconds(halves * size * 1000000LL / (2LL * s.baudRate) + 1);
}

void MakeRawLine(termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IGNPAR | PARMRK | INPCK | kSoftwareFlow | IXANY);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

std::optional<termios> ToTermios(const termios& tio, const LineSettings& s, unsigned fields) {
    termios out = tio;
    if ((fields & (FieldDataBits | FieldStopBits)) != 0 && !StopBitsFit(s.stopBits, s.dataBits)) {
        return std::nullopt;
    }
    if (((fields & FieldBaudRate) != 0 && !SetBaudRate(out, s.baudRate)) ||
        ((fields & FieldParity) != 0 && !SetParity(out, s.parity)) ||
        ((fields & FieldDataBits) != 0 && !SetDataBits(out, s.dataBits)) ||
        ((fields & FieldStopBits) != 0 && !SetStopBits(out, s.stopBits)) ||
        ((fields & FieldFlowControl) != 0 && !SetFlowControl(out, s.flowControl))) {
        return std::nullopt;
    }
    return out;
}

std::optional<LineSettings> FromTermios(const termios& tio) {
    const std::optional<int> rate = BaudRateOf(tio);
    const std::optional<FlowControl> flow = FlowControlOf(tio);
    if (!rate || !flow) {
        return std::nullopt;
    }
    return LineSettings{*rate, ParityOf(tio), DataBitsOf(tio), StopBitsOf(tio), *flow};
}

bool LineTook(const termios& now, const LineSettings& wanted, unsigned fields) {
    const std::optional<LineSettings> got = FromTermios(now);
    if (!got) {
        return false;
    }
    return ((fields & FieldBaudRate) == 0 || got->baudRate == wanted.baudRate) &&
           ((fields & FieldParity) == 0 || got->parity == wanted.parity) &&
           ((fields & FieldDataBits) == 0 || got->dataBits == wanted.dataBits) &&
           ((fields & FieldStopBits) == 0 || got->stopBits == wanted.stopBits) &&
           ((fields & FieldFlowControl) == 0 || got->flowControl == wanted.flowControl);
}
