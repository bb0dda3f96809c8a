#include "engine/ScanPool.h"

#include "engine/SystemError.h"

#include "engine/FileKinds.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

namespace {

// Enough queued paths to keep every thread busy while the walk waits on a slow folder, and few
// enough that a walk of millions of files holds little memory.
constexpr std::size_t QueueCapacity = 1024;
// A batch holds small files only: past this many bytes a file goes in the next one.
constexpr int64_t BatchBytes = 1024 * 1024;

class Fd {
public:
    explicit Fd(int fd = -1) : fd(fd) {}
    Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    int get() const { return fd; }

private:
    int fd;
};

// A job made ready for the engine: its file open and chosen, or its outcome known already.
struct Opened {
    FileOutcome outcome;
    Fd file; // the file to scan; none when the outcome is known
    bool insideArchives = false;
};

Opened Open(const Selection& poolSelection, FileJob job) {
    Selection selection = poolSelection;
    if (job.insideArchives)
        selection.archives = true;
    Opened opened;
    opened.insideArchives = job.insideArchives;
    FileOutcome& outcome = opened.outcome;
    const bool named = job.named;
    outcome.path = std::move(job.path);
    outcome.shown = std::move(job.shown);
    outcome.rootLength = job.rootLength;
    auto notChecked = [&](QString problem) {
        outcome.kind = FileOutcome::NotChecked;
        outcome.problem = std::move(problem);
        return std::move(opened);
    };
    // Not following a link found on the way, and not blocking on a pipe that took the file's
    // place meanwhile.
    outcome.fd = job.fd;
    Fd file{job.fd >= 0 ? ::fcntl(job.fd, F_DUPFD_CLOEXEC, 0)
                        : ::open(outcome.path.c_str(),
                                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | (named ? 0 : O_NOFOLLOW))};
    if (file.get() < 0)
        return notChecked(errno == ENOENT ? QString("vanished before it was scanned")
                                          : ErrnoText(errno));
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        return notChecked(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return notChecked("no longer a file");
    outcome.device = st.st_dev;
    outcome.inode = st.st_ino;
    if (!selection.allFiles && !named) {
        char head[HeadSize];
        const ssize_t got = ::pread(file.get(), head, sizeof head, 0);
        if (got < 0)
            return notChecked(ErrnoText(errno));
        const std::string_view bytes(head, std::size_t(got));
        const std::size_t slash = outcome.path.rfind('/');
        const std::string_view name = std::string_view(outcome.path).substr(slash + 1);
        if (!IsProgramFile(name, bytes) && !(selection.archives && IsArchive(name, bytes))) {
            outcome.kind = FileOutcome::NotSelected;
            return opened;
        }
    }
    if (uint64_t(st.st_size) > Engine::MaxFileSize)
        return notChecked(
            QString("larger than %1 MB, not scanned").arg(Engine::MaxFileSize / (1024 * 1024)));
    opened.file = std::move(file);
    return opened;
}

} // namespace

ScanPool::ScanPool(const Scanner& engine, const ScanOptions& options, const Selection& selection,
                   unsigned count, unsigned batch)
    : engine(engine), options(options), selection(selection), batch(std::max(1u, batch)),
      jobs(QueueCapacity) {
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
    // Small files of known size only, so that a large one never waits behind others.
    const auto fits = [this](const std::vector<FileJob>& taken, const FileJob& next) {
        const auto small = [](const FileJob& job) {
            return job.size >= 0 && job.size < BatchBytes;
        };
        int64_t bytes = next.size;
        for (const FileJob& job : taken)
            bytes += small(job) ? job.size : BatchBytes;
        return taken.size() < batch && small(next) && bytes <= BatchBytes;
    };
    for (;;) {
        std::vector<FileJob> taken = jobs.popBatch(fits);
        if (taken.empty())
            break;
        std::vector<FileOutcome> done = ScanFiles(engine, options, selection, std::move(taken));
        std::lock_guard lock(mutex);
        std::move(done.begin(), done.end(), std::back_inserter(outcomes));
        ready.notify_one();
    }
    std::lock_guard lock(mutex);
    --running;
    ready.notify_all();
}

FileOutcome ScanPool::ScanFile(const Scanner& engine, const ScanOptions& options,
                               const Selection& selection, FileJob job) {
    std::vector<FileJob> one;
    one.push_back(std::move(job));
    return std::move(ScanFiles(engine, options, selection, std::move(one)).front());
}

std::vector<FileOutcome> ScanPool::ScanFiles(const Scanner& engine, const ScanOptions& poolOptions,
                                             const Selection& selection,
                                             std::vector<FileJob> jobs) {
    std::vector<Opened> opened;
    opened.reserve(jobs.size());
    for (FileJob& job : jobs)
        opened.push_back(Open(selection, std::move(job)));
    // One call for each set of options: a job may ask for its archives to be looked into.
    for (const bool inside : {false, true}) {
        ScanOptions options = poolOptions;
        options.archives = options.archives || inside;
        std::vector<BatchFile> files;
        std::vector<FileOutcome*> of;
        for (Opened& one : opened)
            if (one.file.get() >= 0 && one.insideArchives == inside) {
                files.push_back(BatchFile{one.file.get(), one.outcome.path});
                of.push_back(&one.outcome);
            }
        if (files.empty())
            continue;
        std::vector<ScanResult> results = engine.scanBatch(files, options);
        for (std::size_t i = 0; i < of.size(); ++i) {
            of[i]->result = std::move(results[i]);
            if (of[i]->result.kind == ScanResult::Failed) {
                of[i]->kind = FileOutcome::NotChecked;
                of[i]->problem = of[i]->result.problem;
            }
        }
    }
    std::vector<FileOutcome> outcomes;
    outcomes.reserve(opened.size());
    for (Opened& one : opened)
        outcomes.push_back(std::move(one.outcome));
    return outcomes;
}

} // namespace avtk
