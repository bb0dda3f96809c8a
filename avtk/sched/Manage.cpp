#include "sched/Manage.h"

#include "core/StoredDefinitions.h"
#include "platform/SettingsStore.h"

namespace Manage {

namespace {

QString DefinitionsKey(Tasks::Runs runs) {
    return VallorinProgramKey + (runs == Tasks::Runs::Scan ? "\\Find" : "\\Verify");
}

// Takes a task's units or line out of where it was put; for a task that records none, of both.
QString UninstallTask(const Tasks::Task& task) {
    if (task.installed == u"systemd")
        return Desktop::Uninstall(Desktop::Kind::Systemd, task.name);
    if (task.installed == u"crontab")
        return Desktop::Uninstall(Desktop::Kind::Crontab, task.name);
    return {};
}

} // namespace

QStringList Definitions(SettingsStore& store, Tasks::Runs runs) {
    store.setRootKey(RootKey::CurrentUser);
    const QString key = DefinitionsKey(runs);
    return store.keyExists(key) ? store.keyNamesOf(key) : QStringList();
}

QString Put(SettingsStore& store, Tasks::Task task, const QString& replacing, Desktop::Kind kind,
            const QString& program, const QString& prefix) {
    if (const QString error = Tasks::NameError(task.name); !error.isEmpty())
        return error;
    if (!Definitions(store, task.runs).contains(task.definition))
        return QString("There is no %1 definition \"%2\".")
            .arg(task.runs == Tasks::Runs::Scan ? "scan" : "check", task.definition);
    const std::optional<Tasks::Task> old =
        replacing.isEmpty() ? std::nullopt : Tasks::Find(store, replacing);
    if (!replacing.isEmpty() && !old)
        return QString("There is no scheduled task \"%1\".").arg(replacing);
    if (task.name != replacing && Tasks::Find(store, task.name))
        return QString("A task called \"%1\" exists already.").arg(task.name);
    if (old) {
        task.lastRun = old->lastRun;
        task.lastResult = old->lastResult;
    }
    // The same name and scheduler mean the same units, which the install replaces; otherwise the
    // old ones go first.
    const bool sameUnits =
        old && old->name == task.name && old->installed == Desktop::KindText(kind);
    if (old && !sameUnits)
        if (const QString error = UninstallTask(*old); !error.isEmpty())
            return error;
    if (const QString error = Desktop::Install(kind, task, program, prefix); !error.isEmpty()) {
        if (!sameUnits)
            Desktop::Uninstall(kind, task.name); // what was put before the failure
        return error;
    }
    task.installed = Desktop::KindText(kind);
    if (old && old->name != task.name)
        Tasks::Remove(store, old->name);
    Tasks::Save(store, task);
    return {};
}

QString Take(SettingsStore& store, const QString& name) {
    const std::optional<Tasks::Task> task = Tasks::Find(store, name);
    if (!task)
        return QString("There is no scheduled task \"%1\".").arg(name);
    if (const QString error = UninstallTask(*task); !error.isEmpty())
        return error;
    Tasks::Remove(store, name);
    return {};
}

} // namespace Manage
