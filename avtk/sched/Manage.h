#pragma once

#include "sched/Desktop.h"
#include "sched/Tasks.h"

#include <QString>
#include <QStringList>

class SettingsStore;

// Adding, changing and removing tasks: the store and the desktop's scheduler kept together.
namespace Manage {

// The stored scan ("Find") or check ("Verify") definitions' names.
QStringList Definitions(SettingsStore& store, Tasks::Runs runs);

// Adds the task, or changes the one called `replacing` into it (its old units or line go, also
// when the name changed). Nothing is changed when the name, the definition or the schedule is
// refused, or when the desktop's scheduler or the store fails at any step (what was done is
// undone); an error sentence then, otherwise empty.
QString Put(SettingsStore& store, Tasks::Task task, const QString& replacing, Desktop::Kind kind,
            const QString& program, const QString& prefix);

// Takes the task's units or line out and removes it from the store; an error sentence, or empty.
// When a step fails the task stays, its units or line put back (by `program` in `prefix`).
QString Take(SettingsStore& store, const QString& name, const QString& program,
             const QString& prefix);

} // namespace Manage
