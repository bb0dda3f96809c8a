#include "sched/Desktop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace Desktop {

namespace {

struct Outcome {
    bool ok = false;
    QString output;
    QString error;
};

// Runs a program of PATH to its end (at most 30 s), with `input` on its standard input.
Outcome Run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    Outcome outcome;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        outcome.error = program + " is not installed";
        return outcome;
    }
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForStarted(10000)) {
        outcome.error = program + ": " + process.errorString();
        return outcome;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        outcome.error = program + " " + arguments.join(u' ') + ": no answer within 30 seconds";
        return outcome;
    }
    outcome.output = QString::fromUtf8(process.readAllStandardOutput());
    const QString errors = QString::fromUtf8(process.readAllStandardError()).trimmed();
    outcome.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!outcome.ok)
        outcome.error =
            program + " " + arguments.join(u' ') + ": " +
            (errors.isEmpty() ? QString("exit code %1").arg(process.exitCode()) : errors);
    return outcome;
}

Outcome Systemctl(const QStringList& arguments) {
    return Run("systemctl", QStringList{"--user"} + arguments);
}

// The user's crontab; an empty one when the user has none yet.
std::optional<QString> ReadCrontab(QString& error) {
    const Outcome listed = Run("crontab", {"-l"});
    if (listed.ok)
        return listed.output;
    if (listed.error.contains("no crontab for"))
        return QString();
    error = listed.error;
    return std::nullopt;
}

QString WriteCrontab(const QString& text) {
    QString content = text;
    if (!content.isEmpty() && !content.endsWith(u'\n'))
        content += u'\n'; // cron ignores a last line without its end
    const Outcome written = Run("crontab", {"-"}, content.toUtf8());
    return written.ok ? QString() : written.error;
}

QString WriteFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return path + ": " + file.errorString();
    return {};
}

} // namespace

Kind Available() {
    return Systemctl({"show-environment"}).ok ? Kind::Systemd : Kind::Crontab;
}

QString KindText(Kind kind) {
    return kind == Kind::Systemd ? "systemd" : "crontab";
}

QString Explanation(Kind kind) {
    return kind == Kind::Systemd
               ? "Tasks run from systemd user timers (" + UnitFolder() + ")."
               : QString("Tasks run from your crontab (systemd's user manager does not answer); "
                         "a log-in task runs when cron starts.");
}

QString UnitFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + "/.config";
    return config + "/systemd/user";
}

QString Install(Kind kind, const Tasks::Task& task, const QString& program, const QString& prefix) {
    if (kind == Kind::Crontab) {
        QString error;
        const std::optional<QString> crontab = ReadCrontab(error);
        if (!crontab)
            return error;
        const QString text =
            Tasks::WithCronLine(*crontab, task.name, Tasks::CronLine(task, program, prefix));
        return text == *crontab ? QString() : WriteCrontab(text);
    }
    // Earlier units go first, disabled: a task changed between a timer and log-in has other
    // units enabled, and a file removed while enabled would leave its link behind.
    if (const QString error = Uninstall(kind, task.name); !error.isEmpty())
        return error;
    const QString folder = UnitFolder();
    if (!QDir().mkpath(folder))
        return folder + ": cannot be created";
    const QString unit = Tasks::UnitName(task.name);
    const QString timer = Tasks::TimerUnit(task);
    QString error =
        WriteFile(folder + '/' + unit + ".service", Tasks::ServiceUnit(task, program, prefix));
    if (error.isEmpty() && !timer.isEmpty())
        error = WriteFile(folder + '/' + unit + ".timer", timer);
    if (!error.isEmpty())
        return error;
    Outcome done = Systemctl({"daemon-reload"});
    if (done.ok)
        done = Systemctl({"enable", unit + (timer.isEmpty() ? ".service" : ".timer")});
    if (done.ok && !timer.isEmpty())
        done = Systemctl({"start", unit + ".timer"});
    return done.ok ? QString() : done.error;
}

QString Uninstall(Kind kind, const QString& taskName) {
    if (kind == Kind::Crontab) {
        QString error;
        const std::optional<QString> crontab = ReadCrontab(error);
        if (!crontab)
            return error;
        const QString kept = Tasks::WithoutCronLine(*crontab, taskName);
        return kept == *crontab ? QString() : WriteCrontab(kept);
    }
    const QString folder = UnitFolder();
    const QString unit = Tasks::UnitName(taskName);
    QStringList present;
    for (const char* suffix : {".timer", ".service"})
        if (QFile::exists(folder + '/' + unit + suffix))
            present << unit + suffix;
    if (present.isEmpty())
        return {};
    // Stopped and disabled while systemd still knows them; then their files go. Refused, the
    // files stay, so that the task can still be put back whole.
    const Outcome disabled = Systemctl(QStringList{"disable", "--now"} + present);
    if (!disabled.ok)
        return disabled.error;
    for (const QString& file : present)
        if (!QFile::remove(folder + '/' + file))
            return folder + '/' + file + ": cannot be removed";
    const Outcome reloaded = Systemctl({"daemon-reload"});
    return reloaded.ok ? QString() : reloaded.error;
}

} // namespace Desktop
