// A 100,000-key .reg import against its floor, one SQLite transaction writing the same rows into
// the same empty store with no file to read and no key to look up; and the peak memory of
// vallorin-reg's import against the size of the file it imports.
#include "BenchSupport.h"

#include "store/RegFile.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int Groups = 100;
constexpr int KeysPerGroup = 1000;
const QString Base = "Software\\Tesmarine\\Bench";

QString groupName(int group) {
    return QString("Group %1").arg(group, 3, 10, QChar('0'));
}
QString keyName(int key) {
    return QString("Definition %1").arg(key);
}
QString drivesOf(int key) {
    return QString("C:\\Data\\%1").arg(key);
}

QByteArray utf16Bytes(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// The file as the registry editor exports it (UTF-16 with a byte-order mark), or as UTF-8.
QByteArray regFile(bool utf16) {
    QString text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int group = 0; group < Groups; ++group)
        for (int key = 0; key < KeysPerGroup; ++key)
            text += QString("[HKEY_CURRENT_USER\\%1\\%2\\%3]\r\n\"Drives\"=\"%4\"\r\n"
                            "\"Count\"=dword:%5\r\n\r\n")
                        .arg(Base, groupName(group), keyName(key),
                             QString(drivesOf(key)).replace("\\", "\\\\"))
                        .arg(key, 8, 16, QChar('0'));
    return utf16 ? QByteArray("\xFF\xFE", 2) + utf16Bytes(text) : text.toUtf8();
}

// A fresh, empty prefix folder inside dir.
QString newPrefix(const QTemporaryDir& dir, int round) {
    const QString name = QString("prefix%1").arg(round);
    QDir(dir.path()).mkdir(name);
    return dir.filePath(name) + '/';
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile out(dir.filePath(name));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return QString();
    return out.fileName();
}

void BM_Import100000Keys(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = writeFile(dir, "bench.reg", regFile(true));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString prefix = newPrefix(dir, round++);
        auto store = std::make_unique<SettingsStore>(prefix);
        state.ResumeTiming();
        RegFile::importFile(*store, file);
    }
    state.counters["keys"] = Groups * KeysPerGroup;
}
BENCHMARK(BM_Import100000Keys)->Unit(benchmark::kMillisecond)->Iterations(3);

// A statement of the floor; every failure ends the benchmark's iteration with an error.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db(db) {
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    }
    ~Statement() { sqlite3_finalize(st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* operator*() const { return st; }
    // Steps once and resets; the id of the row it inserted, or -1.
    qint64 run() {
        const bool done = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return done ? sqlite3_last_insert_rowid(db) : -1;
    }

private:
    sqlite3* db;
    sqlite3_stmt* st = nullptr;
};

// The rows the import writes (every key with its parent, every value with its bytes), written
// in one durable transaction with the parents' ids at hand.
bool writeFloorRows(sqlite3* db) {
    Statement key(db, "INSERT INTO keys(parent, name, upper) VALUES(?1, ?2, ?3)");
    Statement value(db,
                    "INSERT INTO vals(key, name, upper, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
    const auto addKey = [&](qint64 parent, const QString& name) {
        const QByteArray spelled = name.toUtf8();
        const QByteArray upper = name.toUpper().toUtf8();
        sqlite3_bind_int64(*key, 1, parent);
        sqlite3_bind_text(*key, 2, spelled.constData(), int(spelled.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(*key, 3, upper.constData(), int(upper.size()), SQLITE_TRANSIENT);
        return key.run();
    };
    const auto addValue = [&](qint64 owner, const char* name, int type, const QByteArray& data) {
        const QByteArray upper = QByteArray(name).toUpper();
        sqlite3_bind_int64(*value, 1, owner);
        sqlite3_bind_text(*value, 2, name, -1, SQLITE_STATIC);
        sqlite3_bind_text(*value, 3, upper.constData(), int(upper.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(*value, 4, type);
        sqlite3_bind_blob(*value, 5, data.constData(), int(data.size()), SQLITE_TRANSIENT);
        return value.run() >= 0;
    };
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    qint64 base = 1;
    for (const QString& name : Base.split('\\'))
        base = addKey(base, name);
    bool ok = base >= 0;
    for (int group = 0; group < Groups && ok; ++group) {
        const qint64 groupId = addKey(base, groupName(group));
        for (int k = 0; k < KeysPerGroup && ok; ++k) {
            const qint64 id = addKey(groupId, keyName(k));
            const quint32 count = quint32(k);
            ok = id >= 0 && addValue(id, "Drives", 1, utf16Bytes(drivesOf(k) + QChar(0))) &&
                 addValue(id, "Count", 4,
                          QByteArray(reinterpret_cast<const char*>(&count), sizeof count));
        }
    }
    return sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK &&
           ok;
}

void BM_Import100000KeysFloor_OneTransaction(benchmark::State& state) {
    QTemporaryDir dir;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString prefix = newPrefix(dir, round++);
        SettingsStore{prefix}; // an empty store: its schema, WAL journal
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(prefix + "user.db").constData(), &db,
                        SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        const bool written = writeFloorRows(db);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
        if (!written) {
            state.SkipWithError("the floor's rows could not be written");
            break;
        }
    }
    state.counters["keys"] = Groups * KeysPerGroup;
}
BENCHMARK(BM_Import100000KeysFloor_OneTransaction)->Unit(benchmark::kMillisecond)->Iterations(3);

// Runs vallorin-reg import on a fresh prefix and answers its peak resident set in kB, or -1.
// GNU time starts it: a child started straight from this process would carry this process's
// own peak over its exec.
long importPeakKilobytes(const QTemporaryDir& dir, const QString& name, const QString& file) {
    const QString report = dir.filePath(name + ".rss");
    QList<QByteArray> args = {
        "/usr/bin/time",
        "-f",
        "%M",
        "-o",
        QFile::encodeName(report),
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/vallorin-reg"),
        "import",
        QFile::encodeName(file)};
    QList<QByteArray> environment = {"VALLORIN_PREFIX=" + QFile::encodeName(dir.filePath(name))};
    for (char** entry = environ; *entry; ++entry)
        if (!QByteArray(*entry).startsWith("VALLORIN_PREFIX="))
            environment << *entry;
    const auto pointers = [](QList<QByteArray>& list) {
        std::vector<char*> out;
        for (QByteArray& entry : list)
            out.push_back(entry.data());
        out.push_back(nullptr);
        return out;
    };
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    QFile in(report);
    bool ok = in.open(QIODevice::ReadOnly);
    const long kilobytes = in.readAll().trimmed().toLong(&ok);
    return ok ? kilobytes : -1;
}

// Peak memory of the import command against the file's size; the same command importing a
// one-key file gives the program's own share (Qt, SQLite), which any file adds to.
void BM_ImportPeakMemory(benchmark::State& state) {
    const bool utf16 = state.range(0) == 1;
    QTemporaryDir dir;
    const QByteArray bytes = regFile(utf16);
    const QString file = writeFile(dir, "bench.reg", bytes);
    const QString small = writeFile(
        dir, "small.reg", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Small]\r\n\"a\"=\"b\"\r\n");
    long peak = 0;
    long baseline = 0;
    int round = 0;
    for (auto _ : state) {
        peak = importPeakKilobytes(dir, QString("prefix%1").arg(round), file);
        baseline = importPeakKilobytes(dir, QString("small%1").arg(round++), small);
        if (peak < 0 || baseline < 0) {
            state.SkipWithError("vallorin-reg import failed");
            break;
        }
    }
    const double fileMB = double(bytes.size()) / (1024.0 * 1024.0);
    state.counters["file_MB"] = fileMB;
    state.counters["peak_MB"] = double(peak) / 1024.0;
    state.counters["program_MB"] = double(baseline) / 1024.0;
    state.counters["peak_per_file"] = double(peak) / 1024.0 / fileMB;
    state.counters["added_per_file"] = double(peak - baseline) / 1024.0 / fileMB;
}
BENCHMARK(BM_ImportPeakMemory)
    ->ArgName("utf16")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv);
}
