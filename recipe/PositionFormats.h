#pragma once

#include "Recipe.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The two forms in which one camera and position (8 levels, 8 masks) leaves the program and comes back:
// the text that kavo-cli show prints and a person can read and edit, and 24 exact bytes.

// Step 1 first: '#' where the channel is lit in that step, '.' where it is dark.
QString StepMarks(std::uint16_t mask);

// One camera and position (1-based) as kavo-cli show prints it: its heading, the column heads and one line
// per channel, each line ending in a newline. Channels are numbered across the cameras as the pattern view
// labels them (camera 2 holds CH9..CH16).
QString FormatPosition(int camera, int position, const Recipe::ChannelLevels& levels,
                       const Recipe::ChannelMasks& masks);

// The longest text ParsePosition reads, in characters: FormatPosition writes about 300, and a hand-edited
// text with comments and spacing stays far below this. Anything longer is refused unread.
inline constexpr int kMaxPositionTextLength = 64 * 1024;

// Reads the text of FormatPosition back, as edited by a person: the heading, the column heads and blank
// lines may go; each channel line is "CHn LEVEL MARKS" (or "n LEVEL MARKS"), LEVEL 1..255, MARKS 16 of
// '#' and '.'; CHn of any camera stands for channel (n - 1) % 8 + 1, and each of the 8 channels comes once.
// False with a message naming the line and what is wrong in *error; then nothing is written. The message
// quotes the input only as a short escaped excerpt; a text over kMaxPositionTextLength is refused as a whole.
bool ParsePosition(const QString& text, Recipe::ChannelLevels* levels, Recipe::ChannelMasks* masks,
                   QString* error);

// The exact form: 8 levels (channel 1 first), then 8 masks as 16-bit little-endian words, as in the file.
inline constexpr int kPositionByteCount = 24;
QByteArray PositionBytes(const Recipe::ChannelLevels& levels, const Recipe::ChannelMasks& masks);
// False (nothing written) unless bytes holds exactly 24 bytes with every level from 1 to 255, as the text
// form takes them. A level 0 is named in *error (when given); bytes of another size leave it empty.
bool ParsePositionBytes(const QByteArray& bytes, Recipe::ChannelLevels* levels, Recipe::ChannelMasks* masks,
                        QString* error = nullptr);
