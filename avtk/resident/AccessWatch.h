#pragma once

#include "engine/ScanPool.h"
#include "engine/Scanner.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sys/fanotify.h>
#include <sys/types.h>

struct pollfd;

// On-access checking with fanotify's permission events: a file opened or executed under a watched
// tree is scanned before the open returns, and an infected one is denied (EPERM). Needs the
// right to use fanotify (root); the guard watches with inotify otherwise.
namespace guard {

class AccessWatch {
public:
    // writes: files are also checked when closed after writing (without holding the writer up).
    // The programs of the toolkit folder never wait for a scan.
    AccessWatch(bool writes, std::string toolkitFolder);
    // The engine service that scans for the guard: its own openings (its scratch files) are let
    // through as the guard's are, since waiting on them would wait on the guard itself.
    void letThrough(pid_t engine) { service = engine; }
    ~AccessWatch();
    AccessWatch(const AccessWatch&) = delete;
    AccessWatch& operator=(const AccessWatch&) = delete;

    // False when fanotify could not be had; error() says why.
    bool available() const { return fanFd >= 0; }
    QString error() const { return failure; }

    // Marks the mount that holds the tree; events are then taken for the files below root only.
    // False with the reason in `problem` when the mount cannot be marked.
    bool addTree(const std::string& root, const QString& shownRoot, QString& problem);
    int trees() const { return int(roots.size()); }
    // The trees on a mount that holds the system's folders: there only execution waits for a
    // scan; files are checked when closed after writing, and before they run.
    const QStringList& executionOnly() const { return systemTrees; }

    // How the files being opened or executed are scanned: on threads of the watch's own, one more
    // than `threads`, of which `threads` at most scan at once while another reads the events. A
    // thread that read an opening to scan hands the reading over and scans it itself, answering
    // it: an opener waits for no hand-over between threads.
    struct Checking {
        const avtk::Scanner& engine;
        avtk::ScanOptions options;
        avtk::Selection selection;
        unsigned threads = 1;
    };
    // Starts answering events. The files closed after writing, which nobody waits for, go to the
    // `background` pool from a thread of the watch's own (which may wait for room there), and
    // their outcomes are answered by the pool's collector through answer(). A file written again
    // while it waits for its turn is scanned once, and one removed meanwhile not at all.
    // `checkedTo` gets each outcome of a scan an opener waited for, once the opening is answered;
    // `report` gets sentences for the log. Both are called from the watch's threads.
    void start(const Checking& how, avtk::ScanPool& background,
               std::function<void(avtk::FileOutcome&&, bool denied)> checkedTo,
               std::function<void(const QString&)> report);
    // Answers the event an outcome of the pool belongs to: an infected file is denied, any other
    // outcome allowed (a clean file is remembered, so that opening it again costs no scan). True
    // when an opening was denied.
    bool answer(const avtk::FileOutcome& outcome);
    // No more scans: every event from now on is allowed at once, the ones not yet scanned or
    // given to the pool too. Returns once the scans being made for openers have ended; the
    // guard's own opens are still answered until the watch goes.
    void stopChecking();
    // No more events taken (they are let through at once: another watch has them); the files
    // taken already are scanned, or given to the pool. Returns once they all are.
    void finishQueued();

    // How long an opener waits for a scan at most: then it is allowed, and the log says so.
    static constexpr std::chrono::seconds AnswerWithin{10};
    // An archive opened is looked into up to this size, the opener waiting meanwhile; a larger
    // one is checked as one file (a written one is looked into whatever its size, within the
    // engine's limits, as nobody waits for that scan).
    static constexpr qint64 ArchiveOpenLimit = 16ll * 1024 * 1024;

private:
    struct Root {
        std::string path;
        QString shown;
    };
    struct Pending {
        std::chrono::steady_clock::time_point deadline;
        bool permission = false; // an opener waits for the answer
        bool answered = false;   // allowed at the deadline; the scan is still running
        bool remember = false;   // a clean outcome may be remembered (the file is not new)
        dev_t device = 0;
        ino_t inode = 0;
        qint64 mtime = 0, ctime = 0, size = 0;
        QString shown;
    };
    struct Identity {
        dev_t device;
        ino_t inode;
        bool operator==(const Identity&) const = default;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& id) const noexcept {
            return std::hash<ino_t>()(id.inode) * 31 + std::hash<dev_t>()(id.device);
        }
    };
    // A file's content as its stamps tell it: the change time too, since the modification time
    // can be set back by any writer.
    struct Version {
        qint64 mtime, ctime, size;
        bool operator==(const Version&) const = default;
    };
    struct Queued {
        avtk::FileJob job;
        Identity id;
    };
    struct Line {
        std::deque<Queued> files;
        std::condition_variable ready;
    };

    // An event's file as the reader found it, to be decided on under the lock.
    struct Taken {
        int fd;
        bool permission;
        Identity id;
        Version version;
        std::string path;
        QString shown;
        bool settled; // changed long enough ago for a clean verdict to be remembered
    };

    // Waits for the first `count` of `waits`, the last being the reader's wake-up at the end;
    // false once the watch ends (or, for the reader of written files (`ofWritten`), once it is
    // stopped).
    bool waitFor(pollfd* waits, int count, int ms, bool ofWritten);
    void serve(const Checking& how);
    bool readOpenings();
    void readWritten();
    std::optional<Taken> inspect(const fanotify_event_metadata& event, bool permission);
    void decide(std::vector<Taken>& files);
    void submit(avtk::ScanPool& pool, avtk::FileJob job);
    void dispatch(avtk::ScanPool& pool);
    void allowQueued(std::deque<Queued>& files);
    void takeEvents(int group);
    void allowOverdue();
    void respond(int fd, bool allow);
    void ignoreUntilChanged(int fd, const Pending& entry);
    bool underRoot(const std::string& path, QString& shown) const;
    bool FromToolkit(pid_t pid) const;

    int fanFd = -1;                      // openings and executions, which wait for their answer
    int writtenFd = -1;                  // files closed after writing
    int wakeFd = -1, writtenWakeFd = -1; // each reader's wake-up at the end
    bool writes;
    QString failure;
    std::vector<Root> roots;
    QStringList systemTrees;
    std::string toolkit;
    std::function<void(const QString&)> report;
    std::function<void(avtk::FileOutcome&&, bool)> checked;
    pid_t self;
    std::atomic<pid_t> service = 0;

    std::mutex mutex;
    // Taken from the kernel, not yet scanned or given to the pool: files opened or executed, files
    // written (and which these are); each line wakes only its own threads.
    Line opened, written;
    std::unordered_set<Identity, IdentityHash> writtenQueued;
    std::unordered_map<int, Pending> pending;
    std::unordered_map<Identity, Version, IdentityHash> clean;
    bool checking = true;
    bool draining = false;      // finishQueued
    bool writtenEnding = false; // finishQueued: the reader of written files ends
    bool stopping = false;
    bool leading = false;      // a thread reads the openings' events
    bool readingEnded = false; // their group cannot be waited on
    unsigned scanning = 0;     // openings being scanned
    std::condition_variable scansEnded;
    std::thread writtenReader, writtenDispatcher;
    std::vector<std::thread> openers;
};

} // namespace guard
