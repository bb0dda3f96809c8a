#include "platform/ProgramStart.h"

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool isRegularFile(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

int resultOfSpawnError(int error, const QString& program) {
    switch (error) {
    case ENOENT:
        return FileSystem::DirectoryExists(QFileInfo(program).absolutePath())
                   ? StartResult::FileNotFound
                   : StartResult::PathNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return StartResult::PathNotFound;
    case ENOMEM:
    case EAGAIN:
    case E2BIG:
    case EMFILE:
    case ENFILE:
        return StartResult::OutOfResources;
    default: // ENOEXEC, EACCES, EPERM, ETXTBSY...: the file is there but will not run
        return StartResult::BadFormat;
    }
}

// The spawn's attributes and file actions, released on every way out.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

QStringList SplitArguments(const QString& arguments) {
    // Modern rule for "" inside a quoted run: it gives one literal quote and the run goes on
    // (as the C runtime has done since 2008), so "a""b" is a"b.
    QStringList result;
    QString current;
    bool inArgument = false; // an empty quoted argument ("") still counts
    bool quoted = false;
    const qsizetype n = arguments.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = arguments[i];
        if (!quoted && isBlank(c)) {
            if (inArgument)
                result.append(current);
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype count = 0;
            while (i < n && arguments[i] == u'\\') {
                ++count;
                ++i;
            }
            if (i < n && arguments[i] == u'"') {
                current += QString(count / 2, u'\\');
                if (count % 2 == 1) {
                    current += u'"';
                    ++i;
                }
                // An even count leaves the quote to be read as a quoting quote below.
            } else {
                current += QString(count, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < n && arguments[i + 1] == u'"') {
                current += u'"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
            continue;
        }
        current += c;
        ++i;
    }
    if (inArgument)
        result.append(current);
    return result;
}

SplitCommand SplitCommandLine(const QString& commandLine) {
    qsizetype start = 0;
    while (start < commandLine.size() && isBlank(commandLine[start]))
        ++start;
    SplitCommand split;
    if (start >= commandLine.size())
        return split;

    if (commandLine[start] == u'"') {
        const qsizetype close = commandLine.indexOf(u'"', start + 1);
        const qsizetype end = close < 0 ? commandLine.size() : close;
        split.program = FileSystem::ResolvePath(commandLine.mid(start + 1, end - start - 1));
        split.arguments = SplitArguments(commandLine.mid(close < 0 ? end : end + 1));
        return split;
    }

    // Word by word: "/opt/My Tool/run me.exe x" tries "/opt/My", "/opt/My Tool/run", ...
    qsizetype firstWordEnd = -1;
    for (qsizetype i = start + 1; i <= commandLine.size(); ++i) {
        if (i < commandLine.size() && !isBlank(commandLine[i]))
            continue;
        if (isBlank(commandLine[i - 1]))
            continue; // only the first blank of a run ends a candidate
        if (firstWordEnd < 0)
            firstWordEnd = i;
        const QString candidate = FileSystem::ResolvePath(commandLine.mid(start, i - start));
        if (isRegularFile(candidate)) {
            split.program = candidate;
            split.arguments = SplitArguments(commandLine.mid(i));
            return split;
        }
    }
    split.program = FileSystem::ResolvePath(commandLine.mid(start, firstWordEnd - start));
    split.arguments = SplitArguments(commandLine.mid(firstWordEnd));
    return split;
}

SpawnProgramStarter::SpawnProgramStarter(QString workingDirectory)
    : workingDirectory(std::move(workingDirectory)) {}

int SpawnProgramStarter::start(const QString& commandLine) {
    const SplitCommand split = SplitCommandLine(commandLine);
    if (split.program.isEmpty())
        return StartResult::FileNotFound;
    // Absolute, because the child changes to the working directory before it executes.
    const QString program = QFileInfo(split.program).absoluteFilePath();
    if (!isRegularFile(program))
        return FileSystem::DirectoryExists(QFileInfo(program).absolutePath())
                   ? StartResult::FileNotFound
                   : StartResult::PathNotFound;
    const QString folder = FileSystem::ResolvePath(workingDirectory);
    if (!FileSystem::DirectoryExists(folder))
        return StartResult::PathNotFound;

    std::vector<QByteArray> words;
    words.reserve(size_t(split.arguments.size()) + 1);
    words.push_back(QFile::encodeName(program));
    for (const QString& argument : split.arguments)
        words.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    const QByteArray folderName = QFile::encodeName(folder);
    posix_spawn_file_actions_addchdir_np(&setup.actions, folderName.constData());
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    // The program gets no descriptor of ours (the store's files, sockets) by accident.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif
    // A fresh signal state: nothing blocked or ignored that this program blocks or ignores.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int error =
        ::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    if (error != 0)
        return resultOfSpawnError(error, program);

    // One waiting thread per child reaps exactly that child; a process-wide SIGCHLD setting
    // would take other children's exit statuses from whoever else waits for them.
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the program runs all the same and is reaped at our exit.
    }
    return StartResult::LastError + 2;
}
