#include "lib/Program.h"

#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace Program {

QString ToolkitFolder() {
    return QCoreApplication::applicationDirPath();
}

QString ToolkitFile(const QString& name) {
    const QDir folder(ToolkitFolder());
    for (const QString& entry : folder.entryList(QDir::Files))
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    return {};
}

std::optional<QByteArray> ReadFile(const QString& path, qint64 limit, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > limit) {
        error = QString("larger than %1 MB, not read").arg(limit / (1024 * 1024));
        return std::nullopt;
    }
    QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

void BeginReport(Report& report, const QString& program, const QString& arguments) {
    report.add(program + " report");
    report.add("Started: " + QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss"));
    report.add("Working folder: " + QDir::currentPath());
    report.add("Arguments: " + arguments);
    report.add(QString());
}

int Refuse(Session& session, Report& report, const QStringList& errors, bool autoExit) {
    for (const QString& error : errors) {
        session.line("Error: " + error);
        report.add("Error: " + error);
    }
    report.add("The run was refused; nothing was done.");
    // A report name with a folder part is among the errors already: no second line for it.
    const int code = IsBareFileName(report.fileName())
                         ? WriteReport(session, report, RefusedExitCode)
                         : RefusedExitCode;
    return session.finish("The command line was refused; nothing was done.", code, autoExit);
}

int WriteReport(Session& session, const Report& report, int exitCode) {
    const QString error = report.write();
    if (error.isEmpty())
        return exitCode;
    session.line("Error: " + error);
    return exitCode == 0 ? RefusedExitCode : exitCode;
}

} // namespace Program
