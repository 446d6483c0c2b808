#include "PositionFormats.h"

#include "FileName.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("PositionFormats", text);
}

} // namespace

QString StepMarks(std::uint16_t mask) {
    QString marks;
    for (int s = 0; s < Recipe::kSteps; ++s) {
        marks += (mask >> s) & 1U ? QLatin1Char('#') : QLatin1Char('.');
    }
    return marks;
}

QString FormatPosition(int camera, int position, const Recipe::ChannelLevels& levels,
                       const Recipe::ChannelMasks& masks) {
    QString text = QStringLiteral("Camera %1, position %2\n").arg(camera).arg(position);
    text += QLatin1String("  Channel  Level  Steps 1..16\n");
    text += QLatin1String("                  1234567890123456\n");
    for (int k = 0; k < Recipe::kChannels; ++k) {
        const auto ki = static_cast<std::size_t>(k);
        const QString name = QStringLiteral("CH%1").arg((camera - 1) * Recipe::kChannels + k + 1);
        text += QLatin1String("  ") + name.leftJustified(9) + QString::number(levels[ki]).rightJustified(5) +
                QLatin1String("  ") + StepMarks(masks[ki]) + QLatin1Char('\n');
    }
    return text;
}

bool ParsePosition(const QString& text, Recipe::ChannelLevels* levels, Recipe::ChannelMasks* masks,
                   QString* error) {
    static const QRegularExpression heading(QStringLiteral(R"(^camera\s+\d+\s*,\s*position\s+\d+$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression columnHeads(QStringLiteral(R"(^channel\s+level\b)"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression channelName(QStringLiteral(R"(^(?:ch)?(\d{1,3})$)"),
                                                QRegularExpression::CaseInsensitiveOption);
    auto fail = [error](int line, const QString& what) {
        if (error != nullptr) {
            *error = Tr(QT_TRANSLATE_NOOP("PositionFormats", "Line %1: %2")).arg(line).arg(what);
        }
        return false;
    };

    if (text.size() > kMaxPositionTextLength) {
        if (error != nullptr) {
            *error = Tr(QT_TRANSLATE_NOOP("PositionFormats",
                                          "The text is %1 KiB long; a position's text is at most %2 KiB."))
                         .arg((text.size() + 1023) / 1024)
                         .arg(kMaxPositionTextLength / 1024);
        }
        return false;
    }
    Recipe::ChannelLevels readLevels{};
    Recipe::ChannelMasks readMasks{};
    std::array<int, Recipe::kChannels> seenOnLine{};
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || heading.match(line).hasMatch() || columnHeads.match(line).hasMatch() ||
            line == QLatin1String("1234567890123456")) {
            continue;
        }
        const QStringList fields = line.split(QRegularExpression(QStringLiteral(R"(\s+)")));
        if (fields.size() != 3) {
            return fail(lineNo,
                        Tr(QT_TRANSLATE_NOOP("PositionFormats",
                                             "expected a channel, a level and 16 steps, such as \"CH1  255  "
                                             "##..............\", not \"%1\"."))
                            .arg(DisplayExcerpt(line)));
        }
        const QRegularExpressionMatch name = channelName.match(fields[0]);
        const int number = name.hasMatch() ? name.captured(1).toInt() : 0;
        if (number < 1 || number > Recipe::kCameras * Recipe::kChannels) {
            return fail(lineNo,
                        Tr(QT_TRANSLATE_NOOP("PositionFormats", "\"%1\" is no channel (CH1 to CH24)."))
                            .arg(DisplayExcerpt(fields[0])));
        }
        const int channel = (number - 1) % Recipe::kChannels + 1;
        const auto ci = static_cast<std::size_t>(channel - 1);
        if (seenOnLine[ci] != 0) {
            return fail(lineNo, Tr(QT_TRANSLATE_NOOP("PositionFormats",
                                                     "channel %1 comes a second time (first on line %2)."))
                                    .arg(channel)
                                    .arg(seenOnLine[ci]));
        }
        bool isNumber = false;
        const int level = fields[1].toInt(&isNumber, 10);
        if (!isNumber || level < 1 || level > 255) {
            return fail(lineNo, Tr(QT_TRANSLATE_NOOP("PositionFormats",
                                                     "the level \"%1\" is not a number from 1 to 255."))
                                    .arg(DisplayExcerpt(fields[1])));
        }
        const QString& marks = fields[2];
        std::uint16_t mask = 0;
        bool marksOk = marks.size() == Recipe::kSteps;
        for (int s = 0; marksOk && s < Recipe::kSteps; ++s) {
            if (marks[s] == QLatin1Char('#')) {
                mask = static_cast<std::uint16_t>(mask | (1U << s));
            } else if (marks[s] != QLatin1Char('.')) {
                marksOk = false;
            }
        }
        if (!marksOk) {
            return fail(lineNo, Tr(QT_TRANSLATE_NOOP(
                                       "PositionFormats",
                                       "the steps \"%1\" are not 16 marks of '#' (lit) and '.' (dark)."))
                                    .arg(DisplayExcerpt(marks)));
        }
        seenOnLine[ci] = lineNo;
        readLevels[ci] = static_cast<std::uint8_t>(level);
        readMasks[ci] = mask;
    }
    for (int k = 0; k < Recipe::kChannels; ++k) {
        if (seenOnLine[static_cast<std::size_t>(k)] == 0) {
            if (error != nullptr) {
                *error = Tr(QT_TRANSLATE_NOOP(
                                "PositionFormats",
                                "Channel %1 is missing: the text needs one line for each of the 8 channels."))
                             .arg(k + 1);
            }
            return false;
        }
    }
    *levels = readLevels;
    *masks = readMasks;
    return true;
}

QByteArray PositionBytes(const Recipe::ChannelLevels& levels, const Recipe::ChannelMasks& masks) {
    QByteArray bytes;
    bytes.reserve(kPositionByteCount);
    for (std::uint8_t level : levels) {
        bytes.append(static_cast<char>(level));
    }
    for (std::uint16_t mask : masks) {
        bytes.append(static_cast<char>(mask & 0xFF));
        bytes.append(static_cast<char>(mask >> 8));
    }
    return bytes;
}

bool ParsePositionBytes(const QByteArray& bytes, Recipe::ChannelLevels* levels, Recipe::ChannelMasks* masks,
                        QString* error) {
    if (bytes.size() != kPositionByteCount) {
        return false;
    }
    auto byte = [&bytes](int i) { return static_cast<std::uint8_t>(bytes[i]); };
    for (int k = 0; k < Recipe::kChannels; ++k) {
        if (byte(k) == 0) {
            if (error != nullptr) {
                *error = Tr(QT_TRANSLATE_NOOP("PositionFormats",
                                              "Channel %1: the level 0 is not a number from 1 to 255."))
                             .arg(k + 1);
            }
            return false;
        }
    }
    for (int k = 0; k < Recipe::kChannels; ++k) {
        (*levels)[static_cast<std::size_t>(k)] = byte(k);
        (*masks)[static_cast<std::size_t>(k)] =
            static_cast<std::uint16_t>(byte(8 + 2 * k) | (byte(9 + 2 * k) << 8));
    }
    return true;
}
