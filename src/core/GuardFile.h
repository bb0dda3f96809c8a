#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The guard settings file: name=value lines exchanged with the driver key. Pure text handling,
// no store and no widgets, so that the parser can be fed anything.

// One value to be written into the driver key by a settings-file load.
struct GuardFileEntry {
    QString name;
    QString value;
    bool flag = false; // a flag value (binary 01 00 00 00) instead of a text
    bool operator==(const GuardFileEntry&) const = default;
};

// One value of the driver key to be saved: its name, and its text when it is a text value.
struct GuardFileValue {
    QString name;
    bool isText = false;
    QString text;
};

// The lines of a file's text: a line ends at CR LF, at a lone CR or at a lone LF; the end of the
// last line needs no terminator, and a terminator at the very end starts no further line.
QStringList SplitGuardFileLines(const QString& text);

// The values that a settings file writes, in file order (one per line, duplicates included).
// A line's name is the text before its first "=" (empty without one); its value is the text
// after the first "=" of the first line with that name (ignoring case). "AllFiles" and
// "Repair" are always texts; any other value "True" (ignoring case) is a flag.
QList<GuardFileEntry> ParseGuardFile(const QString& text);

// The file's text: lines sorted by name without regard to case, "StaticVxD" left out, each
// "name=text" or "name=True" for a value that is not text, each ended by CR LF. Throws
// VallorinError for a name or text that the format cannot carry (a line break, or "=" in a
// name), since it would come back as other values.
QString FormatGuardFile(QList<GuardFileValue> values);

// Bytes of a settings file in the encoding the program writes (UTF-8; reading takes UTF-8 or,
// for files from Windows, Windows-1252).
QByteArray EncodeGuardFile(const QString& text);
// The text of a settings file's bytes; throws VallorinError, naming the file, for a file that
// cannot be one (too large, or holding NUL bytes as binary and UTF-16 files do).
QString DecodeGuardFile(const QByteArray& bytes, const QString& fileName);

// The largest settings file accepted; a real one is a few hundred bytes.
inline constexpr qsizetype MaxGuardFileSize = 1024 * 1024;
