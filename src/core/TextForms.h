#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The text forms of stored values and of drive texts: pure functions of their input.

// ---- Numbers and flags

// An integer text: decimal after optional blanks and a sign, or hexadecimal after "$", or after
// "0x"/"0X" when the whole text is longer than two characters. Nothing for any other text or a
// number outside the 32-bit range.
std::optional<qint32> ParseIntegerText(const QString& text);
// A flag text: any non-zero number is on; an empty or non-numeric text gives the default.
bool FlagFromText(const QString& text, bool defaultValue);
QString FlagText(bool on);

// A number in the general format: up to 15 significant digits, no needless zeros or
// separator, fixed notation from 0.0001 up to 15 integer digits, otherwise "1E-5" style.
QString FloatText(double value);
// Reads both notations, blanks around the number, "." or "," as the separator.
std::optional<double> ParseFloatText(const QString& text);

// ---- Date-times

// Days since 30 December 1899, the fraction being the time of day (local time).
double ToDateTime(const QDateTime& local);
QDateTime FromDateTime(double dateTime);
QString DateTimeText(double dateTime);
// A stored date-time; an absent or non-numeric text, or a day count outside the years 1 to
// 9999, reads as 0 (never).
double DateTimeFromText(const QString& text);

// ---- Drive texts

bool IsAsciiLetter(QChar c);
QChar AsciiUpper(QChar c);

// A drive edit's text after the filter, with its caret, and whether anything was deleted.
struct DriveTextEdit {
    QString text;
    int caret = 0;
    bool changed = false;
    bool operator==(const DriveTextEdit&) const = default;
};
// Keeps a drive text of two or more characters to letters: a letter typed (just before caret)
// that the text already holds, in either case, is deleted, then everything that is not a
// letter; the caret steps back by one when anything went (and stays inside the text). Shorter
// texts stay as they are.
DriveTextEdit FilterDriveText(QString text, int caret);
// Whether a drive text names A or B, in either case: the "Multiple floppies" option applies.
bool HoldsFloppyDrive(const QString& driveText);
// "cD" -> "c:;D:".
QString FormatDriveList(const QString& driveText);
