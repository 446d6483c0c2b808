#include "FileName.h"

namespace {

// Lone surrogates U+DC80..U+DCFF stand for the bytes 0x80..0xFF that are no part of valid UTF-8
// (ASCII bytes always are).
constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at s[i..end) and its code point; 0 when the byte at i starts none
// (stray continuation byte, overlong form, encoded surrogate, beyond U+10FFFF, cut short).
int Utf8Sequence(const unsigned char* s, qsizetype i, qsizetype end, char32_t* cp) {
    const unsigned char b = s[i];
    int len = 0;
    char32_t min = 0;
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
    if (end - i < len) {
        return 0;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char c = s[i + k];
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

void AppendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

QString DecodeFileName(const QByteArray& native) {
    const auto* s = reinterpret_cast<const unsigned char*>(native.constData());
    const qsizetype n = native.size();
    QString name;
    name.reserve(n);
    for (qsizetype i = 0; i < n;) {
        if (s[i] < 0x80) {
            name += QChar(static_cast<char16_t>(s[i]));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int len = Utf8Sequence(s, i, n, &cp);
        if (len == 0) {
            name += QChar(static_cast<char16_t>(kEscapedByteBase + s[i]));
            ++i;
            continue;
        }
        const char32_t one[1] = {cp};
        name += QString::fromUcs4(one, 1);
        i += len;
    }
    return name;
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray native;
    native.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            AppendUtf8(native, QChar::surrogateToUcs4(c, name.at(i + 1).unicode()));
            ++i;
        } else if (IsEscapedByte(c)) {
            native += static_cast<char>(c - kEscapedByteBase);
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(native, 0xFFFD); // no byte stands behind it
        } else {
            AppendUtf8(native, c);
        }
    }
    return native;
}

QStringList DecodeArguments(int argc, const char* const* argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << DecodeFileName(QByteArray(argv[i]));
    }
    return args;
}

QString DisplayFileName(const QString& name) {
    QString shown;
    shown.reserve(name.size());
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        if (c == u'\n') {
            shown += QLatin1String("\\n");
        } else if (c < 0x20 || c == 0x7F) {
            shown += QStringLiteral("\\x%1").arg(static_cast<unsigned>(c), 2, 16, QLatin1Char('0'));
        } else if (IsEscapedByte(c)) {
            shown += QStringLiteral("\\x%1").arg(static_cast<unsigned>(c - kEscapedByteBase), 2, 16,
                                                 QLatin1Char('0'));
        } else if (c >= 0x80 && c <= 0x9F) {
            shown += QStringLiteral("\\u%1").arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0'));
        } else {
            shown += ch;
        }
    }
    return shown;
}

QString DisplayExcerpt(const QString& text, int maxChars) {
    if (text.size() <= maxChars) {
        QString shown = DisplayFileName(text);
        if (shown.size() <= maxChars) {
            return shown;
        }
    }
    // Escaping only lengthens: what does not fit is cut at a whole character (a surrogate pair or an
    // escape stays whole), leaving room for the mark.
    QString shown;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QString piece = DisplayFileName(text.mid(i, n));
        if (shown.size() + piece.size() > maxChars - 1) {
            break;
        }
        shown += piece;
        i += n;
    }
    return shown + QChar(0x2026);
}

std::string DisplayFileName(std::string_view native) {
    return DisplayFileName(DecodeFileName(QByteArray(native.data(), static_cast<qsizetype>(native.size()))))
        .toStdString();
}
