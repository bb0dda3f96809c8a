#include "platform/VallorinError.h"
#include "store/Prefix.h"
#include "store/RegFile.h"
#include "store/SettingsStore.h"
#include "support/SavedDefinitions.h"
#include "support/TempPrefix.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <iostream>
#include <map>
#include <random>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

QString saveLoopProgram() {
    return qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-save-loop";
}

// What SQLite's own checker says of a store file.
QString integrityOf(const QString& file) {
    sqlite3* db = nullptr;
    QString verdict = "cannot open";
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return verdict;
}

int permissionsOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Each branch of the store in a prefix, exported whole.
std::array<QByteArray, 2> branchesOf(const QString& folder) {
    SettingsStore store(folder);
    return {RegFile::exportKey(store, RootKey::CurrentUser, ""),
            RegFile::exportKey(store, RootKey::LocalMachine, "")};
}

QByteArray bytesOf(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// A large import that changes both branches, in the order a hand-merged file might: it deletes
// what the store held, adds many keys to each branch, and changes a value of each at its end.
QByteArray largeImport(int keys) {
    QString text = "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Machine]\r\n\"Value\"=\"first\"\r\n";
    for (int key = 0; key < keys; ++key)
        text += QString("[HKEY_%1\\Software\\New\\Group %2\\Key %3]\r\n"
                        "\"Drives\"=\"C:\\\\Data\\\\%3\"\r\n\"Count\"=dword:%4\r\n")
                    .arg(key % 10 == 0 ? "LOCAL_MACHINE" : "CURRENT_USER")
                    .arg(key / 1000)
                    .arg(key)
                    .arg(key, 8, 16, QChar('0'));
    text += "[HKEY_LOCAL_MACHINE\\Software\\Machine]\r\n\"Value\"=\"last\"\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kept]\r\n\"Value\"=\"last\"\r\n";
    return QByteArray("\xFF\xFE", 2) +
           QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

} // namespace

// An import killed at any moment leaves each branch exactly as it was before or exactly as the
// whole file makes it, never part of the file; and the file opens without complaint after.
TEST(StoreCrashTest, AKilledImportLeavesEachBranchAsBeforeOrAsAfter) {
    const bool nightly = qEnvironmentVariable("VALLORIN_NIGHTLY") == "1";
    const int kills = nightly ? 40 : 8;
    QTemporaryDir work;
    const QString file = work.filePath("large.reg");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(largeImport(30000));
    }
    // The store before: closed, so that each branch is one file with its journal folded in.
    TempPrefix original;
    {
        SettingsStore store(original.folder());
        for (int key = 0; key < 50; ++key) {
            store.openKey(QString("Software\\Old\\Key %1").arg(key), true);
            store.writeString("Value", "old");
        }
        store.openKey("Software\\Kept", true);
        store.writeString("Value", "before");
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("Software\\Machine", true);
        store.writeString("Value", "before");
    }
    const QByteArray files[2] = {bytesOf(original.path("user.db")),
                                 bytesOf(original.path("system.db"))};
    const auto startImport = [&](QProcess& program, TempPrefix& prefix) {
        prefix.writeFile("user.db", files[0]);
        prefix.writeFile("system.db", files[1]);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VALLORIN_PREFIX", prefix.folder());
        program.setProcessEnvironment(environment);
        program.start(qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-reg", {"import", file});
        return program.waitForStarted();
    };
    const std::array<QByteArray, 2> before = branchesOf(original.folder());

    TempPrefix whole;
    QProcess complete;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(startImport(complete, whole));
    ASSERT_TRUE(complete.waitForFinished(120000));
    const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    ASSERT_EQ(complete.exitCode(), 0) << complete.readAllStandardError().toStdString();
    const std::array<QByteArray, 2> after = branchesOf(whole.folder());
    ASSERT_NE(after[0], before[0]);
    ASSERT_NE(after[1], before[1]);

    // Half the kills spread over the whole import, half in its last sixth, where it commits.
    int asBefore = 0;
    int asAfter = 0;
    int mixed = 0;
    int finished = 0; // imports that ended before their kill came
    for (int kill = 0; kill < kills; ++kill) {
        SCOPED_TRACE(kill);
        TempPrefix prefix;
        QProcess program;
        ASSERT_TRUE(startImport(program, prefix));
        const double at = kill % 2 == 0 ? double(kill) / kills : 1.0 - double(kill) / kills / 6;
        if (!program.waitForFinished(int(double(duration) * at))) {
            program.kill(); // SIGKILL: no destructor, no rollback, no close of the database
            ASSERT_TRUE(program.waitForFinished());
        }
        finished += program.exitStatus() == QProcess::NormalExit;
        for (const char* name : {"user.db", "system.db"})
            EXPECT_EQ(integrityOf(prefix.path(name)), "ok") << name;
        const std::array<QByteArray, 2> found = branchesOf(prefix.folder());
        for (int branch = 0; branch < 2; ++branch)
            EXPECT_TRUE(found[branch] == before[branch] || found[branch] == after[branch])
                << "branch " << branch << " holds part of the import";
        asBefore += found == before;
        asAfter += found == after;
        mixed += found != before && found != after;
    }
    std::cout << "[ crash    ] " << kills << " kills of a " << duration
              << " ms import: " << asBefore << " left the store as before, " << asAfter
              << " as after, " << mixed << " between the two branches' commits; " << finished
              << " ended before the kill" << std::endl;
    RecordProperty("before", asBefore);
    RecordProperty("after", asAfter);
}

// A save that closeKey has returned from is on disk: killing the program at any moment, even
// inside the next save, loses none of them, never leaves half a definition, and leaves a file
// that the next start opens without complaint.
TEST(StoreCrashTest, AcknowledgedSavesSurviveKillsAtRandomMoments) {
    const bool nightly = qEnvironmentVariable("VALLORIN_NIGHTLY") == "1";
    const int kills = nightly ? 500 : 40;
    const unsigned seed =
        qEnvironmentVariableIsSet("VALLORIN_CRASH_SEED")
            ? qEnvironmentVariableIntValue("VALLORIN_CRASH_SEED")
            : unsigned(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, 60); // ms

    TempPrefix prefix;
    std::map<QString, long> acknowledged; // definition -> its last acknowledged save
    long next = 0;
    long saves = 0;
    int midSave = 0; // kills that came after at least one save of that run
    for (int kill = 0; kill < kills; ++kill) {
        QProcess child;
        child.start(saveLoopProgram(), {prefix.folder(), "crash", QString::number(next)});
        ASSERT_TRUE(child.waitForStarted());
        // Every other kill comes after the run's first save, into the saves that follow it;
        // the rest anywhere from the start, into the store's opening too.
        if (kill % 2 == 1)
            child.waitForReadyRead(10000);
        // A child that ends by itself has met an error (a store it refused to open).
        ASSERT_FALSE(child.waitForFinished(delay(random)))
            << "seed " << seed << ": " << child.readAllStandardOutput().toStdString();
        child.kill(); // SIGKILL: no destructor, no close of the database
        ASSERT_TRUE(child.waitForFinished());
        const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
        int savedThisRun = 0;
        for (const QByteArray& line : lines) {
            if (!line.startsWith("saved "))
                continue; // the line the kill cut short, or the empty tail
            const long serial = line.mid(6).toLong();
            acknowledged[SavedDefinitions::crashName(serial)] = serial;
            next = serial + 1;
            ++saves;
            ++savedThisRun;
        }
        midSave += savedThisRun > 0;
    }

    ASSERT_EQ(integrityOf(prefix.path("user.db")), "ok") << "seed " << seed;
    SettingsStore store(prefix.folder()); // runs the store's own quick check
    int lost = 0;
    for (const auto& [name, serial] : acknowledged) {
        // The save in flight at the last kill may have landed too: it is newer, not lost.
        const long stored = SavedDefinitions::storedSerial(store, name);
        EXPECT_GE(stored, serial) << name.toStdString() << ", seed " << seed;
        lost += stored < serial;
    }
    std::cout << "[ crash    ] " << kills << " kills survived (" << midSave
              << " after a save of their run), " << saves << " acknowledged saves, " << lost
              << " lost, seed " << seed << std::endl;
    RecordProperty("kills", kills);
    RecordProperty("saves", int(saves));
    RecordProperty("lost", lost);
    EXPECT_GT(midSave, kills / 4) << "the kills came too early to test anything";
}

// Two programs on one prefix, each saving and reading back its own definitions while the other
// does the same: no save fails on the other's lock, none is lost.
TEST(StoreCrashTest, TwoInstancesOnOnePrefixLoseNoSave) {
    TempPrefix prefix;
    constexpr int Count = 60;
    QProcess instances[2];
    const QString tags[2] = {"First", "Second"};
    for (int i = 0; i < 2; ++i)
        instances[i].start(saveLoopProgram(),
                           {prefix.folder(), "instance", tags[i], QString::number(Count)});
    for (QProcess& instance : instances) {
        ASSERT_TRUE(instance.waitForFinished(120000));
        EXPECT_EQ(instance.exitCode(), 0) << instance.readAllStandardOutput().toStdString();
    }
    SettingsStore store(prefix.folder());
    for (const QString& tag : tags)
        for (int n = 0; n < Count; ++n)
            EXPECT_EQ(SavedDefinitions::check(store, tag + QString::number(n), n), QString());
}

// Programs started at once on a prefix without a store: one creates the store while the others
// look at the half-made file, and every one of them must take it for what it is.
TEST(StoreCrashTest, ProgramsCreatingOneStoreAtOnceAllOpenIt) {
    for (int round = 0; round < 5; ++round) {
        TempPrefix prefix;
        QProcess programs[6];
        for (int i = 0; i < 6; ++i)
            programs[i].start(saveLoopProgram(),
                              {prefix.folder(), "instance", QString("P%1-").arg(i), "1"});
        for (QProcess& program : programs) {
            ASSERT_TRUE(program.waitForFinished(60000));
            EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardOutput().toStdString();
        }
    }
}

// The prefix is its owner's alone: the folder 0700 and every store file 0600, whatever the
// umask, so that no other user can read the settings or slip values into them.
TEST(StoreCrashTest, ThePrefixAndTheStoreFilesAreTheOwnersAlone) {
    QTemporaryDir parent;
    const mode_t previous = ::umask(0);
    const QString folder = Prefix::Prepare(parent.path() + "/prefix");
    {
        SettingsStore store(folder);
        SavedDefinitions::save(store, "Daily", 1);
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("Software\\Machine", true);
        store.writeString("Value", "x");
        // Checked while the store is open, when the write-ahead files exist.
        store.closeKey();
        EXPECT_EQ(permissionsOf(folder), 0700);
        EXPECT_EQ(permissionsOf(folder + "dosdevices"), 0700);
        for (const char* file :
             {"user.db", "system.db", "user.db-wal", "user.db-shm", "system.db-wal"}) {
            SCOPED_TRACE(file);
            ASSERT_TRUE(QFileInfo::exists(folder + file));
            EXPECT_EQ(permissionsOf(folder + file), 0600);
        }
    }
    ::umask(previous);
}
