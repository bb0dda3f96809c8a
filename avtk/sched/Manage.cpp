#include "sched/Manage.h"

#include "core/StoredDefinitions.h"
#include "platform/VallorinError.h"
#include "store/SettingsStore.h"

#include <functional>

namespace Manage {

namespace {

QString DefinitionsKey(Tasks::Runs runs) {
    return VallorinProgramKey + (runs == Tasks::Runs::Scan ? "\\Find" : "\\Verify");
}

std::optional<Desktop::Kind> InstalledKind(const Tasks::Task& task) {
    if (task.installed == u"systemd")
        return Desktop::Kind::Systemd;
    if (task.installed == u"crontab")
        return Desktop::Kind::Crontab;
    return std::nullopt;
}

// Takes a task's units or line out of where it was put; an error sentence, or empty.
QString UninstallTask(const Tasks::Task& task) {
    const std::optional<Desktop::Kind> kind = InstalledKind(task);
    return kind ? Desktop::Uninstall(*kind, task.name) : QString();
}

// Puts a task's units or line back where they were put.
QString ReinstallTask(const Tasks::Task& task, const QString& program, const QString& prefix) {
    const std::optional<Desktop::Kind> kind = InstalledKind(task);
    return kind ? Desktop::Install(*kind, task, program, prefix) : QString();
}

QString StoreError(const std::function<void()>& write) {
    try {
        write();
        return {};
    } catch (const VallorinError& error) {
        return error.message();
    }
}

// The one error told of a step that failed, after the steps before it were undone: `undone`
// holds what undoing them said.
QString Failed(const QString& outcome, const QString& error, const QStringList& undone) {
    QString text = outcome + ": " + error;
    for (const QString& also : undone)
        if (!also.isEmpty())
            return text + ". Putting it back as it was failed too: " + also;
    return text;
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
    task.installed = Desktop::KindText(kind);
    const QString outcome = old ? QString("The task \"%1\" was left as it was").arg(old->name)
                                : QString("The task \"%1\" was not added").arg(task.name);
    // The same name and scheduler mean the same units, which the install replaces: undoing it is
    // installing the old task again. Other units are taken out.
    const bool sameUnits = old && old->name == task.name && old->installed == task.installed;
    const auto undoInstall = [&] {
        return sameUnits ? ReinstallTask(*old, program, prefix)
                         : Desktop::Uninstall(kind, task.name);
    };
    // All or nothing as the user sees it: the new units first, then the store, then the old
    // units go; a step that fails undoes the ones before it.
    if (const QString error = Desktop::Install(kind, task, program, prefix); !error.isEmpty())
        return Failed(outcome, error, {undoInstall()});
    if (const QString error = StoreError([&] { Tasks::Save(store, task, replacing); });
        !error.isEmpty())
        return Failed(outcome, error, {undoInstall()});
    if (old && !sameUnits)
        if (const QString error = UninstallTask(*old); !error.isEmpty())
            return Failed(outcome, error,
                          {StoreError([&] { Tasks::Save(store, *old, task.name); }), undoInstall(),
                           ReinstallTask(*old, program, prefix)});
    return {};
}

QString Take(SettingsStore& store, const QString& name, const QString& program,
             const QString& prefix) {
    const std::optional<Tasks::Task> task = Tasks::Find(store, name);
    if (!task)
        return QString("There is no scheduled task \"%1\".").arg(name);
    const QString outcome = QString("The task \"%1\" was not removed").arg(name);
    if (const QString error = UninstallTask(*task); !error.isEmpty())
        return Failed(outcome, error, {ReinstallTask(*task, program, prefix)});
    if (const QString error = StoreError([&] { Tasks::Remove(store, name); }); !error.isEmpty())
        return Failed(outcome, error, {ReinstallTask(*task, program, prefix)});
    return {};
}

} // namespace Manage
