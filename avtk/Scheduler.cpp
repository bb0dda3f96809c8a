// The scheduler ("TK_Sched.exe"): scheduled tasks, each running one stored scan or check
// definition, put into the desktop's own scheduler (systemd user timers, else the crontab).
// With a display and no switches it shows its window; otherwise it works on the command line:
//   TK_Sched.exe [/LIST]
//   TK_Sched.exe /ADD=<task> /SCAN=<definition> | /CHECK=<definition> /WHEN=<schedule>
//   TK_Sched.exe /CHANGE=<task> [/NAME=<new name>] /SCAN=... | /CHECK=... /WHEN=...
//   TK_Sched.exe /REMOVE=<task>
//   TK_Sched.exe /RUN=<task>        (what the timers and crontab lines start)
#include "SchedulerWindow.h"
#include "lib/DriveMap.h"
#include "lib/Program.h"
#include "lib/Session.h"
#include "lib/Switches.h"
#include "platform/VallorinError.h"
#include "sched/Manage.h"
#include "sched/TaskRun.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QDateTime>
#include <QTimeZone>

#include <cstdio>

namespace {

const QList<SwitchSpec> Switches = {
    {"LIST"},
    {"ADD", SwitchSpec::Value, true},
    {"CHANGE", SwitchSpec::Value, true},
    {"NAME", SwitchSpec::Value, true},
    {"SCAN", SwitchSpec::Value, true},
    {"CHECK", SwitchSpec::Value, true},
    {"WHEN", SwitchSpec::Value, true},
    {"REMOVE", SwitchSpec::Value, true},
    {"RUN", SwitchSpec::Value, true},
};

void Print(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

int List(SettingsStore& store, Desktop::Kind kind) {
    Print(Desktop::Explanation(kind));
    const QList<Tasks::Task> tasks = Tasks::Load(store);
    if (tasks.isEmpty())
        Print("No tasks are scheduled.");
    for (const Tasks::Task& task : tasks)
        Print(SchedulerWindow::TaskLine(task, QDateTime::currentDateTime()));
    return 0;
}

// The task the switches describe; an error sentence when they describe none.
std::optional<Tasks::Task> TaskOf(const CommandLine& line, const QString& name, QString& error) {
    Tasks::Task task;
    task.name = name;
    if (line.has("SCAN") == line.has("CHECK")) {
        error = "Give the definition to run: /SCAN=<name> or /CHECK=<name>.";
        return std::nullopt;
    }
    task.runs = line.has("SCAN") ? Tasks::Runs::Scan : Tasks::Runs::Check;
    task.definition = line.value(line.has("SCAN") ? "SCAN" : "CHECK");
    const std::optional<Schedule::When> when = Schedule::Parse(line.value("WHEN"), error);
    if (!when)
        return std::nullopt;
    task.when = *when;
    return task;
}

int Refused(const QString& error) {
    Print("Error: " + error);
    return Program::RefusedExitCode;
}

int CommandLineRun(const CommandLine& line, SettingsStore& store) {
    const QString program = QCoreApplication::applicationFilePath();
    const QString prefix = DriveMap::PrefixFolder();
    if (line.has("RUN")) {
        const TaskRun::Outcome outcome =
            TaskRun::Run(store, line.value("RUN"), Program::ToolkitFolder() + '/', prefix);
        Print(QString("Task \"%1\": %2").arg(line.value("RUN"), outcome.result));
        return outcome.exitCode;
    }
    if (line.has("REMOVE")) {
        const QString error = Manage::Take(store, line.value("REMOVE"), program, prefix);
        if (!error.isEmpty())
            return Refused(error);
        Print(QString("Task \"%1\" removed.").arg(line.value("REMOVE")));
        return 0;
    }
    const Desktop::Kind kind = Desktop::Available();
    if (line.has("ADD") || line.has("CHANGE")) {
        const QString replacing = line.value("CHANGE");
        const QString name = line.has("ADD")    ? line.value("ADD")
                             : line.has("NAME") ? line.value("NAME")
                                                : replacing;
        QString error;
        const std::optional<Tasks::Task> task = TaskOf(line, name, error);
        if (!task)
            return Refused(error);
        error = Manage::Put(store, *task, replacing, kind, program, prefix);
        if (!error.isEmpty())
            return Refused(error);
        Print(QString("Task \"%1\" scheduled with %2.").arg(name, Desktop::KindText(kind)));
    }
    return List(store, kind);
}

} // namespace

int main(int argc, char** argv) {
    const bool windowed = Session::DisplayAvailable() && argc == 1;
    std::unique_ptr<QCoreApplication> app = windowed
                                                ? std::make_unique<QApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), Switches);
    if (!line.ok()) {
        for (const QString& error : line.errors())
            Print("Error: " + error);
        return Program::RefusedExitCode;
    }
    try {
        SettingsStore store(DriveMap::PrefixFolder());
        if (!windowed)
            return CommandLineRun(line, store);
        SchedulerWindow window(store, Desktop::Available(), QCoreApplication::applicationFilePath(),
                               DriveMap::PrefixFolder(), Program::ToolkitFolder() + '/');
        window.show();
        return app->exec();
    } catch (const VallorinError& error) {
        return Refused(error.message());
    }
}
