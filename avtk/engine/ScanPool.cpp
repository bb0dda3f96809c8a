#include "engine/ScanPool.h"

#include "engine/SystemError.h"

#include "engine/FileKinds.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

namespace {

// Enough queued paths to keep every thread busy while the walk waits on a slow folder, and few
// enough that a walk of millions of files holds little memory.
constexpr std::size_t QueueCapacity = 1024;

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ScanPool::ScanPool(const Scanner& engine, const ScanOptions& options, const Selection& selection,
                   unsigned count)
    : engine(engine), options(options), selection(selection), jobs(QueueCapacity) {
    running = std::max(1u, count);
    for (unsigned i = 0; i < running; ++i)
        threads.emplace_back([this] { work(); });
}

ScanPool::~ScanPool() {
    jobs.abandon();
    for (std::thread& thread : threads)
        thread.join();
}

bool ScanPool::submit(FileJob job) {
    return jobs.push(std::move(job));
}

void ScanPool::close() {
    jobs.close();
}

void ScanPool::cancel() {
    jobs.abandon();
}

void ScanPool::pass(FileOutcome outcome) {
    std::lock_guard lock(mutex);
    outcomes.push_back(std::move(outcome));
    ready.notify_one();
}

std::vector<FileOutcome> ScanPool::collect(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    ready.wait_for(lock, wait, [&] { return !outcomes.empty() || running == 0; });
    std::vector<FileOutcome> taken;
    taken.swap(outcomes);
    return taken;
}

bool ScanPool::finished() {
    std::lock_guard lock(mutex);
    return running == 0 && outcomes.empty();
}

void ScanPool::work() {
    while (std::optional<FileJob> job = jobs.pop()) {
        FileOutcome outcome = ScanFile(engine, options, selection, std::move(*job));
        std::lock_guard lock(mutex);
        outcomes.push_back(std::move(outcome));
        ready.notify_one();
    }
    std::lock_guard lock(mutex);
    --running;
    ready.notify_all();
}

FileOutcome ScanPool::ScanFile(const Scanner& engine, const ScanOptions& poolOptions,
                               const Selection& poolSelection, FileJob job) {
    ScanOptions options = poolOptions;
    Selection selection = poolSelection;
    if (job.insideArchives) {
        options.archives = true;
        selection.archives = true;
    }
    FileOutcome outcome;
    const bool named = job.named;
    outcome.path = std::move(job.path);
    outcome.shown = std::move(job.shown);
    outcome.rootLength = job.rootLength;
    auto notChecked = [&](QString problem) {
        outcome.kind = FileOutcome::NotChecked;
        outcome.problem = std::move(problem);
        return std::move(outcome);
    };
    // Not following a link found on the way, and not blocking on a pipe that took the file's
    // place meanwhile.
    outcome.fd = job.fd;
    Fd file{job.fd >= 0 ? ::fcntl(job.fd, F_DUPFD_CLOEXEC, 0)
                        : ::open(outcome.path.c_str(),
                                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | (named ? 0 : O_NOFOLLOW))};
    if (file.fd < 0)
        return notChecked(errno == ENOENT ? QString("vanished before it was scanned")
                                          : ErrnoText(errno));
    struct stat st;
    if (::fstat(file.fd, &st) != 0)
        return notChecked(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return notChecked("no longer a file");
    outcome.device = st.st_dev;
    outcome.inode = st.st_ino;
    if (!selection.allFiles && !named) {
        char head[HeadSize];
        const ssize_t got = ::pread(file.fd, head, sizeof head, 0);
        if (got < 0)
            return notChecked(ErrnoText(errno));
        const std::string_view bytes(head, std::size_t(got));
        const std::size_t slash = outcome.path.rfind('/');
        const std::string_view name = std::string_view(outcome.path).substr(slash + 1);
        if (!IsProgramFile(name, bytes) && !(selection.archives && IsArchive(name, bytes))) {
            outcome.kind = FileOutcome::NotSelected;
            return outcome;
        }
    }
    if (uint64_t(st.st_size) > Engine::MaxFileSize)
        return notChecked(
            QString("larger than %1 MB, not scanned").arg(Engine::MaxFileSize / (1024 * 1024)));
    outcome.result = engine.scan(file.fd, outcome.path, options);
    if (outcome.result.kind == ScanResult::Failed)
        return notChecked(outcome.result.problem);
    return outcome;
}

} // namespace avtk
