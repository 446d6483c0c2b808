#include "DisplayText.h"

#include <cstdio>

int Utf8SequenceAt(const unsigned char* s, std::size_t i, std::size_t end, char32_t* cp) {
    const unsigned char b = s[i];
    int len = 0;
    char32_t min = 0;
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        *cp = b & 0x1FU;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        *cp = b & 0x0FU;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        *cp = b & 0x07U;
        min = 0x10000;
    } else {
        return 0;
    }
    if (end - i < static_cast<std::size_t>(len)) {
        return 0;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char c = s[i + static_cast<std::size_t>(k)];
        if ((c & 0xC0U) != 0x80U) {
            return 0;
        }
        *cp = (*cp << 6) | (c & 0x3FU);
    }
    if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

std::string DisplayText(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string shown;
    shown.reserve(n);
    char escape[8];
    for (std::size_t i = 0; i < n;) {
        char32_t cp = 0;
        const int len = Utf8SequenceAt(s, i, n, &cp);
        if (len == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(s[i]));
            shown += escape;
            ++i;
            continue;
        }
        if (cp == U'\n') {
            shown += "\\n";
        } else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(cp));
            shown += escape;
        } else if (cp >= 0x80 && cp <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(cp));
            shown += escape;
        } else {
            shown.append(bytes.substr(i, static_cast<std::size_t>(len)));
        }
        i += static_cast<std::size_t>(len);
    }
    return shown;
}
