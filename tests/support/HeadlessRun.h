#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

// A built program run to its end as Vallorin starts a toolkit program: in a working folder,
// without a display (no X, no Wayland, the offscreen platform), with `environment`'s NAME=value
// settings added and `input` on its standard input, which is then closed.
struct HeadlessRun {
    int exitCode = -1;
    QString output; // standard output
};
HeadlessRun RunHeadless(const QString& program, const QStringList& arguments, const QString& folder,
                        const QStringList& environment = {}, const QByteArray& input = {});
// Starts the program as RunHeadless does and returns at once, for a test that acts while it runs.
void StartHeadless(QProcess& process, const QString& program, const QStringList& arguments,
                   const QString& folder, const QStringList& environment = {});
