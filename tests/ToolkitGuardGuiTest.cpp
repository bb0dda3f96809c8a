// The resident guard's front end (WGFE95.EXE) started for real on a prefix whose driver key the
// guard page's own Apply wrote, without a display: alerts come on its standard output, the
// repair question is answered on its standard input, and every event is in its log.
#include "platform/InstallLayout.h"
#include "support/FormFixture.h"
#include "support/WaitFor.h"

#include "engine/Signatures.h"
#include "guard/WinGuard.h"
#include "lib/Zip.h"
#include "resident/AccessWatch.h"
#include "resident/GuardSettings.h"

#include "ui_GuardSheet.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <functional>
#include <iostream>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QString DriverKey = "System\\CurrentControlSet\\Services\\VXD\\WinGuard";

// Where the tests' process may not use fanotify (a container without the right), the guard it
// starts cannot either: the rows of fanotify mode are left out there.
bool FanotifyUsable() {
    const int fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// fanotify marks whole mounts: the tests' process takes a mount namespace of its own (once; the
// guards it starts share it), where marks on its copy of a mount touch no process outside.
bool PrivateMounts() {
    static const bool made = ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made;
}

// The mount a path lies on.
uint64_t MountOf(const QString& path) {
    struct statx stx;
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), 0, STATX_MNT_ID, &stx) != 0)
        return 0;
    return stx.stx_mnt_id;
}

void Write(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

} // namespace

class ToolkitGuard : public FormFixture {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        toolkit = prefix.path("toolkit/");
        QDir().mkpath(toolkit + "Signatures");
        ASSERT_TRUE(
            QFile::copy(InstallLayout::ToolkitFolder(bin) + "WGFE95.EXE", toolkit + "WGFE95.EXE"));
        Write(toolkit + "Signatures/test.ndb",
              "Test.Eicar:0:0:" + avtk::EicarTestString().toHex() + "\n");
        seed(RootKey::LocalMachine, "SOFTWARE\\Dr Solomon's Software\\Anti-Virus",
             {{"InstallPath", toolkit}});
        for (const char* letter : {"t", "u", "a"}) {
            QDir().mkpath(prefix.path(QString("drive-") + letter));
            prefix.mapDrive(QChar::fromLatin1(letter[0]), prefix.path(QString("drive-") + letter));
        }
        start();
    }
    void TearDown() override {
        stopGuard();
        for (const QString& folder : std::exchange(mounted, {}))
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }

    Ui::GuardSheet& g() { return form->Guard; }
    // Installs (or re-applies) the guard with the page as the test set it, and a log.
    void apply() {
        g().ChkBoxLog->setChecked(true);
        g().EditLog->setText(prefix.path("guard.log"));
        g().ChkBoxEnable->setChecked(true);
        SBtnApplyClick(*form);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("VALLORIN_PREFIX", prefix.folder());
        env.insert("AVTK_CLAMAV_DATABASE", prefix.path("no-system-database"));
        // The tests run as root, where the guard would take fanotify: inotify unless a test
        // asks for fanotify.
        if (!fanotify)
            env.insert("WINGUARD_MODE", "inotify");
        return env;
    }
    // A guard on the page's settings with "Check on writes" as given and a fresh log, started
    // with a folder of drive T: empty, or not there when it is to arrive later.
    void startGuardWithFolder(bool writes, const QString& folder, bool there) {
        g().ChkBoxWrite->setChecked(writes);
        apply();
        QFile::remove(prefix.path("guard.log"));
        QDir(prefix.path("drive-t/" + folder)).removeRecursively();
        if (there)
            QDir().mkpath(prefix.path("drive-t/" + folder));
        out.clear();
        startGuard();
    }
    void startGuard() {
        guard = std::make_unique<QProcess>();
        // Started elsewhere: the prefix comes from the environment, not the working folder.
        guard->setWorkingDirectory(elsewhere());
        guard->setProcessEnvironment(environment());
        guard->start(toolkit + "WGFE95.EXE", {});
        ASSERT_TRUE(guard->waitForStarted(10000));
        ASSERT_TRUE(WaitFor([&] { return log().contains("Watching: "); }))
            << log().toStdString() << guard->readAllStandardError().toStdString();
        if (!modeTold) {
            for (const QString& line : log().split("\r\n"))
                if (line.contains("Mode: "))
                    std::cout << "[ guard    ] " << line.section("Mode: ", 1).toStdString() << '\n';
            modeTold = true;
        }
    }
    // SIGTERM, then the guard must end by itself and log its stop.
    void stopGuard() {
        if (!guard || guard->state() == QProcess::NotRunning)
            return;
        guard->terminate();
        const bool ended = guard->waitForFinished(30000);
        if (!ended) {
            guard->kill();
            guard->waitForFinished(5000);
        }
        EXPECT_TRUE(ended) << "the guard did not end on SIGTERM";
        EXPECT_EQ(guard->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(guard->exitCode(), 0);
        EXPECT_TRUE(log().contains("WinGuard stopped (SIGTERM).")) << log().toStdString();
        EXPECT_FALSE(QFile::exists(prefix.path("WGFE95.pid")));
        EXPECT_TRUE(
            QDir(elsewhere()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
    QString elsewhere() const {
        QDir().mkpath(prefix.path("elsewhere"));
        return prefix.path("elsewhere");
    }
    QString log() const {
        QFile file(prefix.path("guard.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString output() {
        out += QString::fromUtf8(guard->readAllStandardOutput());
        return out;
    }
    bool alerted(const QString& text) {
        return WaitFor([&] {
            guard->waitForReadyRead(20);
            return output().contains("ALERT: " + text);
        });
    }
    int run(const QStringList& args, QString* errors) { return run(args, errors, environment()); }
    int run(const QStringList& args, QString* errors, const QProcessEnvironment& env) {
        QProcess process;
        process.setWorkingDirectory(elsewhere());
        process.setProcessEnvironment(env);
        process.start(toolkit + "WGFE95.EXE", args);
        EXPECT_TRUE(process.waitForFinished(30000));
        *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    }
    // The mode the next guard starts in; false for fanotify where this process may not use it
    // (the row is then left out).
    // ownMounts: the drives get memory file systems of their own, so that their mount holds
    // none of the system's folders and opening is watched there.
    bool useMode(bool onAccess, bool ownMounts = true) {
        if (onAccess && (!FanotifyUsable() || !PrivateMounts())) {
            std::cout << "[ skipped  ] fanotify cannot be used by this process\n";
            return false;
        }
        for (const char* letter : {"t", "u", "a"}) {
            const QString folder = prefix.path(QString("drive-") + letter);
            if (onAccess && ownMounts && !mounted.contains(folder)) {
                EXPECT_EQ(::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                                  "size=256m"),
                          0)
                    << folder.toStdString();
                mounted << folder;
            }
        }
        fanotify = onAccess;
        return true;
    }
    // The errno of opening a file for reading, 0 when it opened.
    static int openError(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const int error = fd < 0 ? errno : 0;
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    QString watchingLine() const {
        for (const QString& line : log().split("\r\n"))
            if (line.contains("Watching: "))
                return line.section("Watching: ", 1);
        return {};
    }

    QString toolkit, out;
    std::unique_ptr<QProcess> guard;
    QStringList mounted;
    bool modeTold = false;
    bool fanotify = false;
};

TEST_F(ToolkitGuard, AFileWrittenIntoAWatchedDriveIsAlertedAndLogged) {
    struct Row {
        bool fanotify;
        bool writes; // fanotify: checked when closed after writing too, without an opening
        QString mode;
    };
    for (const Row& row : {Row{false, false, "inotify"}, Row{true, false, "fanotify"},
                           Row{true, true, "fanotify"}}) {
        SCOPED_TRACE(QString(row.mode + (row.writes ? " writes" : "")).toStdString());
        if (!useMode(row.fanotify))
            continue;
        g().ChkBoxWrite->setChecked(row.writes);
        apply();
        QFile::remove(prefix.path("guard.log"));
        out.clear();
        startGuard();
        EXPECT_TRUE(log().contains("Mode: " + row.mode + ": ")) << log().toStdString();
        // Without a tray the mode is told on standard output too.
        EXPECT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            return output().contains("STATUS: WinGuard runs in " + row.mode + " mode");
        })) << out.toStdString();
        const QString path = prefix.path("drive-t/tools/eicar.com");
        Write(path, avtk::EicarTestString());
        // Checked when opened: the opening is refused.
        if (row.fanotify && !row.writes) {
            EXPECT_EQ(openError(path), EPERM);
        }
        ASSERT_TRUE(alerted("File T:\\tools\\eicar.com is infected with the Test.Eicar virus!!!"))
            << out.toStdString() << log().toStdString();
        EXPECT_TRUE(log().contains("T:\\tools\\eicar.com  Infected: Test.Eicar"));
        if (row.fanotify && !row.writes) {
            // Opened again: refused again, and logged without a second alert.
            EXPECT_EQ(openError(path), EPERM);
            EXPECT_TRUE(WaitFor([&] { return log().contains("(its opening was denied again)"); }))
                << log().toStdString();
            guard->waitForReadyRead(100);
            EXPECT_EQ(output().count("ALERT: File T:\\tools\\eicar.com"), 1) << out.toStdString();
        }
        // No repair asked for: the file stays.
        EXPECT_TRUE(QFile::exists(path));
        stopGuard();
        QFile::remove(path);
    }
    // A clean file in a watched drive opens in either mode.
    if (!useMode(true))
        useMode(false);
    Write(prefix.path("drive-t/clean.com"), "MZ clean");
    QFile::remove(prefix.path("guard.log"));
    // A file counts as unchanged for a while at once, so that the test need not wait for it.
    qputenv("AVTK_GUARD_SETTLED_MS", "0");
    startGuard();
    qunsetenv("AVTK_GUARD_SETTLED_MS");
    QFile clean(prefix.path("drive-t/clean.com"));
    EXPECT_TRUE(clean.open(QIODevice::ReadOnly));
    EXPECT_EQ(clean.readAll(), QByteArray("MZ clean"));
    clean.close();
    if (!fanotify)
        return;
    // A clean file the guard remembers (one not changed for a while: opened twice) that is then
    // rewritten infected is checked anew: its next opening is refused.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(openError(clean.fileName()), 0);
    Write(clean.fileName(), avtk::EicarTestString());
    EXPECT_EQ(openError(clean.fileName()), EPERM);
    EXPECT_TRUE(alerted("File T:\\clean.com is infected")) << out.toStdString();
}

TEST_F(ToolkitGuard, AnArchiveIsLookedIntoWhenWrittenAndWhenOpenedUpToTheLimit) {
    struct Row {
        const char* what;
        bool fanotify, writes;
        qint64 padding; // stored beside the infected member
        bool found;
    };
    const QList<Row> rows = {
        {"inotify: written", false, true, 0, true},
        {"fanotify: opened", true, false, 0, true},
        {"fanotify: closed after writing", true, true, 0, true},
        // Over the limit, an opened archive is checked as one file: the opening goes through.
        {"fanotify: opened, over the limit", true, false, guard::AccessWatch::ArchiveOpenLimit,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!useMode(row.fanotify))
            continue;
        startGuardWithFolder(row.writes, "dl", true);
        QList<Zip::Input> members = {{"eicar.com", avtk::EicarTestString(), false}};
        if (row.padding > 0)
            members << Zip::Input{"padding.bin", QByteArray(row.padding, '\0'), false};
        const QString path = prefix.path("drive-t/dl/tools.zip");
        Write(path, Zip::Write(members));
        if (row.fanotify && !row.writes) {
            EXPECT_EQ(openError(path), row.found ? EPERM : 0);
        }
        if (row.found) {
            EXPECT_TRUE(alerted("File T:\\dl\\tools.zip is infected with the Test.Eicar virus!!!"))
                << out.toStdString() << log().toStdString();
            EXPECT_TRUE(log().contains("T:\\dl\\tools.zip > eicar.com  Infected: Test.Eicar"))
                << log().toStdString();
        }
        stopGuard();
        QFile::remove(path);
    }
}

TEST_F(ToolkitGuard, OnTheSystemsMountOnlyExecutionWaits) {
    if (!useMode(true, false))
        return;
    const QString folder = prefix.path("programs");
    if (MountOf(prefix.folder()) != MountOf("/"))
        GTEST_SKIP() << "the temporary folder is not on the root's mount";
    // C: as a fresh prefix maps it: the whole machine.
    prefix.mapDrive(u'c', "/");
    g().RadBtnDef->setChecked(true);
    g().EditGuardDrv->setText("c");
    apply();
    startGuard();
    EXPECT_TRUE(log().contains("(on the mount of the system's folders): only executing"))
        << log().toStdString();
    const QString program = folder + "/infected.com";
    Write(program, avtk::EicarTestString());
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    // Written: checked without the writer waiting; read: not held up; executed: refused.
    EXPECT_TRUE(alerted("File C:" + QString(program).replace(u'/', u'\\') + " is infected"))
        << out.toStdString();
    EXPECT_EQ(openError(program), 0);
    const auto spawn = [](const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        char* const argv[] = {const_cast<char*>(name.constData()), nullptr};
        pid_t child = 0;
        const int error = ::posix_spawn(&child, name.constData(), nullptr, nullptr, argv, environ);
        if (error == 0)
            ::waitpid(child, nullptr, 0);
        return error;
    };
    EXPECT_EQ(spawn(program), EPERM);
    // The system's own programs run.
    EXPECT_EQ(spawn("/bin/true"), 0);
}

TEST_F(ToolkitGuard, AFileOverTheLimitIsLoggedOncePerChange) {
    if (!useMode(true))
        return;
    apply();
    startGuard();
    const QString big = prefix.path("drive-t/big.exe");
    Write(big, "MZ");
    ASSERT_TRUE(QFile::resize(big, 101 * 1024 * 1024));
    const auto told = [&] { return log().count("T:\\big.exe  not checked: larger than 100 MB"); };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(openError(big), 0);
    EXPECT_TRUE(WaitFor([&] { return told() == 1; })) << log().toStdString();
    // Changed: told again, once.
    ASSERT_TRUE(QFile::resize(big, 102 * 1024 * 1024));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(openError(big), 0);
    EXPECT_TRUE(WaitFor([&] { return told() == 2; })) << log().toStdString();
    QThread::msleep(300);
    EXPECT_EQ(told(), 2) << log().toStdString();
}

// More programs opening new files at once than the guard scans at a time: each opening is
// answered by its own file's scan, none let through by the time limit.
TEST_F(ToolkitGuard, OpeningsMadeAtOnceAreEachAnsweredByTheirScan) {
    if (!useMode(true))
        GTEST_SKIP() << "fanotify cannot be used by this process";
    constexpr int Files = 24;
    const auto path = [&](int i) { return prefix.path(QString("drive-t/at-once/%1.com").arg(i)); };
    for (int i = 0; i < Files; ++i)
        Write(path(i), i % 2 ? avtk::EicarTestString() : QByteArray("MZ clean"));
    g().ChkBoxWrite->setChecked(false);
    apply();
    startGuard();
    std::vector<int> errors(Files, -1);
    std::vector<std::thread> openers;
    for (int i = 0; i < Files; ++i)
        openers.emplace_back([&, i] { errors[i] = openError(path(i)); });
    for (std::thread& opener : openers)
        opener.join();
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(errors[i], i % 2 ? EPERM : 0) << i;
    EXPECT_FALSE(log().contains("not checked within")) << log().toStdString();
}

TEST_F(ToolkitGuard, TheDriveChoiceDecidesTheWatchedDrives) {
    struct Row {
        QRadioButton* Ui::GuardSheet::*button;
        QString defined;
        QString watched; // the letters, in order
    };
    // The drives are folders of the temporary (local) file system; A: is the floppy.
    const QList<Row> rows = {
        {&Ui::GuardSheet::RadBtnAll, {}, "A: T: U:"},
        {&Ui::GuardSheet::RadBtnFloppies, {}, "A:"},
        {&Ui::GuardSheet::RadBtnNetwork, {}, "A:"},
        {&Ui::GuardSheet::RadBtnLocal, {}, "A: T: U:"},
        {&Ui::GuardSheet::RadBtnDef, "u", "U:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.watched.toStdString());
        if (!row.defined.isEmpty())
            g().EditGuardDrv->setText(row.defined);
        (g().*row.button)->setChecked(true);
        apply();
        QFile::remove(prefix.path("guard.log"));
        startGuard();
        QStringList letters;
        for (const QString& part : watchingLine().split(", "))
            letters << part.section(' ', 0, 0);
        EXPECT_EQ(letters.join(' '), row.watched) << log().toStdString();
        const QChar first = row.watched[0].toLower();
        Write(prefix.path(QString("drive-%1/x.com").arg(first)), avtk::EicarTestString());
        EXPECT_TRUE(alerted(QString("File %1:\\x.com is infected").arg(first.toUpper())));
        stopGuard();
    }
}

TEST_F(ToolkitGuard, ALetterThatDoesNotResolveIsLoggedAndTheOthersAreWatched) {
    struct Row {
        QString drives, watching, status;
    };
    const QList<Row> rows = {
        {"qt", "T: (", "WinGuard runs in inotify mode"},
        // Nothing left to watch: protection is off, and the status says so.
        {"q", "no drive", "WinGuard watches no drive: protection is off"},
    };
    g().RadBtnDef->setChecked(true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.drives.toStdString());
        g().EditGuardDrv->setText(row.drives);
        apply();
        QFile::remove(prefix.path("guard.log"));
        out.clear();
        startGuard();
        EXPECT_TRUE(log().contains("Drive Q: does not resolve to a folder or a disk: it is not "
                                   "watched."))
            << log().toStdString();
        EXPECT_TRUE(watchingLine().startsWith(row.watching)) << log().toStdString();
        EXPECT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            return output().contains("STATUS: " + row.status);
        })) << out.toStdString();
        stopGuard();
    }
}

TEST_F(ToolkitGuard, RepairTrueMakesTheFileHarmlessAtOnce) {
    g().ChkBoxRepair->setChecked(true);
    g().ChkBoxPrompt->setChecked(false);
    apply();
    for (const bool onAccess : {false, true}) {
        SCOPED_TRACE(onAccess ? "fanotify" : "inotify");
        if (!useMode(onAccess))
            continue;
        QFile::remove(prefix.path("guard.log"));
        out.clear();
        startGuard();
        Write(prefix.path("drive-t/run.exe"), avtk::EicarTestString());
        if (onAccess) {
            EXPECT_EQ(openError(prefix.path("drive-t/run.exe")), EPERM);
        }
        ASSERT_TRUE(alerted("The Test.Eicar virus has been removed from the file T:\\run.exe!!!"))
            << out.toStdString() << log().toStdString();
        EXPECT_FALSE(QFile::exists(prefix.path("drive-t/run.exe")));
        EXPECT_TRUE(QFile::exists(prefix.path("drive-t/run.VIR")));
        EXPECT_TRUE(log().contains("T:\\run.exe  cannot be repaired: renamed to run.VIR."));
        // The renamed file's arrival is the guard's own doing: it is not scanned and renamed
        // again.
        Write(prefix.path("drive-t/second.com"), avtk::EicarTestString());
        if (onAccess) {
            EXPECT_EQ(openError(prefix.path("drive-t/second.com")), EPERM);
        }
        ASSERT_TRUE(
            alerted("The Test.Eicar virus has been removed from the file T:\\second.com!!!"));
        EXPECT_TRUE(QFile::exists(prefix.path("drive-t/run.VIR")));
        EXPECT_FALSE(QFile::exists(prefix.path("drive-t/run.V01")));
        // Made harmless, it opens again.
        EXPECT_EQ(openError(prefix.path("drive-t/run.VIR")), 0);
        stopGuard();
        for (const char* name : {"drive-t/run.VIR", "drive-t/second.VIR"})
            QFile::remove(prefix.path(name));
    }
}

TEST_F(ToolkitGuard, ADiskPutInAnImageDriveHasItsBootSectorChecked) {
    struct Row {
        bool repair;
        QString alert;
    };
    const QList<Row> rows = {
        {false, "Disk B: is infected with the Test.Eicar virus!!!"},
        {true, "The Test.Eicar virus has been removed from disk B:!!!"},
    };
    const QString image = prefix.path("floppy.img");
    // A formatted 1.44 MB disk: its two FATs (sectors 1 and 10) say so, whatever its first sector.
    QByteArray blank(1474560, '\0');
    for (const int fat : {1, 10})
        blank.replace(fat * 512, 3, "\xF0\xFF\xFF");
    QByteArray infected = blank;
    infected.replace(0, avtk::EicarTestString().size(), avtk::EicarTestString());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.repair);
        Write(image, blank);
        prefix.mapDrive(u'b', image);
        g().ChkBoxRepair->setChecked(row.repair);
        g().ChkBoxPrompt->setChecked(false);
        g().RadBtnDef->setChecked(true);
        g().EditGuardDrv->setText("tb");
        apply();
        QFile::remove(prefix.path("guard.log"));
        out.clear();
        startGuard();
        ASSERT_TRUE(WaitFor([&] { return log().contains("B: boot sector checked: clean"); }))
            << log().toStdString();
        // Another disk put in: a new image moved over the old one.
        Write(prefix.path("new.img"), infected);
        ASSERT_EQ(::rename(QFile::encodeName(prefix.path("new.img")).constData(),
                           QFile::encodeName(image).constData()),
                  0);
        EXPECT_TRUE(alerted(row.alert)) << out.toStdString() << log().toStdString();
        QFile disk(image);
        ASSERT_TRUE(disk.open(QIODevice::ReadOnly));
        const QByteArray sector = disk.read(512);
        EXPECT_EQ(sector.startsWith(avtk::EicarTestString()), !row.repair);
        if (row.repair) {
            // The cleaner's sector: a floppy's parameter block and the boot mark.
            EXPECT_EQ(sector.right(2), QByteArray("\x55\xAA"));
            EXPECT_TRUE(QFile::exists(image + ".boot.sav"));
        }
        stopGuard();
    }
}

TEST_F(ToolkitGuard, PromptIsAnsweredByTheUser) {
    struct Row {
        QByteArray answer;
        bool repaired;
    };
    for (const Row& row : {Row{"r\n", true}, Row{"l\n", false}, Row{"\n", false}}) {
        SCOPED_TRACE(row.answer.toStdString());
        g().ChkBoxRepair->setChecked(true);
        g().ChkBoxPrompt->setChecked(true);
        apply();
        QFile::remove(prefix.path("guard.log"));
        QFile::remove(prefix.path("drive-t/asked.VIR"));
        out.clear();
        startGuard();
        Write(prefix.path("drive-t/asked.com"), avtk::EicarTestString());
        ASSERT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            return output().contains("PROMPT: T:\\asked.com is infected with Test.Eicar.");
        })) << out.toStdString();
        guard->write(row.answer);
        const QString alert =
            row.repaired ? "The Test.Eicar virus has been removed from the file T:\\asked.com!!!"
                         : "File T:\\asked.com is infected with the Test.Eicar virus!!!";
        EXPECT_TRUE(alerted(alert)) << out.toStdString();
        EXPECT_EQ(QFile::exists(prefix.path("drive-t/asked.com")), !row.repaired);
        EXPECT_TRUE(log().contains(QString("T:\\asked.com  the user chose: ") +
                                   (row.repaired ? "Repair" : "Leave")));
        stopGuard();
        QFile::remove(prefix.path("drive-t/asked.com"));
    }
}

TEST_F(ToolkitGuard, NotInstalledItSaysSoAndEnds) {
    QString errors;
    EXPECT_EQ(run({}, &errors), 2);
    EXPECT_TRUE(errors.contains("WinGuard is not installed")) << errors.toStdString();
}

TEST_F(ToolkitGuard, AStoreItCannotUseIsToldAndItEndsWithItsLevel) {
    struct Row {
        const char* what;
        QByteArray content; // of system.db; "/" makes it a folder, empty leaves it out
        int code;
        QString told;
    };
    QByteArray noise(8192, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const QList<Row> rows = {
        {"random bytes", noise, 4, "is not a settings file of this program"},
        {"a damaged store", QByteArray("SQLite format 3\0", 16) + noise, 4,
         "cannot read the settings store"},
        {"a folder", "/", 4, "it is a folder"},
        {"another program's file", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System]\r\n", 4,
         "is not a settings file of this program"},
        {"no store", {}, 2, "there is no settings store"},
    };
    const QString other = prefix.path("other-prefix");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QDir(other).removeRecursively();
        QDir().mkpath(other);
        if (row.content == "/")
            QDir().mkpath(other + "/system.db");
        else if (!row.content.isEmpty())
            Write(other + "/system.db", row.content);
        QProcessEnvironment env = environment();
        env.insert("VALLORIN_PREFIX", other);
        QString errors;
        EXPECT_EQ(run({}, &errors, env), row.code) << errors.toStdString();
        EXPECT_TRUE(errors.contains(row.told)) << errors.toStdString();
        if (row.code == 4) {
            EXPECT_TRUE(errors.contains("WinGuard cannot read the settings store of " + other))
                << errors.toStdString();
        }
        EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
        // Nothing made for it, here or in the folder it was started in.
        // (The store's own opening may add the user's branch beside a system branch.)
        QStringList made =
            QDir(other).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        made.removeAll("user.db");
        EXPECT_EQ(made, row.content.isEmpty() ? QStringList() : QStringList{"system.db"});
        EXPECT_TRUE(
            QDir(elsewhere()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
    // Without VALLORIN_PREFIX: the prefix in the home folder.
    QProcessEnvironment env = environment();
    env.remove("VALLORIN_PREFIX");
    env.insert("HOME", other);
    QString errors;
    EXPECT_EQ(run({}, &errors, env), 2);
    EXPECT_TRUE(errors.contains("not installed in " + other + "/.vallorin"))
        << errors.toStdString();
}

TEST_F(ToolkitGuard, ASecondFrontEndSaysOneRunsAndEnds) {
    apply();
    startGuard();
    QString errors;
    EXPECT_EQ(run({}, &errors), 3);
    EXPECT_TRUE(errors.contains(QString("WinGuard is already running for %1 (process %2)")
                                    .arg(QDir::cleanPath(prefix.folder()))
                                    .arg(guard->processId())))
        << errors.toStdString();
    // The first one goes on watching.
    Write(prefix.path("drive-t/after.com"), avtk::EicarTestString());
    EXPECT_TRUE(alerted("File T:\\after.com is infected"));
}

TEST_F(ToolkitGuard, ApplyingThePageMakesARunningGuardReadItsSettingsAgain) {
    g().RadBtnDef->setChecked(true);
    g().EditGuardDrv->setText("t");
    apply();
    startGuard();
    EXPECT_TRUE(watchingLine().startsWith("T: ("));
    // Applied: the guard is told (SIGHUP) and watches the new drive; the notice after Apply says
    // so beside its own words.
    const QString notice = QString("Your new WinGuard settings will take effect the\rnext time you "
                                   "restart Windows.\r\rWinGuard, which runs now (process %1), ")
                               .arg(guard->processId());
    g().EditGuardDrv->setText("u");
    g().ChkBoxWrite->toggle();
    SBtnApplyClick(*form);
    EXPECT_TRUE(
        prompts.texts().contains(notice + "reads them at once: its log says when they are in use."))
        << prompts.texts().join('|').toStdString();
    ASSERT_TRUE(WaitFor([&] { return log().contains("Settings read again (SIGHUP)."); }));
    ASSERT_TRUE(WaitFor([&] { return log().count("Watching: ") == 2; }));
    EXPECT_TRUE(log().contains("Watching: U: (")) << log().toStdString();
    Write(prefix.path("drive-u/moved.com"), avtk::EicarTestString());
    EXPECT_TRUE(alerted("File U:\\moved.com is infected"));
    // Removed on the page: it stops.
    g().ChkBoxEnable->setChecked(false);
    SBtnApplyClick(*form);
    EXPECT_TRUE(prompts.texts().contains(notice + "stops at once, as it was removed."));
    EXPECT_TRUE(guard->waitForFinished(30000));
    EXPECT_EQ(guard->exitCode(), 4);
    EXPECT_TRUE(log().contains("WinGuard is not installed (there is no driver key): it stops."))
        << log().toStdString();
    EXPECT_FALSE(QFile::exists(prefix.path("WGFE95.pid")));
}

TEST_F(ToolkitGuard, FilesWrittenDuringReloadsAreAllAlerted) {
    for (const bool onAccess : {false, true}) {
        SCOPED_TRACE(onAccess ? "fanotify" : "inotify");
        if (!useMode(onAccess))
            continue;
        // fanotify: checked when closed after writing, as nothing opens them again.
        startGuardWithFolder(onAccess, "reload", true);
        std::atomic<bool> writing = true;
        std::atomic<int> written = 0;
        std::thread writer([&] {
            while (writing) {
                QFile file(prefix.path(QString("drive-t/reload/f%1.com").arg(written)));
                if (file.open(QIODevice::WriteOnly))
                    file.write(avtk::EicarTestString());
                file.close();
                ++written;
                QThread::msleep(1);
            }
        });
        for (int reload = 1; reload <= 3; ++reload) {
            ::kill(pid_t(guard->processId()), SIGHUP);
            EXPECT_TRUE(WaitFor([&] {
                return log().count("The new settings are in use.") == reload;
            })) << log().toStdString();
        }
        const int before = written;
        EXPECT_TRUE(WaitFor([&] { return written > before + 20; }));
        writing = false;
        writer.join();
        EXPECT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            for (int i = 0; i < written; ++i)
                if (!output().contains(QString("File T:\\reload\\f%1.com is infected").arg(i)))
                    return false;
            return true;
        })) << written
            << " written, " << output().count("ALERT: ") << " alerted";
        stopGuard();
    }
}

TEST_F(ToolkitGuard, AReloadThatCannotBeUsedKeepsGuarding) {
    struct Row {
        const char* what;
        std::function<void()> spoil, mend;
        QString told;
    };
    const QByteArray store = QFile::encodeName(prefix.path("system.db"));
    const QByteArray kept = store + ".kept";
    const QList<Row> rows = {
        {"a damaged store",
         [&] {
             ASSERT_EQ(::link(store.constData(), kept.constData()), 0);
             Write(prefix.path("spoilt.db"), QByteArray(4096, 'x'));
             ASSERT_EQ(::rename(QFile::encodeName(prefix.path("spoilt.db")).constData(),
                                store.constData()),
                       0);
         },
         [&] { ASSERT_EQ(::rename(kept.constData(), store.constData()), 0); },
         "The settings store cannot be read ("},
        {"no signatures",
         [&] { ASSERT_TRUE(QFile::rename(toolkit + "Signatures", toolkit + "Signatures.kept")); },
         [&] { ASSERT_TRUE(QFile::rename(toolkit + "Signatures.kept", toolkit + "Signatures")); },
         "No virus signatures can be used ("},
    };
    apply();
    startGuard();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.spoil();
        const int reloads = log().count("Settings read again (SIGHUP).");
        ::kill(pid_t(guard->processId()), SIGHUP);
        EXPECT_TRUE(WaitFor([&] {
            return log().count("WinGuard goes on with the ones it had.") == reloads + 1;
        })) << log().toStdString();
        EXPECT_TRUE(log().contains(row.told + "")) << log().toStdString();
        row.mend();
        const QString name = QString("drive-t/kept%1.com").arg(reloads);
        Write(prefix.path(name), avtk::EicarTestString());
        EXPECT_TRUE(alerted(QString("File T:\\kept%1.com is infected").arg(reloads)));
        EXPECT_EQ(guard->state(), QProcess::Running);
    }
}

TEST_F(ToolkitGuard, WritesOffChecksNewAndMovedInFilesButNotRewrites) {
    struct Row {
        bool writes;
        bool rewriteAlerted;
    };
    for (const Row& row : {Row{true, true}, Row{false, false}}) {
        SCOPED_TRACE(row.writes);
        Write(prefix.path("drive-t/old.com"), "MZ clean for now");
        g().ChkBoxWrite->setChecked(row.writes);
        apply();
        QFile::remove(prefix.path("guard.log"));
        out.clear();
        startGuard();
        Write(prefix.path("drive-t/old.com"), avtk::EicarTestString());
        // Moved in from outside the watched drive: checked in both modes.
        Write(prefix.path("outside/in.com"), avtk::EicarTestString());
        ASSERT_TRUE(QFile::rename(prefix.path("outside/in.com"), prefix.path("drive-t/in.com")));
        EXPECT_TRUE(alerted("File T:\\in.com is infected"));
        Write(prefix.path("drive-t/sub/new.com"), avtk::EicarTestString());
        EXPECT_TRUE(alerted("File T:\\sub\\new.com is infected"));
        // A hard link made into the drive: nothing is written, it is checked all the same.
        Write(prefix.path("outside/linked.com"), avtk::EicarTestString());
        ASSERT_EQ(::link(QFile::encodeName(prefix.path("outside/linked.com")).constData(),
                         QFile::encodeName(prefix.path("drive-t/linked.com")).constData()),
                  0);
        EXPECT_TRUE(alerted("File T:\\linked.com is infected")) << out.toStdString();
        EXPECT_EQ(output().contains("File T:\\old.com is infected"), row.rewriteAlerted)
            << out.toStdString();
        stopGuard();
        for (const char* name :
             {"drive-t/old.com", "drive-t/in.com", "drive-t/sub/new.com", "drive-t/linked.com"})
            QFile::remove(prefix.path(name));
    }
}

TEST_F(ToolkitGuard, ABurstOfAThousandFilesIsAlertedWhole) {
    // fanotify with writes on: more written files than the descriptors it holds, the rest
    // opened again by their paths.
    for (const bool onAccess : {false, true}) {
        SCOPED_TRACE(onAccess ? "fanotify" : "inotify");
        if (!useMode(onAccess))
            continue;
        startGuardWithFolder(onAccess, "burst", false);
        constexpr int Files = 1000;
        for (int i = 0; i < Files; ++i)
            Write(prefix.path(QString("drive-t/burst/f%1.com").arg(i)), avtk::EicarTestString());
        EXPECT_TRUE(WaitFor(
            [&] {
                guard->waitForReadyRead(20);
                return output().count("ALERT: ") >= Files;
            },
            240000))
            << output().count("ALERT: ");
        // The folder arrives with the burst: files written before its watch was set are found
        // by reading it, and one being written just then may be alerted twice, but none is
        // missed.
        ASSERT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            for (int i = 0; i < Files; ++i)
                if (!output().contains(QString("File T:\\burst\\f%1.com is infected").arg(i)))
                    return false;
            return true;
        })) << out.toStdString();
        stopGuard();
    }
}

TEST_F(ToolkitGuard, BadValuesAndAnUnwritableLogAreToldAndTheGuardRuns) {
    struct Row {
        QString log;
        QString told; // once
    };
    const QList<Row> rows = {
        {prefix.path("no-such-folder/guard.log"), "cannot be written"},
        // Opened, but no line can be written to it.
        {"/dev/full", "can no longer be written (No space left on device)"},
    };
    apply();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.log.toStdString());
        {
            auto store = openStore();
            store->setRootKey(RootKey::LocalMachine);
            ASSERT_TRUE(store->openKey(DriverKey, true));
            store->writeInteger("drives", 7);
            store->writeBinary("repair", QByteArray("\x01\0\0\0", 4));
            store->writeString("Long_logfilename", row.log);
            store->closeKey();
        }
        guard = std::make_unique<QProcess>();
        guard->setWorkingDirectory(prefix.folder());
        guard->setProcessEnvironment(environment());
        guard->start(toolkit + "WGFE95.EXE", {});
        ASSERT_TRUE(guard->waitForStarted(10000));
        QString errors;
        ASSERT_TRUE(WaitFor([&] {
            guard->waitForReadyRead(20);
            errors += QString::fromUtf8(guard->readAllStandardError());
            return errors.contains("Watching: ");
        })) << errors.toStdString();
        EXPECT_EQ(errors.count(row.told), 1) << errors.toStdString();
        EXPECT_TRUE(errors.contains("The value \"Drives\" of the driver key is not text"));
        EXPECT_TRUE(errors.contains("The value \"Repair\" of the driver key is not text"));
        // The defaults stand in: every drive, alert only.
        out.clear();
        Write(prefix.path("drive-u/bad.com"), avtk::EicarTestString());
        EXPECT_TRUE(alerted("File U:\\bad.com is infected"));
        EXPECT_TRUE(QFile::exists(prefix.path("drive-u/bad.com")));
        guard->terminate();
        EXPECT_TRUE(guard->waitForFinished(30000));
        EXPECT_EQ(guard->exitCode(), 0);
        errors += QString::fromUtf8(guard->readAllStandardError());
        EXPECT_EQ(errors.count(row.told), 1) << errors.toStdString();
        EXPECT_TRUE(errors.contains("WinGuard stopped (SIGTERM).")) << errors.toStdString();
        QFile::remove(prefix.path("drive-u/bad.com"));
    }
}

TEST(GuardOpenVallorin, ThePanelIsTheOneBuiltWithTheToolkit) {
    const QString bin = QDir::cleanPath(qEnvironmentVariable("VALLORIN_BIN")) + '/';
    const QString panel = InstallLayout::ProgramFolder(InstallLayout::ToolkitFolder(bin));
    EXPECT_EQ(panel, bin);
    EXPECT_TRUE(QFileInfo(panel + "vallorin").isExecutable()) << panel.toStdString();
}

TEST(GuardAlertText, PlaceholdersAreFilledOnce) {
    struct Row {
        QString text, file, virus, disk, filled;
    };
    const QList<Row> rows = {
        {"File <file> is infected with the <virus> virus!!!",
         "T:\\a.com",
         "V",
         {},
         "File T:\\a.com is infected with the V virus!!!"},
        {"<DISK> has <Virus>", {}, "Boot.X", "A:", "A: has Boot.X"},
        // A name that holds a placeholder is shown as it is, not filled again.
        {"<file>: <virus>", "T:\\<virus>.com", "V", {}, "T:\\<virus>.com: V"},
        {"no placeholder <fil", "f", "v", "d", "no placeholder <fil"},
        {"", "f", "v", "d", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(guard::FillAlert(row.text, row.file, row.virus, row.disk), row.filled);
}
