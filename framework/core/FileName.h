#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

// File names as the system keeps them: bytes, UTF-8 by convention but not by rule. A name that is not
// valid UTF-8 must still open, save and show, so it is decoded without loss: each byte that is no part
// of a valid UTF-8 sequence becomes the lone surrogate U+DC80 + (byte - 0x80), and encoding turns such
// a surrogate back into its byte. (QFile::decodeName and encodeName replace those bytes by U+FFFD, after
// which the name is a different one.) Every path that reaches the file system goes through
// EncodeFileName; every path that comes from it (argv, a directory entry) through DecodeFileName.
QString DecodeFileName(const QByteArray& native);
QByteArray EncodeFileName(const QString& name);

// argv[0] .. argv[argc - 1] decoded like file names, so that a path on the command line reaches the file
// system byte for byte (QCoreApplication::arguments() would not).
QStringList DecodeArguments(int argc, const char* const* argv);

// A file name as a message or a terminal shows it (DisplayText.h): a newline as "\n", any other control
// character (C0 and DEL) and each byte that is not UTF-8 as "\xNN", a C1 control as "\uNNNN": printing a
// name can then neither break a line nor send the terminal an escape sequence. Any other name shows as it is.
QString DisplayFileName(const QString& name);
// A piece of input quoted in a message (a pasted line, a field of it): escaped as DisplayFileName does and
// cut to at most maxChars characters of the escaped form, a trailing "…" marking the cut. A quote of
// untrusted input can then neither break the message's lines nor make the box taller than the screen.
QString DisplayExcerpt(const QString& text, int maxChars = 60);
// The same for a native name (bytes) as the serial layer keeps it; the result is UTF-8.
std::string DisplayFileName(std::string_view native);
