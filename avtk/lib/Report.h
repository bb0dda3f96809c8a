#pragma once

#include <QString>
#include <QStringList>

#include <utility>

// A report file in the working directory, written whole at the end of a run: CR LF line ends,
// as the toolkit's reports on Windows have; appended to an existing file on request. A failed
// write keeps the earlier report: it is replaced whole or appended to in full, never in part.
// The name is a file of the working folder (a name with a folder part is never written) and a
// symbolic link at it is not followed: a new report replaces the link, an appended one is
// refused; so is a folder, a pipe or a device at the name.
class Report {
public:
    // An empty name means that no report was asked for; lines are then only collected.
    Report(QString fileName, bool append) : name(std::move(fileName)), appending(append) {}

    void add(const QString& line) { lines << line; }
    const QStringList& text() const { return lines; }
    bool wanted() const { return !name.isEmpty(); }
    const QString& fileName() const { return name; }

    // Writes the collected lines; returns an error sentence, empty on success.
    QString write() const;

private:
    QString name;
    bool appending;
    QStringList lines;
};
