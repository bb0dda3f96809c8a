#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

// What the toolkit's benchmarks make their trees of and sum their rounds with. Header-only, as
// BenchOptions.h: these programs do not link the panel's benchmark support.

// A fast, repeatable stream of bytes that compresses as badly as real programs do.
class Bytes {
public:
    QByteArray next(qsizetype size) {
        QByteArray out(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            for (int b = 0; b < 8 && i + b < size; ++b)
                out[i + b] = char(state >> (8 * b));
        }
        return out;
    }

private:
    quint64 state = 0x9E3779B97F4A7C15ull;
};

// Writes a file, making its folders first.
inline bool Write(const QString& path, const QByteArray& content) {
    QDir().mkpath(path.section('/', 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A field in kB of a /proc/PID file ("VmHWM" of status, "Pss" of smaps_rollup); 0 once the
// process is gone.
inline long ProcKb(pid_t pid, const char* file, const QByteArray& field) {
    QFile proc(QString("/proc/%1/%2").arg(pid).arg(QString::fromLatin1(file)));
    if (!proc.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : proc.readAll().split('\n'))
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Starts a program in a folder, its standard output into a file and its errors dropped, without
// a shell; its process, or -1.
inline pid_t Spawn(const QStringList& command, const QString& folder, const QString& output) {
    std::vector<QByteArray> bytes;
    for (const QString& word : command)
        bytes.push_back(QFile::encodeName(word));
    std::vector<char*> argv;
    for (QByteArray& word : bytes)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(folder).constData());
    posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(output).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
