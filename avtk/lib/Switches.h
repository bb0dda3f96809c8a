#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The toolkit's command lines: switches "/NAME" or "/NAME=value", names without regard to case,
// plus a program's own positional words. Anything else is an error, never ignored.
struct SwitchSpec {
    // A FileName value names a file of the working folder: a name with a folder part ("/" or
    // "\", or the name "." or "..") is an error.
    enum Kind { Flag, Value, FileName };
    QString name; // upper case, without the "/"
    Kind kind = Flag;
    // A value that may hold blanks arrives split into several words (it is passed unquoted):
    // the words after it that do not begin with "/" belong to it again.
    bool takesFollowingWords = false;
};

// A file name without a folder part: no "/" or "\\", not "." or "..". Empty is none at all.
bool IsBareFileName(const QString& name);

class CommandLine {
public:
    static CommandLine Parse(const QStringList& arguments, const QList<SwitchSpec>& specs,
                             int maxPositionals = 0);

    bool has(const QString& name) const { return values.contains(name.toUpper()); }
    QString value(const QString& name) const { return values.value(name.toUpper()); }
    const QStringList& positionals() const { return words; }
    // Every refused word, as a sentence for the window and the report.
    const QStringList& errors() const { return problems; }
    bool ok() const { return problems.isEmpty(); }
    // The arguments as received, for the report's first lines.
    QString text() const { return received.join(u' '); }

private:
    QMap<QString, QString> values;
    QStringList words;
    QStringList problems;
    QStringList received;
};
