#include "sched/TaskRun.h"

#include "core/CommandLines.h"
#include "core/StoredDefinitions.h"
#include "platform/ProcessLock.h"
#include "platform/ProgramStart.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace TaskRun {

namespace {

// The report a command line names, as "/REPORT=<file>" in the prefix; empty for none.
QString ReportOf(const QString& commandLine) {
    const qsizetype at = commandLine.indexOf(" /REPORT=");
    return at < 0 ? QString() : commandLine.mid(at + 9).section(u' ', 0, 0);
}

} // namespace

QString LockFile(const QString& prefix, const QString& taskName) {
    return QDir(prefix).filePath("Locks/" + Tasks::UnitName(taskName) + ".lock");
}

QString AlreadyRunningText(const QString& taskName) {
    return QString("The task \"%1\" is already running; this run was not started.").arg(taskName);
}

std::optional<QString> CommandLineOf(SettingsStore& store, const Tasks::Task& task,
                                     const QString& toolkitFolder, const QString& prefix,
                                     QString& why) {
    if (task.runs == Tasks::Runs::Scan) {
        const std::optional<ScanOptions> scan =
            ReadScanDefinition(store, task.definition, toolkitFolder);
        if (!scan) {
            why = QString("The scan definition \"%1\" is no longer stored; nothing was run.")
                      .arg(task.definition);
            return std::nullopt;
        }
        if (scan->drives == DriveChoice::Listed && scan->driveText.isEmpty()) {
            why = QString("The scan definition \"%1\" names no drives; nothing was run.")
                      .arg(task.definition);
            return std::nullopt;
        }
        return ScanCommandLine(toolkitFolder, *scan);
    }
    const std::optional<CheckOptions> check = ReadCheckDefinition(store, task.definition);
    if (!check) {
        why = QString("The check definition \"%1\" is no longer stored; nothing was run.")
                  .arg(task.definition);
        return std::nullopt;
    }
    // The same refusals as the integrity page's before it starts ViVerify.
    if (check->driveText.isEmpty())
        why = QString("The check definition \"%1\" names no drives; nothing was run.")
                  .arg(task.definition);
    else if (check->useKeyword && check->keyword.size() < MinKeywordLength)
        why = QString("The check definition \"%1\" has a keyword shorter than %2 characters; "
                      "nothing was run.")
                  .arg(task.definition)
                  .arg(MinKeywordLength);
    else if (task.definition.contains(u'/') || task.definition.contains(u'"'))
        why = QString("The check definition \"%1\" cannot name a fingerprint file; nothing was "
                      "run.")
                  .arg(task.definition);
    if (!why.isEmpty())
        return std::nullopt;
    const QString prints = QDir(prefix).filePath("Prints");
    QDir().mkpath(prints);
    return ViVerifyCommandLine(toolkitFolder, CheckAction::Verify, *check,
                               prints + '/' + task.definition);
}

Outcome Run(SettingsStore& store, const QString& taskName, const QString& toolkitFolder,
            const QString& prefix) {
    Outcome outcome;
    const std::optional<Tasks::Task> task = Tasks::Find(store, taskName);
    if (!task) {
        outcome.result = QString("There is no scheduled task \"%1\".").arg(taskName);
        return outcome; // nothing to keep it with
    }
    const QString lockFile = LockFile(prefix, taskName);
    QDir().mkpath(QFileInfo(lockFile).path());
    const ProcessLock lock(lockFile); // held to the end of the run
    if (lock.busy()) {
        outcome.exitCode = AlreadyRunningExitCode;
        outcome.result = AlreadyRunningText(taskName) + " It runs as " + lock.why() + '.';
        return outcome; // the running one keeps its own result
    }
    const QString started = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    QString why;
    const std::optional<QString> commandLine =
        lock.held() ? CommandLineOf(store, *task, toolkitFolder, prefix, why) : std::nullopt;
    if (!lock.held()) {
        outcome.result = "The run could not be guarded: " + lock.why() + "; nothing was run.";
    } else if (!commandLine) {
        outcome.result = why;
    } else {
        const SplitCommand split = SplitCommandLine(WithProgramQuoted(toolkitFolder, *commandLine));
        QProcess process;
        process.setWorkingDirectory(prefix);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(split.program, split.arguments);
        if (!process.waitForStarted(30000)) {
            outcome.result = split.program + " could not be started: " + process.errorString();
        } else {
            process.closeWriteChannel();
            process.waitForFinished(-1); // a scan takes as long as it takes
            if (process.exitStatus() != QProcess::NormalExit) {
                outcome.result = split.program + " ended abnormally.";
            } else {
                outcome.exitCode = process.exitCode();
                const QString report = ReportOf(*commandLine);
                outcome.result =
                    QString("Exit level %1").arg(outcome.exitCode) +
                    (report.isEmpty() ? QString("; no report.")
                                      : "; report " + QDir(prefix).filePath(report) + '.');
            }
        }
    }
    Tasks::SaveResult(store, taskName, started, outcome.result);
    return outcome;
}

} // namespace TaskRun
