#include "TextForms.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QDate DateTimeEpoch(1899, 12, 30);
constexpr qint64 MsecsPerDay = 86'400'000;
// The whole days a date-time can hold: 1 January 0001 to 31 December 9999.
constexpr double FirstDay = -693593;
constexpr double LastDay = 2958465;

std::optional<qint64> ParseDigits(QStringView digits, int base) {
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        const int digit = c.isDigit()              ? c.digitValue()
                          : (c >= 'a' && c <= 'f') ? c.unicode() - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c.unicode() - 'A' + 10
                                                   : 99;
        if (digit >= base || c.unicode() > 127)
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFF'FFFFLL)
            return std::nullopt;
    }
    return value;
}

} // namespace

// ---- Text forms of stored values

std::optional<qint32> ParseIntegerText(const QString& text) {
    QStringView rest(text);
    while (!rest.isEmpty() && rest.front() == ' ')
        rest = rest.mid(1);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest = rest.mid(1);
    }
    std::optional<qint64> magnitude;
    bool hex = false;
    if (rest.startsWith('$')) {
        hex = true;
        magnitude = ParseDigits(rest.mid(1), 16);
    } else if (text.size() > 2 && (rest.startsWith(u"0x") || rest.startsWith(u"0X"))) {
        hex = true;
        magnitude = ParseDigits(rest.mid(2), 16);
    } else {
        magnitude = ParseDigits(rest, 10);
    }
    if (!magnitude)
        return std::nullopt;
    qint64 value = negative ? -*magnitude : *magnitude;
    // Hexadecimal texts take the 32-bit pattern ("$FFFFFFFF" is -1), decimal ones must fit.
    if (hex && value > 0x7FFF'FFFFLL && value <= 0xFFFF'FFFFLL)
        value -= 0x1'0000'0000LL;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(value);
}

bool FlagFromText(const QString& text, bool defaultValue) {
    const auto number = ParseIntegerText(text);
    return number ? *number != 0 : defaultValue;
}

QString FlagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString FloatText(double value) {
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    // buffer: d.dddddddddddddde[+-]xx
    QString digits = QString::fromLatin1(buffer, 1) + QString::fromLatin1(buffer + 2, 14);
    const int exponent = std::atoi(buffer + 17);
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    const QString point = QLocale().decimalPoint();
    QString text;
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            text = "0" + point + QString(-exponent - 1, '0') + digits;
        } else if (digits.size() <= exponent + 1) {
            text = digits + QString(exponent + 1 - digits.size(), '0');
        } else {
            text = digits.left(exponent + 1) + point + digits.mid(exponent + 1);
        }
    } else {
        text = digits.left(1);
        if (digits.size() > 1)
            text += point + digits.mid(1);
        text += 'E' + QString::number(exponent);
    }
    return value < 0 ? '-' + text : text;
}

std::optional<double> ParseFloatText(const QString& text) {
    QString number = text.trimmed();
    if (number.isEmpty())
        return std::nullopt;
    number.replace(',', '.');
    for (QChar c : number) {
        if (!(c.isDigit() && c.unicode() < 128) && c != '.' && c != '+' && c != '-' && c != 'e' &&
            c != 'E')
            return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double ToDateTime(const QDateTime& local) {
    const qint64 days = DateTimeEpoch.daysTo(local.date());
    const double fraction = double(local.time().msecsSinceStartOfDay()) / MsecsPerDay;
    // Before the epoch the day count is negative and the time of day still adds its fraction
    // away from zero: 29 December 1899 6:00 is -1.25.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime FromDateTime(double dateTime) {
    // Beyond the years 1 to 9999 the day count is clamped: converting it as it is would
    // overflow the integer that the date is made from.
    if (!std::isfinite(dateTime))
        dateTime = 0;
    const double whole = std::trunc(dateTime);
    qint64 msecs = std::llround(std::fabs(dateTime - whole) * MsecsPerDay);
    msecs = std::clamp<qint64>(msecs, 0, MsecsPerDay - 1);
    const double days = std::clamp(whole, FirstDay, LastDay);
    return QDateTime(DateTimeEpoch.addDays(qint64(days)),
                     QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

QString DateTimeText(double dateTime) {
    return FloatText(dateTime);
}

double DateTimeFromText(const QString& text) {
    // A day count outside the years 1 to 9999 was never written by the program: never.
    const double value = ParseFloatText(text).value_or(0.0);
    const double days = std::trunc(value);
    return days >= FirstDay && days <= LastDay ? value : 0.0;
}

// ---- Drive texts

bool IsAsciiLetter(QChar c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

QChar AsciiUpper(QChar c) {
    return (c >= 'a' && c <= 'z') ? QChar(c.unicode() - 32) : c;
}

DriveTextEdit FilterDriveText(QString text, int caret) {
    if (text.size() < 2)
        return {text, caret, false};
    bool deleted = false;
    if (caret >= 1 && caret <= text.size()) {
        const QChar typed = AsciiUpper(text[caret - 1]);
        for (int i = 0; i < text.size(); ++i) {
            if (i != caret - 1 && AsciiUpper(text[i]) == typed) {
                text.remove(caret - 1, 1);
                deleted = true;
                break;
            }
        }
    }
    const qsizetype before = text.size();
    text.removeIf([](QChar c) { return !IsAsciiLetter(c); });
    deleted = deleted || text.size() != before;
    if (!deleted)
        return {text, caret, false};
    return {text, std::clamp(caret - 1, 0, int(text.size())), true};
}

bool HoldsFloppyDrive(const QString& driveText) {
    return std::any_of(driveText.begin(), driveText.end(),
                       [](QChar c) { return c == 'A' || c == 'B' || c == 'a' || c == 'b'; });
}

QString FormatDriveList(const QString& driveText) {
    QStringList items;
    for (QChar c : driveText)
        items << QString(c) + ':';
    return items.join(';');
}
