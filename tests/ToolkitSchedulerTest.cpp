// The scheduler: schedules and their next runs, the units and crontab lines it writes, and
// TK_Sched.exe started on a prefix of the test's own with a fake systemctl and crontab on PATH,
// so that the real user's timers and crontab are never touched.
#include "core/CommandLines.h"
#include "core/StoredDefinitions.h"
#include "platform/InstallLayout.h"
#include "platform/ProgramStart.h"
#include "sched/Schedule.h"
#include "sched/TaskRun.h"
#include "sched/Tasks.h"
#include "store/SettingsStore.h"
#include "support/HeadlessRun.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using Schedule::Kind;
using Schedule::When;

When Parsed(const QString& text) {
    QString error;
    const std::optional<When> when = Schedule::Parse(text, error);
    EXPECT_TRUE(when) << text.toStdString() << ": " << error.toStdString();
    return when.value_or(When{});
}

TEST(Schedules, EachKindIsStoredAndGivenToSystemdAndCron) {
    struct Row {
        QString text, onCalendar, cron;
    };
    const QList<Row> rows = {
        {"logon", "", "@reboot"},
        {"hourly :05", "*-*-* *:05:00", "5 * * * *"},
        {"daily 08:30", "*-*-* 08:30:00", "30 8 * * *"},
        {"weekly Mon,Fri 23:59", "Mon,Fri *-*-* 23:59:00", "59 23 * * 1,5"},
        {"weekly Sun,Sat 00:00", "Sat,Sun *-*-* 00:00:00", "0 0 * * 6,0"},
        {"monthly 31 02:00", "*-*-31 02:00:00", "0 2 31 * *"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        const When when = Parsed(row.text);
        EXPECT_EQ(Schedule::OnCalendar(when), row.onCalendar);
        EXPECT_EQ(Schedule::CronTime(when), row.cron);
        EXPECT_EQ(Parsed(Schedule::Text(when)), when);
    }
    EXPECT_EQ(Schedule::Text(Parsed("weekly Fri,Mon,Fri 08:00")), "weekly Mon,Fri 08:00");
}

TEST(Schedules, NonsenseIsRefusedWithItsReason) {
    const QList<std::pair<QString, QString>> rows = {
        {"", "is no schedule"},
        {"daily 8:30", "is no schedule"},
        {"daily 24:00", "is no time of day"},
        {"hourly :60", "is no minute"},
        {"weekly Mon,Funday 08:00", "\"Funday\" is no day of the week"},
        {"monthly 0 08:00", "0 is no day of a month"},
        {"monthly 32 08:00", "32 is no day of a month"},
        {"yearly 08:00", "is no schedule"},
    };
    for (const auto& [text, reason] : rows) {
        QString error;
        EXPECT_FALSE(Schedule::Parse(text, error)) << text.toStdString();
        EXPECT_TRUE(error.contains(reason)) << text.toStdString() << ": " << error.toStdString();
    }
}

TEST(Schedules, NextRunsAcrossMonthEndsAndClockChanges) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const auto local = [&](const QString& text) {
        const QDateTime parsed = QDateTime::fromString(text, "yyyy-MM-dd HH:mm");
        return QDateTime(parsed.date(), parsed.time(), berlin);
    };
    struct Row {
        QString when, after, next; // local times in Berlin
        int offsetHours;           // the next run's offset from UTC
    };
    const QList<Row> rows = {
        // Month ends: a day a month lacks is skipped, leap years counted.
        {"monthly 31 02:00", "2026-01-31 02:00", "2026-03-31 02:00", 2},
        {"monthly 30 12:00", "2026-01-30 12:00", "2026-03-30 12:00", 2},
        {"monthly 29 12:00", "2027-01-29 12:00", "2027-03-29 12:00", 2},
        {"monthly 29 12:00", "2028-01-29 12:00", "2028-02-29 12:00", 1},
        {"monthly 31 23:59", "2026-12-31 23:59", "2027-01-31 23:59", 1},
        {"monthly 1 00:00", "2026-12-31 23:59", "2027-01-01 00:00", 1},
        {"daily 08:30", "2026-12-31 09:00", "2027-01-01 08:30", 1},
        {"weekly Mon 08:00", "2026-12-31 09:00", "2027-01-04 08:00", 1},
        {"weekly Mon,Thu 08:00", "2026-12-31 07:00", "2026-12-31 08:00", 1},
        // Spring: 02:00 jumps to 03:00; 02:30 does not exist and runs at 03:30.
        {"daily 02:30", "2026-03-28 03:00", "2026-03-29 03:30", 2},
        {"daily 03:30", "2026-03-28 04:00", "2026-03-29 03:30", 2},
        {"daily 02:30", "2026-03-29 04:00", "2026-03-30 02:30", 2},
        // Autumn: 03:00 goes back to 02:00; 02:30 comes twice and runs the first time only.
        {"daily 02:30", "2026-10-24 03:00", "2026-10-25 02:30", 2},
        {"hourly :15", "2026-03-29 01:20", "2026-03-29 03:15", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QString(row.when + " after " + row.after).toStdString());
        const std::optional<QDateTime> next =
            Schedule::NextRun(Parsed(row.when), local(row.after), berlin);
        ASSERT_TRUE(next);
        const QDateTime shown = next->toTimeZone(berlin);
        EXPECT_EQ(shown.toString("yyyy-MM-dd HH:mm"), row.next);
        EXPECT_EQ(shown.offsetFromUtc(), row.offsetHours * 3600);
    }
    // The autumn's second 02:30 is not a second run: the next is the day after.
    const std::optional<QDateTime> first =
        Schedule::NextRun(Parsed("daily 02:30"), local("2026-10-24 03:00"), berlin);
    ASSERT_TRUE(first);
    const std::optional<QDateTime> second =
        Schedule::NextRun(Parsed("daily 02:30"), *first, berlin);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->secsTo(*second), 25 * 3600);
    // Hourly through the autumn change: 02:15 summer time, 02:15 winter time, an hour apart.
    QDateTime hour = local("2026-10-25 01:20");
    QStringList runs;
    for (int i = 0; i < 3; ++i) {
        hour = *Schedule::NextRun(Parsed("hourly :15"), hour, berlin);
        runs << hour.toTimeZone(QTimeZone::utc()).toString("HH:mm");
    }
    EXPECT_EQ(runs, QStringList({"00:15", "01:15", "02:15"}));
    EXPECT_FALSE(Schedule::NextRun(Parsed("logon"), local("2026-01-01 00:00"), berlin));
}

Tasks::Task MakeTask(const QString& name, const QString& when) {
    Tasks::Task task;
    task.name = name;
    task.definition = "Daily";
    task.when = Parsed(when);
    return task;
}

TEST(SchedulerUnits, UnitNamesAreSafeAndNeverShared) {
    const QStringList names = {"Nightly scan", "Nightly-scan", "nightly scan", "Ünïcode ✓",
                               "50% of $HOME's \"files\""};
    QSet<QString> units;
    for (const QString& name : names) {
        const QString unit = Tasks::UnitName(name);
        EXPECT_TRUE(QRegularExpression("^avtk-task-[a-z0-9-]*[0-9a-f]{8}$").match(unit).hasMatch())
            << unit.toStdString();
        units << unit;
    }
    EXPECT_EQ(units.size(), names.size());
}

TEST(SchedulerUnits, SystemdAcceptsTheUnitsOfEachKind) {
    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    QTemporaryDir dir;
    const QString program = dir.path() + "/TK Sched.exe";
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    for (const QString when :
         {"logon", "hourly :05", "daily 08:30", "weekly Mon,Sun 23:59", "monthly 31 02:00"}) {
        SCOPED_TRACE(when.toStdString());
        const Tasks::Task task = MakeTask("50% of \"my\" scan", when);
        const QString unit = Tasks::UnitName(task.name);
        QStringList files = {unit + ".service"};
        QFile service(dir.filePath(files.first()));
        ASSERT_TRUE(service.open(QIODevice::WriteOnly | QIODevice::Truncate));
        service.write(Tasks::ServiceUnit(task, program, dir.path() + "/my prefix").toUtf8());
        service.close();
        const QString timer = Tasks::TimerUnit(task);
        EXPECT_EQ(timer.isEmpty(), when == "logon");
        EXPECT_EQ(timer.contains("Persistent=true"), when != "logon");
        if (!timer.isEmpty()) {
            QFile timerFile(dir.filePath(unit + ".timer"));
            ASSERT_TRUE(timerFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
            timerFile.write(timer.toUtf8());
            files.prepend(unit + ".timer");
        }
        QDir().mkpath(dir.path() + "/my prefix");
        QProcess verify;
        verify.setWorkingDirectory(dir.path());
        verify.start(analyze, QStringList{"verify"} + files);
        ASSERT_TRUE(verify.waitForFinished(60000));
        const QString said = QString::fromUtf8(verify.readAllStandardError());
        EXPECT_EQ(verify.exitCode(), 0) << said.toStdString();
        EXPECT_FALSE(said.contains(unit)) << said.toStdString();
    }
}

TEST(SchedulerUnits, CrontabLinesComeAndGoAloneAndAreQuoted) {
    const Tasks::Task task = MakeTask("it's 100% mine", "weekly Tue 04:05");
    const QString line = Tasks::CronLine(task, "/opt/avtk/TK_Sched.exe", "/home/u/my prefix");
    EXPECT_EQ(line, "5 4 * * 2 cd '/home/u/my prefix' && VALLORIN_PREFIX='/home/u/my prefix' "
                    "'/opt/avtk/TK_Sched.exe' '/RUN=it'\\''s 100\\% mine' # " +
                        Tasks::UnitName(task.name));
    const QString foreign = "# m h dom mon dow command\nMAILTO=me\n\n0 1 * * * backup # mine\n"
                            "5 4 * * 2 other # " +
                            Tasks::UnitName("another task") + "\n";
    const QString with = foreign + line + "\n";
    EXPECT_EQ(Tasks::WithoutCronLine(with, task.name), foreign);
    EXPECT_EQ(Tasks::WithoutCronLine(foreign, task.name), foreign);
}

TEST(SchedulerRuns, CheckTasksVerifyAsTheIntegrityPageWould) {
    struct Row {
        QList<std::pair<QString, QString>> values;
        QString line; // the switches after the program, or the refusal's words
    };
    const QList<Row> rows = {
        {{{"Drives", "t"}, {"Key", "long enough"}, {"Algorithm", "CCITT CRC"}},
         " /D=t: /X=\"long enough\" /FF=\"PRINTS/My check\" /CRC /N=5 /BEEP"},
        {{{"Drives", "cd"}, {"Keyword", "0"}, {"Algorithm", "nonsense"}, {"Bytes", "12"}},
         " /D=c:;d: /NOPSW /FF=\"PRINTS/My check\" /N=12 /BEEP"},
        {{{"Drives", ""}, {"Key", "long enough"}}, "names no drives"},
        {{{"Drives", "t"}}, "keyword shorter than 8 characters"},
        {{{"Drives", "t"}, {"Key", "short"}}, "keyword shorter than 8 characters"},
    };
    for (const Row& row : rows) {
        TempPrefix prefix;
        SettingsStore store(prefix.folder());
        store.setRootKey(RootKey::CurrentUser);
        store.openKey(VallorinProgramKey + "\\Verify\\My check", true);
        for (const auto& [value, text] : row.values)
            store.writeString(value, text);
        store.closeKey();
        Tasks::Task task;
        task.runs = Tasks::Runs::Check;
        task.definition = "My check";
        QString why;
        const std::optional<QString> line =
            TaskRun::CommandLineOf(store, task, "/kit/", prefix.folder() + "p", why);
        if (row.line.startsWith(' ')) {
            ASSERT_TRUE(line) << why.toStdString();
            QString expected = "/kit/WViVer32.exe" + row.line;
            expected.replace("PRINTS", prefix.folder() + "p/Prints");
            EXPECT_EQ(*line, expected);
        } else {
            EXPECT_FALSE(line);
            EXPECT_TRUE(why.contains(row.line)) << why.toStdString();
        }
    }
}

// ---- TK_Sched.exe on a prefix of the test's own

class ToolkitScheduler : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        toolkit = temp.path() + "/tool kit/";
        QDir().mkpath(toolkit);
        program = toolkit + "TK_Sched.exe";
        ASSERT_TRUE(QFile::copy(InstallLayout::ToolkitFolder(bin) + "TK_Sched.exe", program));
        QDir().mkpath(temp.path() + "/bin");
        // The fake crontab keeps the table in a file. Both fakes fail once where the file "fail"
        // says: "<program> <word> <n>" fails the n-th call whose arguments hold the word.
        script("bin/crontab",
               "#!/bin/sh\n" + failing() + "f=\"" + temp.path() +
                   "/crontab\"\n"
                   "if failing crontab \"$@\"; then [ \"$1\" = - ] && cat >/dev/null; exit 1; fi\n"
                   "if [ \"$1\" = -l ]; then [ -f \"$f\" ] || { echo \"no crontab for "
                   "$(id -un)\" >&2; exit 1; }; cat \"$f\"; exit 0; fi\n"
                   "[ \"$1\" = - ] && cat > \"$f\"\n");
        systemd(false);
        // The scanner records its arguments and ends with exit level 3.
        script("tool kit/WFindV32.exe",
               "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + temp.path() + "/scan-args\"\nexit 3\n");
    }

    void script(const QString& relative, const QString& text) const {
        QFile file(temp.path() + '/' + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString failing() const {
        return "failing() {\n ff=\"" + temp.path() +
               "/fail\"; [ -f \"$ff\" ] || return 1; read p w n < \"$ff\"; [ \"$p\" = \"$1\" ] || "
               "return 1; shift\n case \" $* \" in *\" $w \"*) ;; *) return 1;; esac\n"
               " n=$((n-1)); [ $n -gt 0 ] && { echo \"$p $w $n\" > \"$ff\"; return 1; }\n"
               " rm \"$ff\"; echo \"$p: failed as the test asked\" >&2\n}\n";
    }
    // The fake systemctl logs its arguments, answers as `running` says and keeps the enabled
    // units in the file "enabled".
    void systemd(bool running) const {
        const QString log = '"' + temp.path() + "/systemctl.log\"";
        const QString enabled = '"' + temp.path() + "/enabled\"";
        script("bin/systemctl",
               "#!/bin/sh\n" + failing() + "echo \"$@\" >> " + log +
                   "\nfailing systemctl \"$@\" && exit 1\n" + (running ? "" : "exit 1\n") +
                   "touch " + enabled +
                   "\nshift\ncase \"$1\" in\n"
                   "enable) shift; for u; do grep -qx \"$u\" " +
                   enabled + " || echo \"$u\" >> " + enabled +
                   "; done;;\n"
                   "disable) shift; [ \"$1\" = --now ] && shift; for u; do grep -vx \"$u\" " +
                   enabled + " > " + enabled + ".new; mv " + enabled + ".new " + enabled +
                   "; done;;\nesac\nexit 0\n");
    }
    QString read(const QString& relative) const {
        QFile file(temp.path() + '/' + relative);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QStringList environment() const {
        return {"PATH=" + temp.path() + "/bin:/usr/bin:/bin",
                "XDG_CONFIG_HOME=" + temp.path() + "/config", "HOME=" + temp.path() + "/home"};
    }
    int run(const QStringList& args) {
        const HeadlessRun done = RunHeadless(program, args, prefix.folder(), environment());
        output = done.output;
        return done.exitCode;
    }

    // What the user sees of the tasks: the crontab, the unit files, the enabled units and the
    // stored tasks.
    QString state() const {
        QStringList enabled = read("enabled").split('\n', Qt::SkipEmptyParts);
        enabled.sort();
        QStringList parts = {"crontab:\n" + read("crontab"), "enabled: " + enabled.join(' ')};
        const QString units = "config/systemd/user/";
        for (const QString& file : QDir(temp.path() + '/' + units).entryList(QDir::Files))
            parts << file + ":\n" + read(units + file);
        SettingsStore store(prefix.folder());
        for (const Tasks::Task& task : Tasks::Load(store))
            parts << QStringList{"task",          task.name,
                                 task.definition, Schedule::Text(task.when),
                                 task.installed,  task.lastRun}
                         .join(" | ");
        return parts.join('\n');
    }
    // Starts over with the foreign crontab line and unit the tasks must leave alone.
    void clearTasks() const {
        for (const char* file : {"crontab", "enabled", "fail", "systemctl.log"})
            QFile::remove(temp.path() + '/' + file);
        QDir(temp.path() + "/config").removeRecursively();
        QDir().mkpath(temp.path() + "/config/systemd/user");
        script("crontab", "MAILTO=someone\n0 3 * * * /usr/bin/backup\n");
        script("config/systemd/user/mine.timer", "[Timer]\nOnCalendar=daily\n");
        SettingsStore store(prefix.folder());
        store.setRootKey(RootKey::CurrentUser);
        store.deleteKey(Tasks::TasksKey);
    }

    // Stores a scan definition as the scan page does.
    void storeScan(const QString& name, const QList<std::pair<QString, QString>>& values) const {
        SettingsStore store(prefix.folder());
        store.setRootKey(RootKey::CurrentUser);
        store.openKey(VallorinProgramKey + "\\Find\\" + name, true);
        for (const auto& [value, text] : values)
            store.writeString(value, text);
        store.closeKey();
    }
    QString expectedScanArguments(const QString& name) const {
        SettingsStore store(prefix.folder());
        const std::optional<ScanOptions> options = ReadScanDefinition(store, name, toolkit);
        EXPECT_TRUE(options);
        const QString line = WithProgramQuoted(toolkit, ScanCommandLine(toolkit, *options));
        return SplitCommandLine(line).arguments.join('\n') + '\n';
    }
    QString stored(const QString& task, const QString& value) const {
        SettingsStore store(prefix.folder());
        store.setRootKey(RootKey::CurrentUser);
        if (!store.openKey(Tasks::TasksKey + '\\' + task, false))
            return "(no task)";
        const QString text = store.readString(value);
        store.closeKey();
        return text;
    }

    QTemporaryDir temp;
    TempPrefix prefix;
    QString toolkit, program, output;
};

TEST_F(ToolkitScheduler, CrontabGetsTheTaskAndLosesOnlyIt) {
    const QString foreign = "MAILTO=someone\n# keep me\n0 3 * * * /usr/bin/backup\n";
    script("crontab", foreign);
    storeScan("Daily", {{"Drives", "All"}});
    EXPECT_EQ(run({"/ADD=Nightly scan", "/SCAN=Daily", "/WHEN=daily", "02:30"}), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains("Tasks run from your crontab")) << output.toStdString();
    EXPECT_TRUE(output.contains("Nightly scan: Scan \"Daily\", daily at 02:30"))
        << output.toStdString();
    const QString withTask = read("crontab");
    EXPECT_TRUE(withTask.startsWith(foreign)) << withTask.toStdString();
    EXPECT_TRUE(withTask.contains("30 2 * * * cd '" + prefix.folder().chopped(1)))
        << withTask.toStdString();
    EXPECT_EQ(stored("Nightly scan", "Installed"), "crontab");
    // Changing it replaces its line; removing it leaves the table as it was.
    EXPECT_EQ(run({"/CHANGE=Nightly scan", "/SCAN=Daily", "/WHEN=weekly", "Sat", "04:00"}), 0)
        << output.toStdString();
    EXPECT_EQ(read("crontab").count(Tasks::UnitName("Nightly scan")), 1);
    EXPECT_TRUE(read("crontab").contains("0 4 * * 6 cd"));
    EXPECT_EQ(run({"/REMOVE=Nightly scan"}), 0) << output.toStdString();
    EXPECT_EQ(read("crontab"), foreign);
    EXPECT_EQ(stored("Nightly scan", "Installed"), "(no task)");
    EXPECT_FALSE(read("systemctl.log").contains("enable"));
}

TEST_F(ToolkitScheduler, SystemdGetsUnitsAndLosesOnlyThem) {
    systemd(true);
    const QString units = temp.path() + "/config/systemd/user/";
    QDir().mkpath(units);
    script("config/systemd/user/mine.timer", "[Timer]\nOnCalendar=daily\n");
    storeScan("Daily", {{"Drives", "All"}});
    EXPECT_EQ(run({"/ADD=Nightly", "/SCAN=Daily", "/WHEN=monthly", "31", "01:00"}), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains("Tasks run from systemd user timers (" + units.chopped(1) + ")"))
        << output.toStdString();
    const QString unit = Tasks::UnitName("Nightly");
    EXPECT_TRUE(
        read("config/systemd/user/" + unit + ".timer").contains("OnCalendar=*-*-31 01:00:00"));
    EXPECT_TRUE(read("config/systemd/user/" + unit + ".service").contains("/RUN=Nightly"));
    EXPECT_TRUE(read("systemctl.log").contains("--user enable " + unit + ".timer"))
        << read("systemctl.log").toStdString();
    EXPECT_EQ(read("crontab"), QString());
    EXPECT_EQ(run({"/REMOVE=Nightly"}), 0) << output.toStdString();
    EXPECT_FALSE(QFile::exists(units + unit + ".timer"));
    EXPECT_FALSE(QFile::exists(units + unit + ".service"));
    EXPECT_TRUE(QFile::exists(units + "mine.timer"));
    EXPECT_TRUE(read("systemctl.log")
                    .contains("--user disable --now " + unit + ".timer " + unit + ".service"));
}

TEST_F(ToolkitScheduler, RefusesWhatItCannotScheduleAndChangesNothing) {
    storeScan("Daily", {{"Drives", "All"}});
    const QList<std::pair<QStringList, QString>> rows = {
        {{"/ADD=x", "/SCAN=Nope", "/WHEN=daily", "08:00"}, "There is no scan definition \"Nope\""},
        {{"/ADD=x", "/CHECK=Daily", "/WHEN=daily", "08:00"}, "There is no check definition"},
        {{"/ADD=x", "/SCAN=Daily", "/WHEN=sometimes"}, "is no schedule"},
        {{"/ADD=x", "/WHEN=daily", "08:00"}, "Give the definition to run"},
        {{"/ADD=a\\b", "/SCAN=Daily", "/WHEN=logon"}, "cannot hold"},
        {{"/REMOVE=ghost"}, "There is no scheduled task \"ghost\""},
        {{"/BOGUS"}, "Unknown switch"},
    };
    for (const auto& [args, said] : rows) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_EQ(run(args), 8);
        EXPECT_TRUE(output.contains(said)) << output.toStdString();
    }
    EXPECT_FALSE(QFile::exists(temp.path() + "/crontab"));
    EXPECT_EQ(run({"/LIST"}), 0);
    EXPECT_TRUE(output.contains("No tasks are scheduled.")) << output.toStdString();
}

TEST_F(ToolkitScheduler, RunBuildsTheLineFromTheDefinitionAsStoredThen) {
    storeScan("Daily", {{"Drives", "C"}, {"Report", "1"}});
    ASSERT_EQ(run({"/ADD=Nightly", "/SCAN=Daily", "/WHEN=hourly", ":00"}), 0)
        << output.toStdString();
    EXPECT_EQ(run({"/RUN=Nightly"}), 3) << output.toStdString();
    EXPECT_EQ(read("scan-args"), expectedScanArguments("Daily"));
    EXPECT_TRUE(read("scan-args").contains("/D=C")) << read("scan-args").toStdString();
    EXPECT_EQ(stored("Nightly", "LastResult"),
              "Exit level 3; report " + prefix.folder() + "FindViru.Rep.");
    // The definition changed on the page after the task was made: the run follows it.
    storeScan("Daily", {{"Drives", "Local"}, {"Exe", "0"}, {"Report", "0"}});
    EXPECT_EQ(run({"/RUN=Nightly"}), 3) << output.toStdString();
    EXPECT_EQ(read("scan-args"), expectedScanArguments("Daily"));
    EXPECT_TRUE(read("scan-args").contains("/LOCAL"));
    EXPECT_EQ(stored("Nightly", "LastResult"), "Exit level 3; no report.");
    EXPECT_FALSE(stored("Nightly", "LastRun").isEmpty());
    // The definition removed: a clear result, kept with the task, and the scanner not started.
    {
        SettingsStore store(prefix.folder());
        store.setRootKey(RootKey::CurrentUser);
        store.deleteKey(VallorinProgramKey + "\\Find\\Daily");
    }
    QFile::remove(temp.path() + "/scan-args");
    EXPECT_EQ(run({"/RUN=Nightly"}), 8);
    const QString removed = "The scan definition \"Daily\" is no longer stored; nothing was run.";
    EXPECT_TRUE(output.contains(removed)) << output.toStdString();
    EXPECT_EQ(stored("Nightly", "LastResult"), removed);
    EXPECT_FALSE(QFile::exists(temp.path() + "/scan-args"));
    EXPECT_EQ(run({"/LIST"}), 0);
    EXPECT_TRUE(output.contains(removed)) << output.toStdString();
    EXPECT_EQ(run({"/RUN=ghost"}), 8);
    EXPECT_TRUE(output.contains("There is no scheduled task \"ghost\"."));
}

TEST_F(ToolkitScheduler, AStepThatFailsLeavesTheTasksAsTheyWere) {
    storeScan("Daily", {{"Drives", "All"}});
    storeScan("Weekly", {{"Drives", "C"}});
    struct Row {
        bool systemdBefore, systemdNow; // whether systemd answers when "Nightly" is added, and now
        QStringList args;
        QString fail; // "<program> <word> <n>": the call that fails
        QString said;
    };
    const QStringList rename = {"/CHANGE=Nightly", "/NAME=Renamed", "/SCAN=Weekly",
                                "/WHEN=weekly",    "Sat",           "04:00"};
    const QString left = "The task \"Nightly\" was left as it was: ";
    const QList<Row> rows = {
        // Renamed: the new units fail, the store fails, or the old units will not go.
        {true, true, rename, "systemctl daemon-reload 1", left + "systemctl --user daemon-reload"},
        {true, true, rename, "systemctl enable 1", left + "systemctl --user enable"},
        {true, true, rename, "systemctl start 1", left + "systemctl --user start"},
        {true, true, rename, "systemctl disable 1", left + "systemctl --user disable --now"},
        {true, true, rename, "systemctl daemon-reload 2", left},
        {false, false, rename, "crontab - 1", left + "crontab -: crontab: failed"},
        {false, false, rename, "crontab - 2", left + "crontab -: crontab: failed"},
        {false, false, rename, "crontab -l 1", left + "crontab -l"},
        // The same name with a schedule of other units, or moved to the other scheduler.
        {true, true, {"/CHANGE=Nightly", "/SCAN=Daily", "/WHEN=logon"}, "systemctl enable 1", left},
        {true,
         true,
         {"/CHANGE=Nightly", "/SCAN=Daily", "/WHEN=logon"},
         "systemctl disable 1",
         left},
        {false, true, {"/CHANGE=Nightly", "/SCAN=Daily", "/WHEN=logon"}, "crontab - 1", left},
        {true, false, {"/CHANGE=Nightly", "/SCAN=Daily", "/WHEN=logon"}, "crontab - 1", left},
        // Added and removed.
        {true,
         true,
         {"/ADD=Other", "/SCAN=Daily", "/WHEN=hourly", ":10"},
         "systemctl start 1",
         "The task \"Other\" was not added: systemctl --user start"},
        {false,
         false,
         {"/ADD=Other", "/SCAN=Daily", "/WHEN=logon"},
         "crontab - 1",
         "The task \"Other\" was not added: crontab -"},
        {true,
         true,
         {"/REMOVE=Nightly"},
         "systemctl disable 1",
         "The task \"Nightly\" was not removed: systemctl --user disable"},
        {true,
         true,
         {"/REMOVE=Nightly"},
         "systemctl daemon-reload 1",
         "The task \"Nightly\" was not removed: systemctl --user daemon-reload"},
        {false,
         false,
         {"/REMOVE=Nightly"},
         "crontab - 1",
         "The task \"Nightly\" was not removed: crontab -"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QString(row.args.join(' ') + " failing at " + row.fail).toStdString());
        clearTasks();
        systemd(row.systemdBefore);
        ASSERT_EQ(run({"/ADD=Nightly", "/SCAN=Daily", "/WHEN=daily", "02:30"}), 0)
            << output.toStdString();
        ASSERT_EQ(run({"/RUN=Nightly"}), 3) << output.toStdString();
        systemd(row.systemdNow);
        const QString before = state();
        script("fail", row.fail);
        EXPECT_EQ(run(row.args), 8);
        EXPECT_FALSE(QFile::exists(temp.path() + "/fail")) << "the step was never reached";
        EXPECT_TRUE(output.contains("Error: " + row.said)) << output.toStdString();
        EXPECT_FALSE(output.contains("failed too")) << output.toStdString();
        EXPECT_EQ(state(), before) << read("systemctl.log").toStdString();
    }
    // Nothing failing, the renamed task keeps its last run and only its own units stay.
    clearTasks();
    systemd(true);
    ASSERT_EQ(run({"/ADD=Nightly", "/SCAN=Daily", "/WHEN=daily", "02:30"}), 0);
    ASSERT_EQ(run({"/RUN=Nightly"}), 3);
    const QString lastRun = stored("Nightly", "LastRun");
    ASSERT_EQ(run(rename), 0) << output.toStdString();
    EXPECT_EQ(stored("Nightly", "Installed"), "(no task)");
    EXPECT_EQ(stored("Renamed", "LastRun"), lastRun);
    const QString unit = Tasks::UnitName("Renamed");
    EXPECT_EQ(QDir(temp.path() + "/config/systemd/user").entryList(QDir::Files),
              QStringList({unit + ".service", unit + ".timer", "mine.timer"}));
    EXPECT_EQ(read("enabled"), unit + ".timer\n");
}

TEST_F(ToolkitScheduler, OneRunOfATaskAtATime) {
    storeScan("Daily", {{"Drives", "C"}});
    ASSERT_EQ(run({"/ADD=Nightly", "/SCAN=Daily", "/WHEN=hourly", ":00"}), 0)
        << output.toStdString();
    // The scanner says it started and ends with exit level 3 when the test lets it.
    const QString started = temp.path() + "/started", release = temp.path() + "/release";
    // It also ends when the test's folder is gone: a scanner left behind must not outlive it.
    script("tool kit/WFindV32.exe", "#!/bin/sh\ntouch \"" + started + "\"\nwhile [ ! -f \"" +
                                        release + "\" ]; do [ -d \"" + temp.path() +
                                        "\" ] || exit 3; sleep 0.05; done\nexit 3\n");
    const auto startRun = [&](QProcess& process) {
        QFile::remove(started);
        StartHeadless(process, program, {"/RUN=Nightly"}, prefix.folder(), environment());
        for (int i = 0; i < 1200 && !QFile::exists(started); ++i)
            QThread::msleep(50);
        ASSERT_TRUE(QFile::exists(started)) << "the first run's scanner never started";
    };
    QProcess first;
    startRun(first);
    EXPECT_EQ(run({"/RUN=Nightly"}), TaskRun::AlreadyRunningExitCode);
    EXPECT_TRUE(output.contains(TaskRun::AlreadyRunningText("Nightly"))) << output.toStdString();
    EXPECT_EQ(stored("Nightly", "LastRun"), ""); // the running one keeps its own result
    script("release", "");
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 3);
    // A run that is killed leaves nothing locked.
    QFile::remove(release);
    QProcess killed;
    startRun(killed);
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(60000));
    script("release", ""); // its scanner, left behind, ends too
    EXPECT_EQ(run({"/RUN=Nightly"}), 3) << output.toStdString();
}

} // namespace
