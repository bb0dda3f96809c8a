// AVEngine ("AVEngine.exe"): the toolkit's engine service. It loads the signatures once, as the
// scanner would, and scans for every toolkit program of its user the files they send it open
// over a Unix socket in the user's runtime folder; it never opens a path for them. The first
// program that needs it starts it; it ends after a stated idle time with no program connected,
// and builds a new engine when a database folder changes. Described in the toolkit's help
// (veinfo95.hlp, "The shared engine").
#include "engine/Background.h"
#include "engine/Engine.h"
#include "engine/ServiceProtocol.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "engine/SystemError.h"
#include "lib/Program.h"
#include "lib/Switches.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace avtk;
using Clock = std::chrono::steady_clock;

const QList<SwitchSpec> Switches = {{"IDLE", SwitchSpec::Value}, {"UNLOADFIRST"}, {"STOP"}};

// A change in a database folder is acted on once the folder has been quiet this long: an update
// writes and renames several files.
constexpr auto Settle = std::chrono::milliseconds(500);
constexpr int DefaultIdleSeconds = 600;

// One compiled engine and what a program is told of its load.
struct Generation {
    std::unique_ptr<Engine> engine;
    service::Welcome welcome;
};

class Service {
public:
    Service(QString toolkitFolder, int idleSeconds, bool unloadFirst)
        : toolkitFolder(std::move(toolkitFolder)), idleSeconds(idleSeconds),
          unloadFirst(unloadFirst) {}

    int run(const service::Endpoint& endpoint);

private:
    void serve(int connection);
    service::Welcome welcome(uint64_t asked, std::shared_ptr<Generation>& pinned);
    std::shared_ptr<Generation> engineFor(const std::shared_ptr<Generation>& pinned);
    std::vector<ScanResult> scanAll(const std::shared_ptr<Generation>& pinned,
                                    const service::ScanRequest& request,
                                    const std::vector<int>& fds);
    void load();
    void watch();
    void wake() { ::eventfd_write(wakeup, 1); }

    QString toolkitFolder;
    int idleSeconds;
    bool unloadFirst;
    int wakeup = -1;
    int watcher = -1;
    int signaturesWatch = -1;

    std::mutex mutex;
    std::condition_variable changed;
    // The engine programs are welcomed with; the older ones live while a connection keeps them.
    std::shared_ptr<Generation> current;
    std::map<uint64_t, std::weak_ptr<Generation>> older;
    uint64_t generations = 0;
    bool loading = false;
    bool stopping = false;
    int connections = 0;
    Clock::time_point lastUse = Clock::now();
    std::map<int, std::thread> serving; // by connection
    std::vector<std::thread> ended;
};

void Service::load() {
    std::shared_ptr<Generation> before;
    {
        std::unique_lock lock(mutex);
        if (unloadFirst && current) {
            // No room for two: the old engine goes first, once the scans on it have ended; the
            // programs wait meanwhile and go on with the new one.
            std::weak_ptr<Generation> old = current;
            current.reset();
            changed.wait(lock, [&] { return old.expired(); });
        }
    }
    auto next = std::make_shared<Generation>();
    next->engine = std::make_unique<Engine>();
    QStringList failures;
    next->welcome.loaded = LoadDatabases(*next->engine, toolkitFolder,
                                         [&](const QString& failure) { failures << failure; });
    next->welcome.failures = failures;
    next->welcome.pid = ::getpid();
    const QString error =
        next->welcome.loaded.signatures ? next->engine->compile() : QString("no signatures");
    next->welcome.ready = error.isEmpty();
    if (!error.isEmpty())
        next->welcome.problem = "the service could not prepare the signatures: " + error;
    const std::lock_guard lock(mutex);
    next->welcome.generation = ++generations;
    if (current)
        older[current->welcome.generation] = current;
    current = std::move(next);
    loading = false;
    changed.notify_all();
    wake();
}

service::Welcome Service::welcome(uint64_t asked, std::shared_ptr<Generation>& pinned) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return current || stopping; });
    if (stopping)
        return {};
    // A program's later connections go on with the engine its first one was welcomed with.
    if (const auto found = older.find(asked); found != older.end())
        pinned = found->second.lock();
    if (!pinned)
        pinned = current;
    for (auto it = older.begin(); it != older.end();)
        it = it->second.expired() ? older.erase(it) : std::next(it);
    if (unloadFirst) {
        service::Welcome answer = pinned->welcome;
        pinned.reset(); // nothing kept between scans, so that a reload can free the engine
        return answer;
    }
    return pinned->welcome;
}

std::shared_ptr<Generation> Service::engineFor(const std::shared_ptr<Generation>& pinned) {
    if (pinned)
        return pinned;
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return current || stopping; });
    return current;
}

std::vector<ScanResult> Service::scanAll(const std::shared_ptr<Generation>& pinned,
                                         const service::ScanRequest& request,
                                         const std::vector<int>& fds) {
    const std::shared_ptr<Generation> generation = engineFor(pinned);
    if (!generation || !generation->welcome.ready) {
        ScanResult refused;
        refused.kind = ScanResult::Failed;
        refused.problem = "the service is stopping";
        return std::vector<ScanResult>(fds.size(), refused);
    }
    std::vector<std::string> names;
    names.reserve(fds.size());
    std::vector<BatchFile> files;
    files.reserve(fds.size());
    for (std::size_t i = 0; i < fds.size(); ++i)
        files.push_back(
            BatchFile{fds[i], names.emplace_back(request.names[qsizetype(i)].toStdString())});
    return generation->engine->scanBatch(files, request.options);
}

void Service::serve(int connection) {
    std::shared_ptr<Generation> pinned;
    bool background = false;
    std::optional<QByteArray> first = service::Receive(connection);
    if (first && service::KindOf(*first) == service::Kind::Stop) {
        const std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
        wake();
        first.reset();
    }
    const std::optional<service::Hello> hello = first ? service::DecodeHello(*first) : std::nullopt;
    const service::Welcome answer = hello ? welcome(hello->generation, pinned) : service::Welcome{};
    if (hello && answer.pid && service::Send(connection, service::Encode(answer)) && answer.ready)
        for (;;) {
            std::vector<int> fds;
            const std::optional<QByteArray> message = service::Receive(connection, &fds);
            const auto closeAll = [&] {
                for (int fd : std::exchange(fds, {}))
                    ::close(fd);
            };
            const std::optional<service::Kind> kind =
                message ? service::KindOf(*message) : std::nullopt;
            if (kind == service::Kind::Stop) {
                closeAll();
                const std::lock_guard lock(mutex);
                stopping = true;
                changed.notify_all();
                wake();
                break;
            }
            const std::optional<service::ScanRequest> request =
                kind == service::Kind::Scan ? service::DecodeScanRequest(*message) : std::nullopt;
            // A request is as many descriptors as names: anything else is no program of ours.
            if (!request || size_t(request->names.size()) != fds.size() || fds.empty()) {
                closeAll();
                break;
            }
            // The scan runs at the priority its program asked for: the guard's scans of written
            // files, which nobody waits for, stay out of the way of every other program.
            // (Back in the foreground only with the right to raise a priority: root's guard has
            // it; a user's guard scans only in the background.)
            if (request->options.background != background &&
                SetBackground(request->options.background).isEmpty())
                background = request->options.background;
            const std::vector<ScanResult> results = scanAll(pinned, *request, fds);
            closeAll();
            changed.notify_all(); // a reload that waits for the old engine to be let go
            // The answers go together once all are ready: the program wakes once a batch.
            bool sent = true;
            for (const QByteArray& packet : service::EncodeAnswers(results))
                sent = sent && service::Send(connection, packet);
            if (!sent)
                break;
        }
    pinned.reset();
    const std::lock_guard lock(mutex);
    ::close(connection);
    --connections;
    lastUse = Clock::now();
    if (auto it = serving.find(connection); it != serving.end()) {
        ended.push_back(std::move(it->second));
        serving.erase(it);
    }
    changed.notify_all();
    wake();
}

// The listening socket the user manager passed (socket activation: LISTEN_PID names this
// process, LISTEN_FDS one descriptor, 3), if it did; `why` says what is wrong with it.
std::optional<int> ActivatedListener(const QByteArray& socketPath, QString& why) {
    constexpr int Passed = 3;
    if (qEnvironmentVariableIntValue("LISTEN_PID") != ::getpid())
        return std::nullopt;
    const int count = qEnvironmentVariableIntValue("LISTEN_FDS");
    for (const char* name : {"LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"})
        ::unsetenv(name); // not for the processes this one might start
    int type = 0;
    socklen_t size = sizeof(type);
    sockaddr_un address{};
    socklen_t addressSize = sizeof(address);
    if (count != 1 || ::getsockopt(Passed, SOL_SOCKET, SO_TYPE, &type, &size) != 0 ||
        type != SOCK_SEQPACKET ||
        ::getsockname(Passed, reinterpret_cast<sockaddr*>(&address), &addressSize) != 0 ||
        address.sun_family != AF_UNIX) {
        why = "the socket unit must pass one socket of sequenced packets "
              "(ListenSequentialPacket=)";
        return std::nullopt;
    }
    // A socket elsewhere would never be found by the programs: said rather than served.
    if (std::strncmp(address.sun_path, socketPath.constData(), sizeof(address.sun_path)) != 0) {
        why = QString("the socket unit listens on %1, but this toolkit's programs connect to %2")
                  .arg(QFile::decodeName(address.sun_path), QFile::decodeName(socketPath));
        return std::nullopt;
    }
    ::fcntl(Passed, F_SETFD, FD_CLOEXEC);
    ::fcntl(Passed, F_SETFL, ::fcntl(Passed, F_GETFL) | O_NONBLOCK);
    return Passed;
}

std::optional<ino_t> InodeOf(const QByteArray& path) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return std::nullopt;
    return st.st_ino;
}

// A new listening socket at the path, or -1 after a line on standard error.
int Listen(const QByteArray& socketPath) {
    const int listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
    ::unlink(socketPath.constData()); // a socket left by a service that was killed
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
        ::listen(listener, 64) != 0) {
        std::fprintf(stderr, "AVEngine: %s: %s\n", socketPath.constData(),
                     ErrnoText(errno).toLocal8Bit().constData());
        return -1;
    }
    return listener;
}

void Service::watch() {
    watcher = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watcher < 0)
        return;
    constexpr uint32_t Changes = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                 IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
    signaturesWatch = ::inotify_add_watch(
        watcher, QFile::encodeName(toolkitFolder + "/Signatures").constData(), Changes);
    const QString system = SystemDatabaseFolder();
    if (QFileInfo(system).isDir())
        ::inotify_add_watch(watcher, QFile::encodeName(system).constData(), Changes);
}

int Service::run(const service::Endpoint& endpoint) {
    const QByteArray socketPath = QFile::encodeName(endpoint.socket);
    // One service an endpoint: the lock is held while the service lives; a second one started
    // meanwhile ends here, and the programs connect to the first.
    const int lock =
        ::open(QFile::encodeName(endpoint.lock).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0)
        return 0;
    QString why;
    const std::optional<int> activated = ActivatedListener(socketPath, why);
    if (!why.isEmpty()) {
        std::fprintf(stderr, "AVEngine: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    const int listener = activated ? *activated : Listen(socketPath);
    if (listener < 0)
        return 1;
    // The socket this service made; once its path names something else (the runtime folder was
    // removed, say), no program can reach the service any more.
    const std::optional<ino_t> made = activated ? std::nullopt : InodeOf(socketPath);
    const auto reachable = [&] { return !made || InodeOf(socketPath) == made; };
    wakeup = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    watch();
    // The first engine is built on the main thread, before any connection is taken (programs
    // that connect meanwhile wait in the socket's queue): see the engine benchmark's cold figure.
    loading = true;
    load();
    std::thread loader;
    std::optional<Clock::time_point> reloadAt;
    // The toolkit's Signatures folder was removed (nothing left to serve), or the socket.
    bool gone = false;
    for (bool stop = false; !stop;) {
        std::vector<std::thread> finished;
        {
            const std::lock_guard hold(mutex);
            finished.swap(ended);
            const bool idle = connections == 0 && !loading;
            gone = gone || !reachable();
            stop = stopping || (gone && idle) ||
                   (idleSeconds > 0 && idle &&
                    Clock::now() - lastUse >= std::chrono::seconds(idleSeconds));
            if (!stop && reloadAt && Clock::now() >= *reloadAt && !loading) {
                reloadAt.reset();
                loading = true;
                if (loader.joinable())
                    finished.push_back(std::move(loader));
                loader = std::thread([this] { load(); });
            }
        }
        for (std::thread& t : finished)
            t.join();
        if (stop)
            break;
        pollfd fds[] = {{listener, POLLIN, 0}, {wakeup, POLLIN, 0}, {watcher, POLLIN, 0}};
        ::poll(fds, watcher >= 0 ? 3 : 2, reloadAt ? 100 : 1000);
        if (fds[1].revents & POLLIN) {
            eventfd_t ignored;
            ::eventfd_read(wakeup, &ignored);
        }
        if (watcher >= 0 && (fds[2].revents & POLLIN)) {
            alignas(inotify_event) char events[4096];
            ssize_t n;
            while ((n = ::read(watcher, events, sizeof(events))) > 0)
                for (char* at = events; at < events + n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    if (event->wd == signaturesWatch &&
                        (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)))
                        gone = true;
                    at += sizeof(inotify_event) + event->len;
                }
            reloadAt = Clock::now() + Settle;
        }
        if (fds[0].revents & POLLIN)
            for (;;) {
                const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0)
                    break;
                // Only this user's programs: anyone else's connection is closed unanswered.
                ucred peer{};
                socklen_t size = sizeof(peer);
                if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
                    peer.uid != ::getuid()) {
                    ::close(connection);
                    continue;
                }
                const std::lock_guard hold(mutex);
                ++connections;
                serving.emplace(connection, std::thread([this, connection] { serve(connection); }));
            }
    }
    // Stopping: no new programs; the connected ones are let go once their scan has ended. The
    // user manager's socket stays: it starts the service again for the next program.
    if (made && reachable())
        ::unlink(socketPath.constData());
    ::close(listener);
    std::vector<std::thread> remaining;
    {
        const std::lock_guard hold(mutex);
        stopping = true;
        changed.notify_all();
        for (auto& [connection, thread] : serving)
            ::shutdown(connection, SHUT_RDWR);
    }
    if (loader.joinable())
        loader.join();
    {
        std::unique_lock hold(mutex);
        changed.wait(hold, [&] { return connections == 0; });
        remaining.swap(ended);
    }
    for (std::thread& t : remaining)
        t.join();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // As in the scanner: a file read whole for scanning goes back to the system when done.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    QCoreApplication application(argc, argv);
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), Switches);
    if (!line.ok()) {
        for (const QString& error : line.errors())
            std::fprintf(stderr, "AVEngine: %s\n", error.toLocal8Bit().constData());
        return Program::RefusedExitCode;
    }
    const QString toolkit = Program::ToolkitFolder();
    QString why;
    if (line.has("STOP")) {
        if (!ServiceClient::Stop(toolkit, why)) {
            std::printf("No engine service is running (%s).\n", why.toLocal8Bit().constData());
            return 1;
        }
        std::printf("The engine service has stopped.\n");
        return 0;
    }
    // The idle time: the switch, else the environment of the program that started the service.
    bool valid = true;
    const QString idle =
        line.has("IDLE") ? line.value("IDLE") : qEnvironmentVariable("AVTK_ENGINE_IDLE");
    const int idleSeconds = idle.isEmpty() ? DefaultIdleSeconds : idle.toInt(&valid);
    if (!valid || idleSeconds < 0) {
        std::fprintf(stderr, "AVEngine: the idle time \"%s\" is not a number of seconds.\n",
                     idle.toLocal8Bit().constData());
        return Program::RefusedExitCode;
    }
    const bool unloadFirst =
        line.has("UNLOADFIRST") ||
        qEnvironmentVariable("AVTK_ENGINE_RELOAD").compare("unload-first", Qt::CaseInsensitive) ==
            0;
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkit, why);
    if (!endpoint) {
        std::fprintf(stderr, "AVEngine: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    Service service(toolkit, idleSeconds, unloadFirst);
    return service.run(*endpoint);
}
