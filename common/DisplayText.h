#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text that comes from the system (file names, link targets, USB descriptor strings, program names) as a
// message or a terminal shows it: a newline as "\n", any other control character (C0 and DEL) and each
// byte that is not part of valid UTF-8 as "\xNN", a C1 control as "\uNNNN". Printing it can then neither
// break a line nor send the terminal an escape sequence. Any other text shows as it is. The result is UTF-8.
std::string DisplayText(std::string_view bytes);

// Length of the valid UTF-8 sequence at s[i..end) and its code point; 0 when the byte at i starts none
// (stray continuation byte, overlong form, encoded surrogate, beyond U+10FFFF, cut short). ASCII is 1.
int Utf8SequenceAt(const unsigned char* s, std::size_t i, std::size_t end, char32_t* cp);
