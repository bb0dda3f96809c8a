#pragma once

#include "sched/Schedule.h"

#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

// The scheduler's tasks: each runs one stored scan or check definition on a schedule.
//
// They are kept in the current user's branch of the store, under the toolkit's own key
// (TasksKey): a task runs as the user, from the user's systemd timers or crontab, and the
// definitions it runs are the user's own (the panel keeps them in the user's branch too).
namespace Tasks {

inline const QString TasksKey =
    QStringLiteral("Software\\Dr Solomon's Software\\Anti-Virus\\Scheduler\\Tasks");

enum class Runs { Scan, Check };

struct Task {
    QString name;
    Runs runs = Runs::Scan;
    QString definition;
    Schedule::When when;
    QString installed;  // "systemd" or "crontab": where its units or line were put; empty: none
    QString lastRun;    // "yyyy-MM-dd hh:mm:ss", empty when it never ran
    QString lastResult; // a sentence: the exit level and the report, or why nothing ran
};

// A task name is shown, stored as a key name and written into unit files and crontab lines:
// no "\" (it would address another key), no control character; 1 to 100 characters.
QString NameError(const QString& name);
QString RunsText(Runs runs); // "Scan" or "Check"

QList<Task> Load(SettingsStore& store);
std::optional<Task> Find(SettingsStore& store, const QString& name);
// Writes the task whole (its key replaced), in one transaction that also removes the task called
// `replacing` when it is another.
void Save(SettingsStore& store, const Task& task, const QString& replacing = {});
void Remove(SettingsStore& store, const QString& name);
void SaveResult(SettingsStore& store, const QString& name, const QString& lastRun,
                const QString& lastResult);

// ---- What the desktop's schedulers are given (pure)

// The name of the task's units and the mark of its crontab line: "avtk-task-" + the name's
// letters and digits + a hash of the whole name, so that two names never share one.
QString UnitName(const QString& taskName);
// The service runs `program /RUN=<task>` in the prefix; the timer starts it on the schedule,
// persistently (a run missed while the machine was off happens at the next start). A log-in
// task has a service wanted by the user's default target and no timer.
QString ServiceUnit(const Task& task, const QString& program, const QString& prefix);
QString TimerUnit(const Task& task);
// The crontab line, marked with "# <UnitName>" at its end.
QString CronLine(const Task& task, const QString& program, const QString& prefix);
// The crontab with `line` as the task's line: in place of its earlier one, else added at the end.
QString WithCronLine(const QString& crontab, const QString& taskName, const QString& line);
// The crontab without the task's line; every other line, comments and blank ones too, kept as
// it was.
QString WithoutCronLine(const QString& crontab, const QString& taskName);

} // namespace Tasks
