#pragma once

#include "CSerialPortBase.h"

#include <chrono>
#include <optional>
#include <termios.h>

// The five line settings of a port, in the numbers of CSerialPortBase. A value outside its
// enumeration can be stored (the port keeps what it is told) but has no termios form.
struct LineSettings {
    int baudRate = 9600; // bits per second
    Parity parity = ParityNone;
    DataBits dataBits = DataBits8;
    StopBits stopBits = StopOne;
    FlowControl flowControl = FlowNone;

    bool operator==(const LineSettings&) const = default;
};

// How long size characters take on the wire with settings s: a start bit, the data bits, a parity bit
// when there is parity, and the stop bits each.
std::chrono::microseconds LineTime(const LineSettings& s, int size);

// Which of the settings a change carries; the line keeps the others as it has them.
enum LineField : unsigned {
    FieldBaudRate = 1u << 0,
    FieldParity = 1u << 1,
    FieldDataBits = 1u << 2,
    FieldStopBits = 1u << 3,
    FieldFlowControl = 1u << 4,
    AllLineFields = (1u << 5) - 1,
};

// A UART sends 1.5 stop bits for 5-bit characters when asked for two, so 1.5 goes with 5 data bits
// only and two with 6 to 8. Any other pair fits (an unknown value is refused by its own field).
bool StopBitsFit(StopBits stopBits, DataBits dataBits);

// Raw 8-bit line: no character translation, no echo, no signals, no software flow; modem control
// lines ignored; a read returns what is there. Hardware flow control is left as it is.
void MakeRawLine(termios& tio);

// tio with the fields named written from s, the rest of tio kept. std::nullopt when a named value
// has no termios form (a rate outside the table, an unknown enumeration value) or when data bits or
// stop bits are named and the pair in s does not fit.
std::optional<termios> ToTermios(const termios& tio, const LineSettings& s, unsigned fields);

// The settings tio describes. std::nullopt when it holds what no setting describes: a rate outside
// the table, or flow control that is neither none, hardware nor XON/XOFF both ways.
std::optional<LineSettings> FromTermios(const termios& tio);

// True when the line, read back as now, carries every field named as wanted has it. A driver takes
// what it can without an error and keeps its own value for the rest (a rate it can't make, parity or
// a character size a pseudo-terminal does not have).
bool LineTook(const termios& now, const LineSettings& wanted, unsigned fields);
