#include "resident/AccessWatch.h"

#include "engine/SystemError.h"
#include "engine/Walk.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string_view>
#include <utility>

namespace guard {

namespace {

using Clock = std::chrono::steady_clock;

// A file changed this recently may change again within the time stamp's grain without its
// stamp moving: its clean verdict is not remembered. AVTK_GUARD_SETTLED_MS sets another time (the
// tests' clock, so that they need not wait for a file to age).
qint64 SettledNs() {
    static const qint64 settled = [] {
        bool given = false;
        const int ms = qEnvironmentVariableIntValue("AVTK_GUARD_SETTLED_MS", &given);
        return given && ms >= 0 ? qint64(ms) * 1'000'000 : qint64(2'000'000'000);
    }();
    return settled;
}
// Descriptors of events held for scanning at most (the process's limit may be 1,024).
constexpr std::size_t HeldLimit = 256;
// How long the events of written files are let gather once one came.
constexpr int WrittenGathering = 20; // ms
// Remembered clean files at most; the memory is then started afresh.
constexpr std::size_t CleanLimit = 100'000;

qint64 Ns(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The system's folders: opening their files is never held up, and a mount that holds one of them
// is watched for execution and writing only.
constexpr const char* SystemFolders[] = {"/usr",  "/etc", "/var", "/boot",
                                         "/proc", "/sys", "/dev", "/run"};

void Wake(int eventFd) {
    const uint64_t one = 1;
    if (eventFd >= 0 && ::write(eventFd, &one, sizeof one) < 0)
        std::perror("WinGuard: an event reader could not be woken");
}

bool InSystemFolder(std::string_view path) {
    for (std::string_view folder : SystemFolders)
        if (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
            path[folder.size()] == '/')
            return true;
    return false;
}

// The mount a path lies on: its mount id where the kernel tells it, else its device.
uint64_t MountOf(const char* path) {
    struct statx stx;
    if (::statx(AT_FDCWD, path, AT_NO_AUTOMOUNT, STATX_MNT_ID, &stx) != 0)
        return 0;
    if (stx.stx_mask & STATX_MNT_ID)
        return stx.stx_mnt_id;
    return (uint64_t(stx.stx_dev_major) << 32) | stx.stx_dev_minor;
}

bool HoldsSystemFolders(const char* root) {
    if (InSystemFolder(root))
        return true;
    const uint64_t mount = MountOf(root);
    for (const char* folder : SystemFolders)
        if (mount != 0 && MountOf(folder) == mount)
            return true;
    return false;
}

std::string FdPath(int fd) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target);
    return n > 0 && size_t(n) < sizeof target ? std::string(target, size_t(n)) : std::string();
}

// A file that no name leads to any more (its descriptor's, or its path's when it has none).
bool Removed(const avtk::FileJob& job) {
    struct stat st;
    if (job.fd >= 0)
        return ::fstat(job.fd, &st) == 0 && st.st_nlink == 0;
    return ::lstat(job.path.c_str(), &st) != 0 && errno == ENOENT;
}

} // namespace

AccessWatch::AccessWatch(bool writes, std::string toolkitFolder)
    : writes(writes), toolkit(std::move(toolkitFolder)), self(::getpid()) {
    if (!toolkit.empty() && toolkit.back() != '/')
        toolkit += '/';
    // The files of events are opened for reading only, without touching their access time.
    const unsigned flags =
        FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK | FAN_UNLIMITED_QUEUE | FAN_UNLIMITED_MARKS;
    const unsigned files = O_RDONLY | O_LARGEFILE | O_CLOEXEC | O_NOATIME | O_NONBLOCK;
    fanFd = ::fanotify_init(flags, files);
    // The files closed after writing come through a group of their own: nobody waits for them,
    // so that they can be read in batches, and an opening never queues behind them.
    if (fanFd >= 0)
        writtenFd = ::fanotify_init((flags & ~FAN_CLASS_CONTENT) | FAN_CLASS_NOTIF, files);
    if (fanFd < 0 || writtenFd < 0) {
        failure = "fanotify cannot be used by this process: " + avtk::ErrnoText(errno);
        for (int* fd : {&fanFd, &writtenFd})
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
    }
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    writtenWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

AccessWatch::~AccessWatch() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        checking = false;
    }
    for (Line* line : {&opened, &written})
        line->ready.notify_all();
    for (int fd : {wakeFd, writtenWakeFd})
        Wake(fd);
    for (std::thread* thread : {&writtenReader, &writtenDispatcher})
        if (thread->joinable())
            thread->join();
    for (std::thread& thread : openers)
        if (thread.joinable())
            thread.join();
    // Whatever still waits is allowed; closing the group would allow it too.
    for (const auto& [fd, entry] : pending) {
        if (entry.permission && !entry.answered)
            respond(fd, true);
        ::close(fd);
    }
    for (int fd : {fanFd, writtenFd, wakeFd, writtenWakeFd})
        if (fd >= 0)
            ::close(fd);
}

bool AccessWatch::addTree(const std::string& root, const QString& shownRoot, QString& problem) {
    char real[PATH_MAX];
    if (!::realpath(root.c_str(), real)) {
        problem = shownRoot + ": not watched: " + avtk::ErrnoText(errno);
        return false;
    }
    // A mount mark takes every opening of the mount: on the one that holds the system's
    // folders, every program of the machine would wait for the guard. There only execution
    // waits, and writing is watched without anyone waiting; opening for reading is not held up.
    const bool system = HoldsSystemFolders(real);
    const auto mark = [&](int group, uint64_t mask) {
        return ::fanotify_mark(group, FAN_MARK_ADD | FAN_MARK_MOUNT, mask, AT_FDCWD, real);
    };
    int marked = mark(fanFd, system ? FAN_OPEN_EXEC_PERM : FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM);
    // A kernel older than the execution event: opening covers execution as well (on the
    // system's mount only writing is watched then).
    if (marked != 0 && errno == EINVAL)
        marked = system ? 0 : mark(fanFd, FAN_OPEN_PERM);
    if (marked == 0 && (system || writes))
        marked = mark(writtenFd, FAN_CLOSE_WRITE);
    if (marked != 0) {
        problem = QString("The mount holding %1 (%2) cannot be marked for fanotify: %3")
                      .arg(shownRoot, QFile::decodeName(real), avtk::ErrnoText(errno));
        return false;
    }
    if (system)
        systemTrees << shownRoot;
    roots.push_back(Root{real, shownRoot});
    return true;
}

void AccessWatch::start(const Checking& how, avtk::ScanPool& background,
                        std::function<void(avtk::FileOutcome&&, bool)> checkedTo,
                        std::function<void(const QString&)> reportTo) {
    checked = std::move(checkedTo);
    report = std::move(reportTo);
    writtenReader = std::thread([this] { readWritten(); });
    for (unsigned i = 0; i <= std::max(1u, how.threads); ++i)
        openers.emplace_back([this, how] { serve(how); });
    writtenDispatcher = std::thread([this, &background] { dispatch(background); });
}

bool AccessWatch::underRoot(const std::string& path, QString& shown) const {
    for (const Root& root : roots) {
        const std::string& base = root.path;
        const bool inside = path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
                            (base.back() == '/' || path[base.size()] == '/');
        if (!inside)
            continue;
        shown = root.shown;
        std::size_t at = base.size() + (base.back() == '/' ? 0 : 1);
        while (at < path.size()) {
            const std::size_t slash = std::min(path.find('/', at), path.size());
            if (!shown.endsWith(u'\\'))
                shown += u'\\';
            shown += avtk::ShownName(std::string_view(path).substr(at, slash - at));
            at = slash + 1;
        }
        return true;
    }
    return false;
}

bool AccessWatch::FromToolkit(pid_t pid) const {
    if (toolkit.empty())
        return false;
    char link[40];
    std::snprintf(link, sizeof link, "/proc/%d/exe", int(pid));
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target);
    return n > 0 && size_t(n) > toolkit.size() &&
           std::string_view(target, size_t(n)).substr(0, toolkit.size()) == toolkit;
}

void AccessWatch::respond(int fd, bool allow) {
    const fanotify_response response{fd, allow ? __u32(FAN_ALLOW) : __u32(FAN_DENY)};
    if (::write(fanFd, &response, sizeof response) != ssize_t(sizeof response) && report)
        report("An opening could not be answered: " + avtk::ErrnoText(errno));
}

bool AccessWatch::waitFor(pollfd* waits, int count, int ms, bool ofWritten) {
    for (int i = 0; i < count; ++i)
        waits[i].revents = 0;
    if (::poll(waits, nfds_t(count), ms) < 0 && errno != EINTR) {
        report("fanotify's events cannot be waited for: " + avtk::ErrnoText(errno));
        return false;
    }
    // The last one waited for is the wake-up at the watch's end.
    if (waits[count - 1].revents) {
        std::lock_guard lock(mutex);
        if (stopping || (ofWritten && writtenEnding))
            return false;
    }
    return true;
}

bool AccessWatch::readOpenings() {
    pollfd waits[2] = {{fanFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    // Woken at least every quarter second, so that an overdue scan's opener is let go.
    if (!waitFor(waits, 2, 250, false))
        return false;
    if (waits[0].revents & POLLIN)
        takeEvents(fanFd);
    allowOverdue();
    return true;
}

void AccessWatch::readWritten() {
    pollfd waits[2] = {{writtenFd, POLLIN, 0}, {writtenWakeFd, POLLIN, 0}};
    while (waitFor(waits, 2, -1, true))
        // Once one came, written files are let gather for a moment: a burst of writes then costs
        // the guard's threads a wake-up a batch, not a file.
        if ((waits[0].revents & POLLIN) && waitFor(waits + 1, 1, WrittenGathering, true))
            takeEvents(writtenFd);
}

void AccessWatch::takeEvents(int group) {
    alignas(fanotify_event_metadata) char buffer[16 * 1024];
    std::vector<Taken> files;
    while (true) {
        const ssize_t length = ::read(group, buffer, sizeof buffer);
        if (length <= 0)
            return;
        // An opening is decided on at once, as its opener waits; the written files of a read
        // together (one lock and one wake-up for the lot, not a thread's wake-up a file).
        const auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
        for (ssize_t left = length; FAN_EVENT_OK(event, left);
             event = FAN_EVENT_NEXT(event, left)) {
            if (event->mask & FAN_Q_OVERFLOW)
                report("fanotify's queue overflowed: some files were not checked.");
            if (event->fd < 0)
                continue;
            const bool permission = event->mask & (FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM);
            if (std::optional<Taken> file = inspect(*event, permission))
                files.push_back(std::move(*file));
            if (permission && !files.empty())
                decide(files);
        }
        if (!files.empty())
            decide(files);
    }
}

std::optional<AccessWatch::Taken> AccessWatch::inspect(const fanotify_event_metadata& event,
                                                       bool permission) {
    const int fd = event.fd;
    const auto pass = [&] {
        if (permission)
            respond(fd, true);
        ::close(fd);
        return std::nullopt;
    };
    // The guard's and its engine service's own opens (the scanning itself, the engine's scratch
    // files) are let through at once: waiting on them would wait on itself.
    struct stat st;
    if (pid_t(event.pid) == self || pid_t(event.pid) == service || ::fstat(fd, &st) != 0 ||
        !S_ISREG(st.st_mode) || st.st_size == 0)
        return pass();
    Taken file{fd,
               permission,
               Identity{st.st_dev, st.st_ino},
               Version{Ns(st.st_mtim), Ns(st.st_ctim), qint64(st.st_size)},
               FdPath(fd),
               {},
               false};
    // The system's own programs run without waiting for a scan, and so do the toolkit's programs
    // (a scan by the scanner must not wait on the guard).
    if (!underRoot(file.path, file.shown) ||
        (permission && (InSystemFolder(file.path) || FromToolkit(pid_t(event.pid)))))
        return pass();
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    file.settled = Ns(now) - std::max(file.version.mtime, file.version.ctime) >= SettledNs();
    return file;
}

void AccessWatch::decide(std::vector<Taken>& files) {
    std::size_t toWritten = 0;
    {
        std::lock_guard lock(mutex);
        for (Taken& file : files) {
            const auto pass = [&] {
                if (file.permission)
                    respond(file.fd, true);
                ::close(file.fd);
            };
            if (!checking || draining) {
                pass();
                continue;
            }
            if (file.permission) {
                const auto known = clean.find(file.id);
                if (known != clean.end() && known->second == file.version) {
                    pass();
                    continue;
                }
            } else {
                clean.erase(file.id);
                // Written again before its turn came: the scan still to come reads it as it is.
                if (writtenQueued.contains(file.id)) {
                    pass();
                    continue;
                }
                if (pending.size() >= HeldLimit) {
                    // Closed after writing, while many descriptors are held already: nobody
                    // waits for this one, so it is not kept; the file is opened again by its path
                    // when its turn comes.
                    pass();
                    written.files.push_back(
                        Queued{avtk::FileJob{std::move(file.path), std::move(file.shown), false, -1,
                                             0, true},
                               file.id});
                    writtenQueued.insert(file.id);
                    ++toWritten;
                    continue;
                }
            }
            Pending entry;
            entry.deadline = Clock::now() + AnswerWithin;
            entry.permission = file.permission;
            entry.remember = file.settled;
            entry.device = file.id.device;
            entry.inode = file.id.inode;
            entry.mtime = file.version.mtime;
            entry.ctime = file.version.ctime;
            entry.size = file.version.size;
            entry.shown = file.shown;
            pending.emplace(file.fd, std::move(entry));
            // A written file is looked into whatever its size; an opened one, up to the limit.
            const bool inside = !file.permission || file.version.size <= ArchiveOpenLimit;
            Line& line = file.permission ? opened : written;
            line.files.push_back(Queued{avtk::FileJob{std::move(file.path), std::move(file.shown),
                                                      false, file.fd, 0, inside},
                                        file.id});
            if (!file.permission) {
                writtenQueued.insert(file.id);
                ++toWritten;
            }
        }
    }
    files.clear();
    // The openings to scan wait for the thread reading them: it scans one of them itself.
    if (toWritten > 0)
        written.ready.notify_one();
}

void AccessWatch::allowOverdue() {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex);
    for (auto& [fd, entry] : pending)
        if (entry.permission && !entry.answered && entry.deadline <= now) {
            respond(fd, true);
            entry.answered = true;
            report(QString("%1  not checked within %2 s: its opening was allowed.")
                       .arg(entry.shown)
                       .arg(AnswerWithin.count()));
        }
}

void AccessWatch::allowQueued(std::deque<Queued>& files) {
    for (const Queued& left : files) {
        if (left.job.fd < 0)
            continue;
        const Pending& entry = pending.at(left.job.fd);
        if (entry.permission && !entry.answered)
            respond(left.job.fd, true);
        ::close(left.job.fd);
        pending.erase(left.job.fd);
    }
    files.clear();
}

void AccessWatch::serve(const Checking& how) {
    const unsigned slots = std::max(1u, how.threads);
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!opened.files.empty() && checking && scanning < slots) {
            avtk::FileJob job = std::move(opened.files.front().job);
            opened.files.pop_front();
            ++scanning;
            lock.unlock();
            avtk::FileOutcome outcome =
                avtk::ScanPool::ScanFile(how.engine, how.options, how.selection, std::move(job));
            const bool denied = answer(outcome);
            checked(std::move(outcome), denied);
            lock.lock();
            --scanning;
            scansEnded.notify_all();
        } else if (!leading && !readingEnded) {
            leading = true;
            lock.unlock();
            const bool more = readOpenings();
            lock.lock();
            leading = false;
            readingEnded = !more;
            // Another thread takes the reading over (and the other openings read) while this
            // one scans the first.
            if (opened.files.size() > 1)
                opened.ready.notify_all();
            else if (!opened.files.empty())
                opened.ready.notify_one();
        } else {
            opened.ready.wait(lock);
        }
    }
}

void AccessWatch::dispatch(avtk::ScanPool& pool) {
    std::deque<Queued> taken;
    while (true) {
        {
            std::unique_lock lock(mutex);
            written.ready.wait(lock,
                               [&] { return !checking || draining || !written.files.empty(); });
            if (!checking) {
                allowQueued(written.files);
                writtenQueued.clear();
                return;
            }
            if (written.files.empty())
                return; // draining: all taken are with the pool
            // All that wait, at one taking of the lock: the reader goes on meanwhile.
            taken.swap(written.files);
            for (const Queued& file : taken)
                writtenQueued.erase(file.id);
        }
        for (Queued& file : taken)
            submit(pool, std::move(file.job));
        taken.clear();
    }
}

void AccessWatch::submit(avtk::ScanPool& pool, avtk::FileJob job) {
    const int fd = job.fd;
    // A written file that is gone by its turn is not scanned: nothing is left of it to open or to
    // run.
    if (Removed(job) || !pool.submit(std::move(job))) {
        avtk::FileOutcome dropped;
        dropped.kind = avtk::FileOutcome::NotChecked;
        dropped.fd = fd;
        answer(dropped);
    }
}

bool AccessWatch::answer(const avtk::FileOutcome& outcome) {
    if (outcome.fd < 0)
        return false;
    const bool infected = outcome.kind == avtk::FileOutcome::Scanned &&
                          outcome.result.kind == avtk::ScanResult::Infected;
    const bool harmless =
        outcome.kind == avtk::FileOutcome::NotSelected ||
        (outcome.kind == avtk::FileOutcome::Scanned &&
         outcome.result.kind == avtk::ScanResult::Clean && !outcome.result.oversized);
    std::lock_guard lock(mutex);
    const auto found = pending.find(outcome.fd);
    if (found == pending.end())
        return false;
    const Pending& entry = found->second;
    const bool denied = entry.permission && !entry.answered && infected;
    if (entry.permission && !entry.answered)
        respond(outcome.fd, !infected);
    if (harmless && entry.remember) {
        if (clean.size() >= CleanLimit) {
            clean.clear();
            // The kernel's ignore marks go too: each holds its file's inode in memory.
            ::fanotify_mark(fanFd, FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr);
        }
        clean[Identity{entry.device, entry.inode}] = Version{entry.mtime, entry.ctime, entry.size};
        ignoreUntilChanged(outcome.fd, entry);
    }
    ::close(outcome.fd);
    pending.erase(found);
    return denied;
}

void AccessWatch::ignoreUntilChanged(int fd, const Pending& entry) {
    // The kernel itself then lets the file's openings through, without an event, until the file
    // is written to (which drops the mark).
    const uint64_t opens = FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM;
    if (::fanotify_mark(fanFd, FAN_MARK_ADD | FAN_MARK_IGNORED_MASK, opens, fd, nullptr) != 0)
        return;
    // Written between the scan and the mark: the mark goes again.
    struct stat st;
    if (::fstat(fd, &st) != 0 || Ns(st.st_mtim) != entry.mtime || Ns(st.st_ctim) != entry.ctime ||
        st.st_size != entry.size)
        ::fanotify_mark(fanFd, FAN_MARK_REMOVE | FAN_MARK_IGNORED_MASK, opens, fd, nullptr);
}

void AccessWatch::finishQueued() {
    // The written files whose events still wait in the kernel's queue may have been written
    // before the next watch began: they are taken first, with the reader of written files
    // stopped so that none of them is halfway through it.
    {
        std::lock_guard lock(mutex);
        writtenEnding = true;
    }
    Wake(writtenWakeFd);
    if (writtenReader.joinable())
        writtenReader.join();
    takeEvents(writtenFd);
    {
        std::lock_guard lock(mutex);
        draining = true;
    }
    written.ready.notify_all();
    if (writtenDispatcher.joinable())
        writtenDispatcher.join();
    // The openings taken are scanned; the ones read from now on are let through.
    std::unique_lock lock(mutex);
    scansEnded.wait(lock, [&] { return opened.files.empty() && scanning == 0; });
}

void AccessWatch::stopChecking() {
    std::unique_lock lock(mutex);
    checking = false;
    allowQueued(opened.files);
    written.ready.notify_all();
    scansEnded.wait(lock, [&] { return scanning == 0; });
}

} // namespace guard
