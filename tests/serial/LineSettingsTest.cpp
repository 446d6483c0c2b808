// The translation of the line settings to termios and back, without a device.
#include "LineSettings.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const LineSettings& s, std::ostream* os) {
    *os << s.baudRate << " parity " << s.parity << " data " << s.dataBits << " stop " << s.stopBits
        << " flow " << s.flowControl;
}

namespace {

termios RawLine() {
    termios tio{};
    MakeRawLine(tio);
    return tio;
}

// Settings that differ from each other in every field, each pair of data and stop bits fitting.
const LineSettings kValid[] = {
    {115200, ParityNone, DataBits8, StopOne, FlowNone},
    {9600, ParityOdd, DataBits7, StopOne, FlowHardware},
    {50, ParityEven, DataBits6, StopTwo, FlowSoftware},
    {4000000, ParityMark, DataBits8, StopTwo, FlowNone},
    {1200, ParitySpace, DataBits5, StopOneAndHalf, FlowHardware},
    {300, ParityNone, DataBits5, StopOne, FlowSoftware},
};

// Written over a line that carries any other settings, every field comes back as written: nothing of
// the line before shows through.
TEST(LineSettings, EverySettingRoundTripsOverAnyOther) {
    for (const LineSettings& before : kValid) {
        const std::optional<termios> line = ToTermios(RawLine(), before, AllLineFields);
        ASSERT_TRUE(line.has_value()) << testing::PrintToString(before);
        for (const LineSettings& s : kValid) {
            SCOPED_TRACE(testing::PrintToString(before) + " -> " + testing::PrintToString(s));
            const std::optional<termios> tio = ToTermios(*line, s, AllLineFields);
            ASSERT_TRUE(tio.has_value());
            EXPECT_EQ(FromTermios(*tio), s);
            EXPECT_TRUE(LineTook(*tio, s, AllLineFields));
            // Received parity is checked exactly when there is a parity bit.
            EXPECT_EQ((tio->c_iflag & INPCK) != 0, s.parity != ParityNone);
        }
    }
}

TEST(LineSettings, TheBitsOnTheLine) {
    const auto tio =
        ToTermios(RawLine(), {115200, ParityMark, DataBits5, StopOneAndHalf, FlowSoftware}, AllLineFields);
    ASSERT_TRUE(tio.has_value());
    EXPECT_EQ(cfgetospeed(&*tio), B115200);
    EXPECT_EQ(cfgetispeed(&*tio), B115200);
    EXPECT_EQ(tio->c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(CS5 | PARENB | PARODD | CMSPAR | CSTOPB));
    EXPECT_EQ(tio->c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
}

// A change names its fields; the line keeps the others, even ones that could not be written.
TEST(LineSettings, OnlyTheNamedFieldsChange) {
    const LineSettings line = kValid[1];
    const auto tio = ToTermios(RawLine(), line, AllLineFields);
    ASSERT_TRUE(tio.has_value());
    LineSettings s = kValid[2];
    s.baudRate = 12345; // no termios form, but not named
    const auto changed = ToTermios(*tio, s, FieldParity | FieldFlowControl);
    ASSERT_TRUE(changed.has_value());
    LineSettings expected = line;
    expected.parity = s.parity;
    expected.flowControl = s.flowControl;
    EXPECT_EQ(FromTermios(*changed), expected);
}

TEST(LineSettings, RefusedValuesAndPairs) {
    const LineSettings ok = kValid[0];
    auto with = [&](auto edit) {
        LineSettings s = ok;
        edit(s);
        return s;
    };
    const struct {
        const char* what;
        LineSettings settings;
        unsigned fields;
    } cases[] = {
        {"a rate outside the table", with([](LineSettings& s) { s.baudRate = 12345; }), FieldBaudRate},
        {"rate 0", with([](LineSettings& s) { s.baudRate = 0; }), AllLineFields},
        {"parity 5", with([](LineSettings& s) { s.parity = static_cast<Parity>(5); }), FieldParity},
        {"4 data bits", with([](LineSettings& s) { s.dataBits = static_cast<DataBits>(4); }), FieldDataBits},
        {"9 data bits", with([](LineSettings& s) { s.dataBits = static_cast<DataBits>(9); }), AllLineFields},
        {"stop bits 3", with([](LineSettings& s) { s.stopBits = static_cast<StopBits>(3); }), FieldStopBits},
        {"flow control 3", with([](LineSettings& s) { s.flowControl = static_cast<FlowControl>(3); }),
         FieldFlowControl},
        // The pair is checked when either half of it is named, against the other as given.
        {"1.5 stop bits on 8 data bits", with([](LineSettings& s) { s.stopBits = StopOneAndHalf; }),
         FieldStopBits},
        {"8 data bits under 1.5 stop bits", with([](LineSettings& s) { s.stopBits = StopOneAndHalf; }),
         FieldDataBits},
        {"two stop bits on 5 data bits", with([](LineSettings& s) {
             s.dataBits = DataBits5;
             s.stopBits = StopTwo;
         }),
         AllLineFields},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ToTermios(RawLine(), c.settings, c.fields).has_value()) << c.what;
    }
    // A pair that does not fit stops neither the rate nor anything else from reaching the line.
    const LineSettings unfit = with([](LineSettings& s) { s.stopBits = StopOneAndHalf; });
    EXPECT_TRUE(ToTermios(RawLine(), unfit, FieldBaudRate | FieldParity | FieldFlowControl).has_value());
}

TEST(LineSettings, StopBitRule) {
    const StopBits stops[] = {StopOne, StopOneAndHalf, StopTwo};
    const DataBits sizes[] = {DataBits5, DataBits6, DataBits7, DataBits8};
    const bool fits[3][4] = {
        // 5     6      7      8 data bits
        {true, true, true, true},    // one stop bit
        {true, false, false, false}, // 1.5
        {false, true, true, true},   // two
    };
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(StopBitsFit(stops[i], sizes[j]), fits[i][j])
                << "stop " << stops[i] << " data " << sizes[j];
        }
    }
    // An unknown value is refused by its own field, not by the pair.
    EXPECT_TRUE(StopBitsFit(static_cast<StopBits>(3), DataBits5));
    EXPECT_TRUE(StopBitsFit(StopTwo, static_cast<DataBits>(9)));
    EXPECT_FALSE(StopBitsFit(StopOneAndHalf, static_cast<DataBits>(9)));
}

// What a driver leaves when it takes part of a change without an error.
TEST(LineSettings, ReadBackFindsWhatTheLineKept) {
    const LineSettings wanted = {115200, ParityOdd, DataBits5, StopOne, FlowHardware};
    const auto asked = ToTermios(RawLine(), wanted, AllLineFields);
    ASSERT_TRUE(asked.has_value());
    EXPECT_TRUE(LineTook(*asked, wanted, AllLineFields));

    termios kept = *asked; // a rate the driver can't make
    cfsetospeed(&kept, B9600);
    EXPECT_FALSE(LineTook(kept, wanted, AllLineFields));
    EXPECT_TRUE(LineTook(kept, wanted, AllLineFields & ~FieldBaudRate));

    kept = *asked; // a pseudo-terminal: always 8 bits, no parity
    kept.c_cflag = (kept.c_cflag & ~(CSIZE | PARENB)) | CS8;
    EXPECT_FALSE(LineTook(kept, wanted, FieldDataBits));
    EXPECT_FALSE(LineTook(kept, wanted, FieldParity));
    EXPECT_TRUE(LineTook(kept, wanted, FieldBaudRate | FieldStopBits | FieldFlowControl));

    kept = *asked; // 1.5 stop bits asked of a line that has 8-bit characters: it sends two
    kept.c_cflag = (kept.c_cflag & ~CSIZE) | CS8 | CSTOPB;
    EXPECT_FALSE(LineTook(kept, {115200, ParityOdd, DataBits5, StopOneAndHalf, FlowHardware}, FieldStopBits));

    kept = *asked; // flow control both ways at once is no setting at all
    kept.c_iflag |= IXON | IXOFF;
    EXPECT_EQ(FromTermios(kept), std::nullopt);
    EXPECT_FALSE(LineTook(kept, wanted, FieldFlowControl));
}

} // namespace
