// The resident guard (WGFE95.EXE) on a watched folder drive: its idle memory, the time from a
// file's close to its alert for 1,000 infected files written in a burst (median and worst, and
// whether every one was alerted), and what watching adds to the time of writing 20,000 small
// files against the same writes into a folder that is not watched. A timing program of a real
// process: the guard is started as the services starter starts it, without a display, and its
// alerts are read from its standard output as they come. Both watching modes are measured: inotify,
// and fanotify where the process may use it (root), there with "writes" on so that the burst is
// checked on closing as with inotify. In inotify mode the same writes are also timed under a bare
// inotify reader that does nothing with its events: the cost of watching that no guard can go
// below.
//
// --in=FOLDER puts the prefix and its drives there (the system's temporary folder by default): on
// a memory file system (/dev/shm) the writes' time is free of a disk file system's own variation,
// such as ext4 looking past the inodes of files deleted shortly before.
//
// --mode=system: the guard as a fresh prefix makes it for root (C: is the whole machine, every
// drive), in a mount namespace of the benchmark's own (so that its marks touch nobody else):
// extracting a tree of --tree=N files (31,000 by default) and compiling a small program, before
// the guard started and after it ended, and while it runs in interleaved pairs of rounds (--rounds,
// 5 by default here): one under its marks, one beside them in a namespace it does not mark. The
// guard's cost is the median of the pairs' ratios: a machine shared with others drifts by more
// than that cost between the start and the end of a run. Also the longest opening of a file
// already found clean, and new programs' (of 8 kB and 2 MB) first execution against their scan by
// the shared engine alone (programs that fail right after being opened, so that the time is the
// opening's: a real program's first run less its second measures mostly its own run-to-run
// variation), and under a bare fanotify reader that answers at once: fanotify's own round trip,
// the part of the guard's cost that no guard can go below.
//
//   GuardBench [--small=N] [--burst=N] [--rounds=N] [--mode=inotify|fanotify|system] [--tree=N]
//              [--in=FOLDER]
#include "BenchData.h"
#include "BenchOptions.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "platform/InstallLayout.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool WriteFile(const std::string& path, const QByteArray& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

long RssKb(pid_t pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The guard's standard output, read on a thread of its own: each alert line with the time it
// arrived.
class AlertReader {
public:
    explicit AlertReader(int fd) : fd(fd), thread([this] { run(); }) {}
    ~AlertReader() { thread.join(); }
    std::map<std::string, Clock::time_point> seen() {
        std::lock_guard lock(mutex);
        return arrived;
    }

private:
    void run() {
        std::string pending;
        char buffer[65536];
        while (true) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            pending.append(buffer, size_t(n));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                // "ALERT: File T:\burst\f12.com is infected ..."
                const std::size_t at = line.find("T:\\");
                if (line.rfind("ALERT: ", 0) == 0 && at != std::string::npos) {
                    std::lock_guard lock(mutex);
                    arrived.emplace(line.substr(at, line.find(' ', at) - at), now);
                }
            }
        }
    }
    int fd;
    std::mutex mutex;
    std::map<std::string, Clock::time_point> arrived;
    std::thread thread;
};

// The processor time (user and system) a process has used so far.
double CpuMs(pid_t pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(fields.value(11).toLongLong() + fields.value(12).toLongLong());
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// The floor of watching with inotify: the writes `write` makes into folder while a bare reader
// watches it with the guard's event mask, draining the events and doing nothing with them.
template <typename Write> double UnderBareWatcher(const QString& folder, const Write& write) {
    QDir().mkpath(folder);
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(fd, QFile::encodeName(folder).constData(),
                        IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                            IN_DELETE_SELF);
    std::atomic<bool> done = false;
    std::thread reader([&] {
        alignas(inotify_event) char events[64 * 1024];
        pollfd wait{fd, POLLIN, 0};
        while (!done)
            if (::poll(&wait, 1, 50) > 0)
                while (::read(fd, events, sizeof events) > 0) {
                }
    });
    const double ms = write(folder);
    done = true;
    reader.join();
    ::close(fd);
    return ms;
}

// One guard started in `mode` on a prefix of its own, measured, and stopped.
int Measure(const QString& mode, const QString& in, int small, int burst, int rounds) {
    std::printf("== %s mode\n", qPrintable(mode));
    const QString toolkit = InstallLayout::ToolkitFolder(QCoreApplication::applicationDirPath());
    QTemporaryDir temp(in + "/GuardBench-XXXXXX");
    const QString prefix = temp.path();
    QDir().mkpath(prefix + "/dosdevices");
    QDir().mkpath(prefix + "/watched");
    QDir().mkpath(prefix + "/unwatched");
    QFile::link(prefix + "/watched", prefix + "/dosdevices/t:");
    {
        SettingsStore store(prefix + '/');
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("System\\CurrentControlSet\\Services\\VXD\\WinGuard", true);
        store.writeString("drives", "t");
        store.writeString("Long_logfilename", prefix + "/guard.log");
        if (mode == "fanotify")
            store.writeString("writes", "1");
        store.closeKey();
    }
    // The same writes before any guard runs: with fanotify the whole mount is marked, so that
    // even the folder that is not watched has its openings answered by the guard.
    const QByteArray content = "MZ" + QByteArray(1022, 'x');
    const auto writeSmall = [&](const QString& folder) {
        QDir().mkpath(folder);
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < small; ++i)
            WriteFile(QFile::encodeName(folder + QString("/s%1.exe").arg(i)).toStdString(),
                      content);
        return Ms(Clock::now() - t0);
    };
    std::vector<double> alone, bare;
    for (int round = 0; round < rounds; ++round) {
        alone.push_back(writeSmall(QString("%1/alone/r%2").arg(prefix).arg(round)));
        if (mode == "inotify")
            bare.push_back(
                UnderBareWatcher(QString("%1/bare/r%2").arg(prefix).arg(round), writeSmall));
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(prefix).constData());
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string program = QFile::encodeName(toolkit + "WGFE95.EXE").toStdString();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("DISPLAY=", 0) != 0 && v.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
            v.rfind("WINGUARD_MODE=", 0) != 0 && v.rfind("VALLORIN_PREFIX=", 0) != 0)
            env.push_back(v);
    }
    // The guard finds its prefix as every program does, not in its working folder.
    env.push_back("VALLORIN_PREFIX=" + QFile::encodeName(prefix).toStdString());
    if (mode == "inotify")
        env.push_back("WINGUARD_MODE=inotify");
    std::vector<char*> envp;
    for (std::string& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    char* args[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, args, envp.data()) != 0) {
        std::fprintf(stderr, "GuardBench: %s cannot be started; build avtk_toolkit first\n",
                     program.c_str());
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    auto log = [&] {
        QFile file(prefix + "/guard.log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    {
        AlertReader reader(out[0]);
        const Clock::time_point started = Clock::now();
        while (!log().contains("Watching: ") && Clock::now() - started < std::chrono::seconds(60))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!log().contains("Mode: " + mode + ':')) {
            std::printf("The guard does not run in %s mode here:\n%s", qPrintable(mode),
                        qPrintable(log()));
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("Idle memory (RSS) with the toolkit's own database: %ld KiB\n", RssKb(pid));

        // The burst: infected files written one after the other, each close timed.
        QDir().mkpath(prefix + "/watched/burst");
        const QByteArray eicar = avtk::EicarTestString();
        std::map<std::string, Clock::time_point> closed;
        const Clock::time_point burstStart = Clock::now();
        for (int i = 0; i < burst; ++i) {
            const QString name = QString("f%1.com").arg(i);
            WriteFile(QFile::encodeName(prefix + "/watched/burst/" + name).toStdString(), eicar);
            closed.emplace("T:\\burst\\" + name.toStdString(), Clock::now());
        }
        const Clock::time_point burstEnd = Clock::now();
        while (reader.seen().size() < closed.size() &&
               Clock::now() - burstEnd < std::chrono::seconds(120))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto seen = reader.seen();
        std::vector<double> latencies;
        for (const auto& [name, at] : closed)
            if (auto found = seen.find(name); found != seen.end())
                latencies.push_back(Ms(found->second - at));
        std::printf("Burst of %d infected files written in %.0f ms: %zu alerted, %zu lost; close "
                    "to alert median %.1f ms, worst %.1f ms\n",
                    burst, Ms(burstEnd - burstStart), latencies.size(),
                    closed.size() - latencies.size(), Median(latencies),
                    latencies.empty() ? 0.0
                                      : *std::max_element(latencies.begin(), latencies.end()));

        // Small clean program files, watched against unwatched, interleaved rounds.
        std::vector<double> watched, unwatched;
        double cpuBefore = CpuMs(pid);
        // The order alternates between rounds: the file system's own delayed work (the journal,
        // the writeback of the round before) falls on both sides alike.
        for (int round = 0; round < rounds; ++round)
            for (const char* where : round % 2 ? std::array{"watched", "unwatched"}
                                               : std::array{"unwatched", "watched"}) {
                const double ms = writeSmall(QString("%1/%2/r%3").arg(prefix, where).arg(round));
                (QString(where) == "watched" ? watched : unwatched).push_back(ms);
                // The guard's queue drains before the next round, so rounds do not overlap.
                const double cpu0 = CpuMs(pid);
                std::this_thread::sleep_for(std::chrono::seconds(2));
                std::printf("  round %d %-9s %6.0f ms; the guard's processor time %6.0f ms "
                            "(%.0f ms of it after the writes)\n",
                            round, where, ms, CpuMs(pid) - cpuBefore, CpuMs(pid) - cpu0);
                cpuBefore = CpuMs(pid);
            }
        // Against the same writes before the guard ran: with fanotify the folder that is not
        // watched lies on the marked mount too, and is no measure of the guard's cost.
        std::printf("%d small files: before the guard ran median %.0f ms, watched median %.0f ms: "
                    "watching adds %+.0f %%\n",
                    small, Median(alone), Median(watched),
                    100.0 * (Median(watched) / Median(alone) - 1.0));
        std::printf("  unwatched while the guard ran: median %.0f ms (%+.0f %% against before)\n",
                    Median(unwatched), 100.0 * (Median(unwatched) / Median(alone) - 1.0));
        if (!bare.empty())
            std::printf("  a bare inotify reader (the floor) before the guard ran: median %.0f ms, "
                        "%+.0f %% against the same writes unwatched\n",
                        Median(bare), 100.0 * (Median(bare) / Median(alone) - 1.0));
        std::printf("Memory (RSS) after the runs: %ld KiB\n", RssKb(pid));
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    ::close(out[0]);
    return 0;
}

// Runs a program (found on PATH) to its end; its time in milliseconds, or -1 when it failed.
// `unmarked`: in a mount namespace of its own, whose copies of the mounts carry no fanotify mark,
// so that it does the same work on the same file system as if no guard ran.
double RunProgram(const std::vector<std::string>& command, bool quiet = false,
                  bool unmarked = false) {
    std::vector<char*> args;
    for (const std::string& a : command)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const Clock::time_point t0 = Clock::now();
    pid_t pid = 0;
    if (unmarked) {
        pid = ::fork();
        if (pid == 0) {
            if (quiet)
                ::dup2(::open("/dev/null", O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
            if (::unshare(CLONE_NEWNS) == 0)
                ::execvp(args[0], args.data());
            ::_exit(127);
        }
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet)
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = Ms(Clock::now() - t0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// Returns once a process has used no processor time for half a second (at most half a minute).
void WaitIdle(pid_t pid) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(30);
    for (double used = -1; Clock::now() < until;) {
        const double now = CpuMs(pid);
        if (now == used)
            return;
        used = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

// New files that execution opens and then gives up on at once: scripts whose interpreter does not
// exist. Executing one costs its opening (which the guard holds for a scan) and little else, so
// that the call's time is the opening's, free of a program's loading and running. Each differs
// from the others, so that no cache of clean files knows it.
std::vector<std::string> NewScripts(const QString& folder, const QString& stem, int count,
                                    qsizetype size) {
    static Bytes bytes;
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        const std::string path =
            QFile::encodeName(folder + QString("/%1%2").arg(stem).arg(i)).toStdString();
        WriteFile(path, "#!/nonexistent/GuardBench-interpreter\n" + bytes.next(size / 2).toHex());
        ::chmod(path.c_str(), 0755);
        paths.push_back(path);
    }
    return paths;
}

// The time an execution of such a script takes to fail, in milliseconds.
double ExecOpenMs(const std::string& path) {
    char* args[] = {const_cast<char*>(path.c_str()), nullptr};
    char* none[] = {nullptr};
    const Clock::time_point t0 = Clock::now();
    ::execve(path.c_str(), args, none);
    return Ms(Clock::now() - t0);
}

// The first executions of new programs while a bare fanotify reader of this process answers
// their openings at once, without a scan: what fanotify's round trip alone adds, which no guard
// can go below. Their median in milliseconds; -1 when the root's mount cannot be marked.
double UnderBareResponder(const std::vector<std::string>& paths) {
    const int group = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
    if (group < 0 || ::fanotify_mark(group, FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN_EXEC_PERM,
                                     AT_FDCWD, "/") != 0) {
        if (group >= 0)
            ::close(group);
        return -1;
    }
    std::atomic<bool> done = false;
    std::thread responder([&] {
        alignas(fanotify_event_metadata) char buffer[4096];
        while (!done) {
            pollfd wait{group, POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            ssize_t length = ::read(group, buffer, sizeof buffer);
            const auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
            for (; FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
                if (event->fd < 0)
                    continue;
                const fanotify_response allow{event->fd, FAN_ALLOW};
                if (::write(group, &allow, sizeof allow) != sizeof allow)
                    std::perror("GuardBench: an opening could not be answered");
                ::close(event->fd);
            }
        }
    });
    std::vector<double> times;
    for (const std::string& path : paths)
        times.push_back(ExecOpenMs(path));
    done = true;
    responder.join();
    ::close(group);
    return Median(times);
}

// The first scan of each file by the toolkit's shared engine, as the guard has an opened file
// scanned, without the guard: their median in milliseconds.
double ScanTime(const QString& toolkit, const std::vector<std::string>& paths) {
    const auto quiet = [](const QString&) {};
    const avtk::ObtainedScanner obtained = avtk::ObtainScanner(toolkit, {}, quiet, quiet);
    if (!obtained.scanner)
        return -1;
    avtk::ScanOptions options;
    options.archives = true; // as a file opened is scanned
    std::vector<double> times;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const Clock::time_point t0 = Clock::now();
        obtained.scanner->scan(fd, path, options);
        times.push_back(Ms(Clock::now() - t0));
        ::close(fd);
    }
    return Median(times);
}

// The time of extracting a tree and compiling a small program, round after round.
struct Work {
    std::vector<double> extract, compile;
};

// The files a round of work uses, made once.
struct WorkFiles {
    std::string archive, source;
};

WorkFiles MakeWorkFiles(const QString& prefix, int files) {
    // The tree to extract: small sources and a few programs, in folders of 300.
    const QString tree = prefix + "/tree";
    for (int i = 0; i < files; ++i) {
        const QString folder = QString("%1/d%2").arg(tree).arg(i / 300);
        if (i % 300 == 0)
            QDir().mkpath(folder);
        const bool program = i % 50 == 0;
        WriteFile(QFile::encodeName(folder + QString(program ? "/p%1.exe" : "/s%1.c").arg(i))
                      .toStdString(),
                  program ? "MZ" + QByteArray(2046, 'p') : QByteArray(200, 'c'));
    }
    WorkFiles made{QFile::encodeName(prefix + "/tree.tar").toStdString(),
                   QFile::encodeName(prefix + "/hello.c").toStdString()};
    RunProgram({"tar", "cf", made.archive, "-C", QFile::encodeName(prefix).toStdString(), "tree"});
    QDir(tree).removeRecursively();
    WriteFile(made.source, "#include <stdio.h>\nint main(void) { puts(\"hello\"); return 0; }\n");
    return made;
}

// One round: extracting the tree into a new folder, compiling the program there; then the folder
// goes, and its writing back is waited for, so that it falls on no round's time.
void WorkRound(const WorkFiles& files, const std::string& into, Work& times, bool unmarked) {
    QDir().mkpath(QFile::decodeName(into.c_str()));
    times.extract.push_back(RunProgram({"tar", "xf", files.archive, "-C", into}, false, unmarked));
    times.compile.push_back(
        RunProgram({"cc", "-O0", "-o", into + "/hello", files.source}, false, unmarked));
    RunProgram({"rm", "-rf", into});
    ::sync();
}

// The longest of many openings of one file.
double LongestOpen(const std::string& path, int times) {
    double worst = 0;
    for (int i = 0; i < times; ++i) {
        const Clock::time_point t0 = Clock::now();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        worst = std::max(worst, Ms(Clock::now() - t0));
        if (fd >= 0)
            ::close(fd);
    }
    return worst;
}

// The guard started on the prefix, without a display; 0 when it does not come to watch in
// fanotify mode (the log is shown then).
pid_t StartSystemGuard(const QString& toolkit, const QString& prefix) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("DISPLAY=", 0) != 0 && v.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
            v.rfind("WINGUARD_MODE=", 0) != 0 && v.rfind("VALLORIN_PREFIX=", 0) != 0)
            env.push_back(v);
    }
    env.push_back("VALLORIN_PREFIX=" + QFile::encodeName(prefix).toStdString());
    std::vector<char*> envp;
    for (std::string& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    const std::string program = QFile::encodeName(toolkit + "WGFE95.EXE").toStdString();
    char* args[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "GuardBench: %s cannot be started\n", program.c_str());
        return 0;
    }
    const auto log = [&] {
        QFile file(prefix + "/guard.log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const Clock::time_point started = Clock::now();
    while (!log().contains("Watching: ") && Clock::now() - started < std::chrono::seconds(120))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!log().contains("Mode: fanotify:")) {
        std::printf("The guard does not run in fanotify mode here:\n%s", qPrintable(log()));
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return 0;
    }
    return pid;
}

// The guard's cost of the work: rounds under its marks and beside them (the same work in a mount
// namespace that it does not mark) interleaved, the order turning each pair, each round begun
// with the guard idle (done with the files of the round before); the ratio of each pair, and the
// processor time the guard used for each round under its marks.
std::vector<double> PairedRounds(const WorkFiles& files, const QString& prefix, pid_t guard,
                                 int rounds, Work& with, Work& beside,
                                 std::vector<double>& compileRatios,
                                 std::vector<double>& guardCpu) {
    std::vector<double> extractRatios;
    for (int i = 0; i < rounds; ++i) {
        for (const bool marked : i % 2 ? std::array{true, false} : std::array{false, true}) {
            WaitIdle(guard);
            const double cpu = CpuMs(guard);
            const QString into = QString("%1/%2%3").arg(prefix, marked ? "with" : "beside").arg(i);
            WorkRound(files, QFile::encodeName(into).toStdString(), marked ? with : beside,
                      !marked);
            if (marked) {
                WaitIdle(guard);
                guardCpu.push_back(CpuMs(guard) - cpu);
            }
        }
        extractRatios.push_back(with.extract.back() / beside.extract.back());
        compileRatios.push_back(with.compile.back() / beside.compile.back());
    }
    return extractRatios;
}

void PrintWork(const char* what, const Work& before, const Work& with, const Work& beside,
               const Work& after, std::vector<double> Work::*times,
               const std::vector<double>& ratios) {
    const double without = (Median(before.*times) + Median(after.*times)) / 2;
    std::printf("%s: before the guard ran median %.0f ms, after it %.0f ms; while it ran %.0f ms "
                "under its marks, %.0f ms beside them\n"
                "  the guard's cost: %.2f times (median of %zu interleaved pairs, from %.2f to "
                "%.2f); %.2f times before and after\n",
                what, Median(before.*times), Median(after.*times), Median(with.*times),
                Median(beside.*times), Median(ratios), ratios.size(),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), Median(with.*times) / without);
}

// A new program's first execution waits for its scan; then its clean verdict is kept until it
// changes, and the kernel lets its executions through without asking the guard.
void PrintFirstOpens(const QString& toolkit, const std::vector<std::string>& waitedFor,
                     const std::vector<std::string>& scannedAlone) {
    std::vector<double> first, second;
    for (const std::string& path : waitedFor) {
        first.push_back(ExecOpenMs(path));
        second.push_back(ExecOpenMs(path));
    }
    const double alone = ScanTime(toolkit, scannedAlone);
    std::printf(
        "A new program of %lld kB: its first execution (its opening alone, %zu programs): median "
        "%.2f ms, the longest %.2f ms; its second %.2f ms; the first scan of such a "
        "program by the shared engine alone: median %.2f ms (the guard adds %.2f ms)\n",
        QFileInfo(QFile::decodeName(waitedFor.front().c_str())).size() / 1024, first.size(),
        Median(first), *std::max_element(first.begin(), first.end()), Median(second), alone,
        Median(first) - alone);
}

// The guard as a fresh prefix sets it up for root: C: is the whole machine, every drive watched,
// fanotify. Run in a mount namespace of this process's own, so that the marks on its copy of the
// root's mount touch no process outside. The same work is timed before the guard starts, while
// it runs (under its marks and beside them) and after it ended: extracting a tree of files,
// compiling a small program, opening a file already found clean, a new program's first
// execution.
int MeasureSystem(const QString& in, int files, int rounds) {
    std::printf("== the root's mount (a fresh prefix's C: as root), fanotify\n");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::printf("No mount namespace of its own can be had here (root is needed): skipped.\n");
        return 0;
    }
    const QString toolkit = InstallLayout::ToolkitFolder(QCoreApplication::applicationDirPath());
    QTemporaryDir temp(in + "/GuardBench-XXXXXX");
    const QString prefix = temp.path();
    QDir().mkpath(prefix + "/dosdevices");
    QFile::link("/", prefix + "/dosdevices/c:");
    {
        SettingsStore store(prefix + '/');
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("System\\CurrentControlSet\\Services\\VXD\\WinGuard", true);
        store.writeString("Long_logfilename", prefix + "/guard.log");
        store.closeKey();
    }
    // New programs for the first executions, made before the guard starts, so that it never saw
    // them written, and settled by the time they run (their clean verdict is kept).
    // Small ones, where the scan is short beside the opening's own round trip, and larger ones.
    const std::array<qsizetype, 2> programSizes = {8 * 1024, 2 * 1024 * 1024};
    std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> newPrograms;
    for (const qsizetype size : programSizes) {
        const QString stem = QString::number(size);
        const int count = size < 1024 * 1024 ? 100 : 20; // the short ones vary more
        newPrograms.emplace_back(NewScripts(prefix, "new" + stem + "-", count, size),
                                 NewScripts(prefix, "alone" + stem + "-", count, size));
    }
    const std::vector<std::string> bare = NewScripts(prefix, "bare-", 100, programSizes.front());
    const Clock::time_point made = Clock::now();
    const WorkFiles work = MakeWorkFiles(prefix, files);
    const std::string clean = QFile::encodeName(prefix + "/clean.exe").toStdString();
    WriteFile(clean, "MZ" + QByteArray(4094, 'c'));

    Work before, with, beside, after;
    for (int i = 0; i < rounds; ++i)
        WorkRound(work, QFile::encodeName(QString("%1/before%2").arg(prefix).arg(i)).toStdString(),
                  before, false);
    const double reopenBefore = LongestOpen(clean, 1000);

    const double bareFirst = UnderBareResponder(bare);
    std::printf("A new program of %lld kB while a bare fanotify reader answers its opening at once "
                "(fanotify's own round trip): its first execution median %.2f ms\n",
                qint64(programSizes.front() / 1024), bareFirst);
    const pid_t pid = StartSystemGuard(toolkit, prefix);
    if (pid == 0)
        return 0;
    std::this_thread::sleep_until(made + std::chrono::seconds(3));
    std::vector<double> compileRatios, guardCpu;
    const std::vector<double> extractRatios =
        PairedRounds(work, prefix, pid, rounds, with, beside, compileRatios, guardCpu);
    const double reopenWith = LongestOpen(clean, 1000);
    WaitIdle(pid);
    for (const auto& [waitedFor, scannedAlone] : newPrograms)
        PrintFirstOpens(toolkit, waitedFor, scannedAlone);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    for (int i = 0; i < rounds; ++i)
        WorkRound(work, QFile::encodeName(QString("%1/after%2").arg(prefix).arg(i)).toStdString(),
                  after, false);

    PrintWork(qPrintable(QString("Extracting %1 files").arg(files)), before, with, beside, after,
              &Work::extract, extractRatios);
    PrintWork("Compiling a small program", before, with, beside, after, &Work::compile,
              compileRatios);
    std::printf("The guard's processor time for a round under its marks: median %.0f ms\n",
                Median(guardCpu));
    std::printf("Opening a clean file 1,000 times: the longest %.2f ms before, %.2f ms with the "
                "guard\n",
                reopenBefore, reopenWith);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int small = IntOption(args, "small", 20000);
    const int burst = IntOption(args, "burst", 1000);
    const int rounds = IntOption(args, "rounds", 3);
    const QString in = StringOption(args, "in", QDir::tempPath());
    const QString chosen = StringOption(args, "mode", QString());
    const QStringList modes =
        chosen.isEmpty() ? QStringList{"inotify", "fanotify", "system"} : QStringList{chosen};
    for (const QString& mode : modes)
        if ((mode == "system"
                 ? MeasureSystem(in, IntOption(args, "tree", 31000), IntOption(args, "rounds", 5))
                 : Measure(mode, in, small, burst, rounds)) != 0)
            return 1;
    return 0;
}
