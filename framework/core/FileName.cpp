#include "FileName.h"

#include "DisplayText.h"

namespace {

// Lone surrogates U+DC80..U+DCFF stand for the bytes 0x80..0xFF that are no part of valid UTF-8
// (ASCII bytes always are).
constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
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
        const int len = Utf8SequenceAt(s, static_cast<std::size_t>(i), static_cast<std::size_t>(n), &cp);
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
    const QByteArray native = EncodeFileName(name);
    return QString::fromStdString(
        DisplayText(std::string_view(native.constData(), static_cast<std::size_t>(native.size()))));
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
    return DisplayText(native);
}
