#include "sched/Tasks.h"

#include "store/SettingsStore.h"

#include <QCryptographicHash>

#include <utility>

namespace Tasks {

namespace {

QString KeyOf(const QString& name) {
    return TasksKey + u'\\' + name;
}

QString Text(SettingsStore& store, const QString& name) {
    const ValueType type = store.valueType(name);
    return type == ValueType::String || type == ValueType::ExpandString ? store.readString(name)
                                                                        : QString();
}

// A task as stored; nothing when its values are not a task's.
std::optional<Task> Read(SettingsStore& store, const QString& name) {
    if (!store.openKey(KeyOf(name), false))
        return std::nullopt;
    Task task;
    task.name = name;
    const QString runs = Text(store, "Runs");
    task.runs = runs == u"Check" ? Runs::Check : Runs::Scan;
    task.definition = Text(store, "Definition");
    QString error;
    const std::optional<Schedule::When> when = Schedule::Parse(Text(store, "When"), error);
    task.installed = Text(store, "Installed");
    task.lastRun = Text(store, "LastRun");
    task.lastResult = Text(store, "LastResult");
    store.closeKey();
    if (!when) {
        task.lastResult = "Its stored schedule is unreadable: " + error + '.';
        return task;
    }
    task.when = *when;
    return task;
}

// Quotes a word for sh: '...' with each ' as '\''.
QString ShellWord(const QString& word) {
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

// Quotes a word for a unit file's command line; % and $ are the unit's own specifiers.
QString UnitWord(const QString& word) {
    QString quoted = word;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    quoted.replace(u'%', QStringLiteral("%%")).replace(u'$', QStringLiteral("$$"));
    return u'"' + quoted + u'"';
}

QString Description(const Task& task) {
    QString name = task.name;
    name.replace(u'%', QStringLiteral("%%"));
    return "avtk scheduled task: " + name;
}

} // namespace

QString NameError(const QString& name) {
    if (name.trimmed().isEmpty())
        return "A task needs a name.";
    if (name.size() > 100)
        return "A task's name has at most 100 characters.";
    for (QChar c : name)
        if (c == u'\\' || c.category() == QChar::Other_Control)
            return "A task's name cannot hold \"\\\" or control characters.";
    return {};
}

QString RunsText(Runs runs) {
    return runs == Runs::Scan ? "Scan" : "Check";
}

QList<Task> Load(SettingsStore& store) {
    store.setRootKey(RootKey::CurrentUser);
    QList<Task> tasks;
    if (!store.keyExists(TasksKey))
        return tasks;
    for (const QString& name : store.keyNamesOf(TasksKey))
        if (std::optional<Task> task = Read(store, name))
            tasks << *task;
    return tasks;
}

std::optional<Task> Find(SettingsStore& store, const QString& name) {
    store.setRootKey(RootKey::CurrentUser);
    if (!NameError(name).isEmpty() || !store.keyExists(KeyOf(name)))
        return std::nullopt;
    return Read(store, name);
}

void Save(SettingsStore& store, const Task& task, const QString& replacing) {
    store.inOneTransaction({RootKey::CurrentUser}, [&] {
        store.setRootKey(RootKey::CurrentUser);
        if (!replacing.isEmpty())
            store.deleteKey(KeyOf(replacing));
        store.deleteKey(KeyOf(task.name));
        store.openKey(KeyOf(task.name), true);
        store.writeString("Runs", RunsText(task.runs));
        store.writeString("Definition", task.definition);
        store.writeString("When", Schedule::Text(task.when));
        store.writeString("Installed", task.installed);
        store.writeString("LastRun", task.lastRun);
        store.writeString("LastResult", task.lastResult);
        store.closeKey();
    });
}

void Remove(SettingsStore& store, const QString& name) {
    store.setRootKey(RootKey::CurrentUser);
    store.deleteKey(KeyOf(name));
}

void SaveResult(SettingsStore& store, const QString& name, const QString& lastRun,
                const QString& lastResult) {
    store.setRootKey(RootKey::CurrentUser);
    if (!store.openKey(KeyOf(name), false))
        return; // removed while it ran
    store.writeString("LastRun", lastRun);
    store.writeString("LastResult", lastResult);
    store.closeKey();
}

QString UnitName(const QString& taskName) {
    QString letters;
    for (QChar c : taskName.toLower())
        if (c.unicode() < 128 && c.isLetterOrNumber())
            letters += c;
        else if (!letters.endsWith(u'-'))
            letters += u'-';
    const QByteArray hash =
        QCryptographicHash::hash(taskName.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return "avtk-task-" + letters.left(40) + (letters.endsWith(u'-') ? "" : "-") +
           QString::fromLatin1(hash);
}

QString ServiceUnit(const Task& task, const QString& program, const QString& prefix) {
    QString unit = "[Unit]\nDescription=" + Description(task) + "\n\n[Service]\nType=oneshot\n";
    // A path setting takes no quotes, only the unit's own specifiers escaped.
    unit += "WorkingDirectory=" + QString(prefix).replace(u'%', QStringLiteral("%%")) + '\n';
    unit += "Environment=" + UnitWord("VALLORIN_PREFIX=" + prefix) + '\n';
    unit += "ExecStart=" + UnitWord(program) + ' ' + UnitWord("/RUN=" + task.name) + '\n';
    if (task.when.kind == Schedule::Kind::Logon)
        unit += "\n[Install]\nWantedBy=default.target\n";
    return unit;
}

QString TimerUnit(const Task& task) {
    if (task.when.kind == Schedule::Kind::Logon)
        return {};
    return "[Unit]\nDescription=" + Description(task) +
           "\n\n[Timer]\nOnCalendar=" + Schedule::OnCalendar(task.when) +
           "\nPersistent=true\nUnit=" + UnitName(task.name) +
           ".service\n\n[Install]\nWantedBy=timers.target\n";
}

QString CronLine(const Task& task, const QString& program, const QString& prefix) {
    QString command = "cd " + ShellWord(prefix) + " && VALLORIN_PREFIX=" + ShellWord(prefix) + ' ' +
                      ShellWord(program) + ' ' + ShellWord("/RUN=" + task.name);
    command.replace(u'%', QStringLiteral("\\%")); // cron turns a bare % into a new line
    return Schedule::CronTime(task.when) + ' ' + command + " # " + UnitName(task.name);
}

QString WithCronLine(const QString& crontab, const QString& taskName, const QString& line) {
    const QString mark = " # " + UnitName(taskName);
    QStringList lines = crontab.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast(); // the last line's end, given back below
    QStringList result;
    bool placed = false;
    for (const QString& each : lines)
        if (!each.endsWith(mark))
            result << each;
        else if (!std::exchange(placed, true))
            result << line; // where its earlier line stood
    if (!placed)
        result << line;
    return result.join(u'\n') + u'\n';
}

QString WithoutCronLine(const QString& crontab, const QString& taskName) {
    const QString mark = " # " + UnitName(taskName);
    QStringList kept;
    for (const QString& line : crontab.split(u'\n'))
        if (!line.endsWith(mark))
            kept << line;
    return kept.join(u'\n');
}

} // namespace Tasks
