#pragma once

#include "sched/Tasks.h"

#include <QString>

#include <optional>

class SettingsStore;

// Running a task: its command line built now from the definition as it is stored now, by the
// same builders the panel's pages use.
namespace TaskRun {

// Exit level of a task that could not run (its task or definition is gone, its drives are none).
constexpr int NotRunExitCode = 8;
// Exit level of a run refused because the same task is running already; no scanner uses it.
constexpr int AlreadyRunningExitCode = 10;

// The file whose lock a run of the task holds while it runs: in the prefix, so that the timer,
// a crontab line and the window's "Run now" all meet at the same file.
QString LockFile(const QString& prefix, const QString& taskName);
// What a run refused for that reason says, also in the window.
QString AlreadyRunningText(const QString& taskName);

// The command line, or nothing with the reason (a sentence) when nothing can run. The toolkit
// folder ends with "/"; a check's fingerprints lie in the prefix's "Prints" folder, as the
// panel keeps them.
std::optional<QString> CommandLineOf(SettingsStore& store, const Tasks::Task& task,
                                     const QString& toolkitFolder, const QString& prefix,
                                     QString& why);

struct Outcome {
    int exitCode = NotRunExitCode;
    QString result; // the sentence kept as the task's last result
};

// Runs the task in the prefix to its end and keeps the outcome with the task in the store. One
// run of a task at a time: a second one, while the first holds the task's lock, runs nothing,
// keeps nothing and ends with AlreadyRunningExitCode.
Outcome Run(SettingsStore& store, const QString& taskName, const QString& toolkitFolder,
            const QString& prefix);

} // namespace TaskRun
