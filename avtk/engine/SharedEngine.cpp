#include "engine/SharedEngine.h"

#include "engine/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace avtk {

namespace {

// How long a program waits for a service it started to listen; loading the signatures comes
// after and is waited for without a limit, as a program of its own would wait for its load.
constexpr auto StartWait = std::chrono::seconds(10);
using Watch = std::chrono::microseconds;
// How long the answer to a scan that holds an opening is watched for before the thread sleeps:
// about the scan of a 30 kB file, where a wake-up would add a fifth to the opener's wait.
constexpr Watch HeldWatch{500};

// Starts the service detached from the program: its own session, no standard streams (a test
// or a terminal that waits for the program's output must not wait for the service's).
bool StartService(const QString& program, QString& why) {
    const QByteArray path = QFile::encodeName(program);
    char* const argv[] = {const_cast<char*>(path.constData()), nullptr};
    const pid_t child = ::fork();
    if (child < 0) {
        why = ErrnoText(errno);
        return false;
    }
    if (child == 0) {
        // Only calls that are safe after fork in a program with threads.
        if (::fork() != 0)
            ::_exit(0);
        ::setsid();
        // The signals the program blocks or ignores (the guard's) are not the service's: it ends
        // on SIGTERM as any service does.
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signal = 1; signal < NSIG; ++signal)
            ::signal(signal, SIG_DFL);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        ::close_range(3, ~0u, 0);
        ::execv(path.constData(), argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

int ConnectOrStart(const QString& toolkitFolder, const service::Endpoint& endpoint, bool start,
                   QString& why) {
    int connection = service::Connect(endpoint.socket, why);
    if (connection >= 0 || !start)
        return connection;
    const QString program = toolkitFolder + '/' + service::ProgramName;
    if (!QFileInfo(program).isExecutable()) {
        why = QString("%1 is not in the toolkit folder").arg(service::ProgramName);
        return -1;
    }
    // Two programs may both start one; the service's lock lets only one of them stay.
    if (!StartService(program, why))
        return -1;
    const auto until = std::chrono::steady_clock::now() + StartWait;
    auto pause = std::chrono::milliseconds(2);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
        connection = service::Connect(endpoint.socket, why);
        if (connection >= 0)
            return connection;
    }
    why = QString("%1 did not answer (%2)").arg(service::ProgramName, why);
    return -1;
}

std::optional<service::Welcome> Greet(int connection, uint64_t generation) {
    if (!service::Send(connection, service::Encode(service::Hello{generation})))
        return std::nullopt;
    const std::optional<QByteArray> answer = service::Receive(connection);
    return answer ? service::DecodeWelcome(*answer) : std::nullopt;
}

} // namespace

ServiceClient::ServiceClient(service::Endpoint endpoint, int connection, service::Welcome hello)
    : endpoint(std::move(endpoint)), hello(std::move(hello)), idle{{connection}, {}} {}

ServiceClient::~ServiceClient() {
    for (const std::vector<int>& kept : idle)
        for (int connection : kept)
            ::close(connection);
}

std::unique_ptr<ServiceClient> ServiceClient::Open(const QString& toolkitFolder, QString& why,
                                                   bool start) {
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkitFolder, why);
    if (!endpoint)
        return nullptr;
    const int connection = ConnectOrStart(toolkitFolder, *endpoint, start, why);
    if (connection < 0)
        return nullptr;
    const std::optional<service::Welcome> welcome = Greet(connection, 0);
    if (!welcome || !welcome->ready) {
        why = welcome ? welcome->problem : QString("the service ended before it answered");
        ::close(connection);
        return nullptr;
    }
    return std::unique_ptr<ServiceClient>(new ServiceClient(*endpoint, connection, *welcome));
}

int ServiceClient::take(bool background) const {
    {
        const std::lock_guard lock(mutex);
        std::vector<int>& kept = idle[background];
        if (!kept.empty()) {
            const int connection = kept.back();
            kept.pop_back();
            return connection;
        }
    }
    // A connection more for this thread, on the engine of the first.
    QString why;
    const int connection = service::Connect(endpoint.socket, why);
    if (connection < 0)
        return -1;
    if (!Greet(connection, hello.generation)) {
        ::close(connection);
        return -1;
    }
    return connection;
}

void ServiceClient::give(int connection, bool background) const {
    const std::lock_guard lock(mutex);
    idle[background].push_back(connection);
}

std::optional<std::vector<ScanResult>> ServiceClient::scan(std::span<const BatchFile> files,
                                                           const ScanOptions& options) const {
    if (gone)
        return std::nullopt;
    const int connection = take(options.background);
    std::vector<ScanResult> results;
    results.reserve(files.size());
    bool answered = connection >= 0;
    for (std::size_t begin = 0; answered && begin < files.size();) {
        // As many files as one request holds.
        service::ScanRequest request{options, {}};
        std::vector<int> fds;
        qsizetype bytes = 0;
        for (std::size_t i = begin; i < files.size() && fds.size() < service::MaxBatch; ++i) {
            // The engine takes the name for its own messages only: a path too long for a
            // request goes as its end, the file's own name.
            const std::string& path = files[i].name;
            const std::string_view name = std::string_view(path).substr(
                path.size() - std::min(path.size(), size_t(service::MaxNamesBytes)));
            bytes += qsizetype(name.size());
            if (!fds.empty() && bytes > service::MaxNamesBytes)
                break;
            request.names << QByteArray(name.data(), qsizetype(name.size()));
            fds.push_back(files[i].fd);
        }
        answered = service::Send(connection, service::Encode(request), fds);
        const std::size_t expected = results.size() + fds.size();
        while (answered && results.size() < expected) {
            const std::optional<QByteArray> packet =
                service::Receive(connection, nullptr, options.held ? HeldWatch : Watch{});
            std::optional<std::vector<ScanResult>> answers =
                packet ? service::DecodeAnswers(*packet) : std::nullopt;
            answered = answers && answers->size() <= expected - results.size();
            if (answered)
                std::move(answers->begin(), answers->end(), std::back_inserter(results));
        }
        begin += fds.size();
    }
    if (!answered) {
        gone = true;
        if (connection >= 0)
            ::close(connection);
        return std::nullopt;
    }
    give(connection, options.background);
    return results;
}

std::optional<ScanResult> ServiceClient::scan(int fd, const std::string& name,
                                              const ScanOptions& options) const {
    const BatchFile file{fd, name};
    std::optional<std::vector<ScanResult>> results = scan({&file, 1}, options);
    return results ? std::optional(std::move(results->front())) : std::nullopt;
}

bool ServiceClient::Stop(const QString& toolkitFolder, QString& why) {
    const std::optional<service::Endpoint> endpoint = service::EndpointFor(toolkitFolder, why);
    if (!endpoint)
        return false;
    const int connection = service::Connect(endpoint->socket, why);
    if (connection < 0)
        return false;
    // The service closes the connection once it has stopped.
    const bool sent = service::Send(connection, service::EncodeStop());
    while (sent && service::Receive(connection)) {
    }
    ::close(connection);
    if (!sent) {
        why = "the service did not take the request";
        return false;
    }
    // It has ended when its lock is free: the scans it was doing are finished by then.
    const int lock = ::open(QFile::encodeName(endpoint->lock).constData(), O_RDONLY | O_CLOEXEC);
    for (int tries = 0; lock >= 0 && tries < 1000 && ::flock(lock, LOCK_EX | LOCK_NB) != 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (lock >= 0)
        ::close(lock);
    return true;
}

namespace {

// The shared engine, with the extra driver's own small engine beside it, and an engine of the
// program's own once the service is gone.
class SharedScanner : public Scanner {
public:
    SharedScanner(std::unique_ptr<ServiceClient> client, std::unique_ptr<Engine> driver,
                  QString toolkitFolder, QString driverPath)
        : client(std::move(client)), driver(std::move(driver)),
          toolkitFolder(std::move(toolkitFolder)), driverPath(std::move(driverPath)) {}

    ScanResult scan(int fd, const std::string& name, const ScanOptions& options) const override {
        const BatchFile file{fd, name};
        return scanBatch({&file, 1}, options).front();
    }

    std::vector<ScanResult> scanBatch(std::span<const BatchFile> files,
                                      const ScanOptions& options) const override {
        std::optional<std::vector<ScanResult>> shared = client->scan(files, options);
        if (!shared)
            return own().scanBatch(files, options);
        for (std::size_t i = 0; i < files.size(); ++i)
            (*shared)[i] = withDriver(
                (*shared)[i], [&] { return driver->scan(files[i].fd, files[i].name, options); });
        return std::move(*shared);
    }

    ScanResult scan(const char* data, size_t size, const std::string& name,
                    const ScanOptions& options) const override {
        // The bytes go to the service as a file in memory.
        const int memory = ::memfd_create("avtk-bytes", MFD_CLOEXEC);
        size_t written = 0;
        while (memory >= 0 && written < size) {
            const ssize_t n = ::write(memory, data + written, size - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += size_t(n);
        }
        std::optional<std::vector<ScanResult>> shared;
        if (memory >= 0 && written == size) {
            const BatchFile file{memory, name};
            shared = client->scan({&file, 1}, options);
        }
        if (memory >= 0)
            ::close(memory);
        if (shared)
            return withDriver(shared->front(),
                              [&] { return driver->scan(data, size, name, options); });
        return own().scan(data, size, name, options);
    }

    QStringList takeNotes() override {
        const std::lock_guard lock(mutex);
        return std::exchange(notes, {});
    }

private:
    // The driver's signatures are looked for where the shared ones found nothing.
    template <typename Scan> ScanResult withDriver(const ScanResult& shared, Scan&& scan) const {
        if (!driver || shared.kind == ScanResult::Infected)
            return shared;
        ScanResult extra = scan();
        return extra.kind == ScanResult::Infected ? extra : shared;
    }

    const Engine& own() const {
        const std::lock_guard lock(mutex);
        if (!local) {
            local = std::make_unique<Engine>();
            // The files that fail were named when the scan began.
            const LoadSummary loaded =
                LoadSignatures(*local, toolkitFolder, driverPath, [](const QString&) {});
            const QString error = loaded.signatures ? local->compile() : "no signatures";
            notes << (error.isEmpty()
                          ? QString("Engine: the toolkit's shared engine stopped answering: this "
                                    "program goes on with its own (%1 signatures).")
                                .arg(loaded.signatures)
                          : QString("Engine: the toolkit's shared engine stopped answering and "
                                    "this program's own cannot be prepared: %1.")
                                .arg(error));
        }
        return *local;
    }

    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<Engine> driver;
    QString toolkitFolder, driverPath;
    mutable std::mutex mutex;
    mutable std::unique_ptr<Engine> local;
    mutable QStringList notes;
};

ObtainedScanner OwnEngine(const QString& toolkitFolder, const QString& driverPath,
                          const std::function<void(const QString&)>& failed) {
    ObtainedScanner obtained;
    auto engine = std::make_unique<Engine>();
    obtained.loaded = LoadSignatures(*engine, toolkitFolder, driverPath, failed);
    if (obtained.loaded.signatures == 0)
        return obtained;
    obtained.compileError = engine->compile();
    if (obtained.compileError.isEmpty())
        obtained.scanner = std::move(engine);
    return obtained;
}

} // namespace

ObtainedScanner ObtainScanner(const QString& toolkitFolder, const QString& driverPath,
                              const std::function<void(const QString&)>& failed,
                              const std::function<void(const QString&)>& note) {
    if (qEnvironmentVariable("AVTK_ENGINE").compare("own", Qt::CaseInsensitive) == 0) {
        note("Engine: this program's own (AVTK_ENGINE=own).");
        return OwnEngine(toolkitFolder, driverPath, failed);
    }
    QString why;
    std::unique_ptr<ServiceClient> client = ServiceClient::Open(toolkitFolder, why);
    if (!client) {
        note("Engine: the toolkit's shared engine cannot be had (" + why +
             "): this program loads its own.");
        return OwnEngine(toolkitFolder, driverPath, failed);
    }
    ObtainedScanner obtained;
    obtained.shared = true;
    obtained.servicePid = client->welcome().pid;
    obtained.loaded = client->welcome().loaded;
    for (const QString& failure : client->welcome().failures)
        failed(failure);
    std::unique_ptr<Engine> driver;
    if (!driverPath.isEmpty()) {
        driver = std::make_unique<Engine>();
        const LoadSummary extra = LoadDriver(*driver, driverPath, failed);
        const QString error = extra.signatures ? driver->compile() : QString();
        if (!error.isEmpty())
            failed(QString("Signatures %1 not loaded: %2.")
                       .arg(QFileInfo(driverPath).fileName(), error));
        if (extra.signatures && error.isEmpty()) {
            obtained.loaded.files += extra.files;
            obtained.loaded.signatures += extra.signatures;
        } else {
            driver.reset();
        }
    }
    obtained.scanner = std::make_unique<SharedScanner>(std::move(client), std::move(driver),
                                                       toolkitFolder, driverPath);
    return obtained;
}

} // namespace avtk
