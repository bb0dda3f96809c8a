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

// Runs the task in the prefix to its end and keeps the outcome with the task in the store.
Outcome Run(SettingsStore& store, const QString& taskName, const QString& toolkitFolder,
            const QString& prefix);

} // namespace TaskRun
