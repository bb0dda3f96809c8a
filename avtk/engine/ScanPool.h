#pragma once

#include "engine/BoundedQueue.h"
#include "engine/Engine.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace avtk {

// Which files are scanned: every file, or the program files (and the archives when archives are
// opened).
struct Selection {
    bool allFiles = false;
    bool archives = false;
};

struct FileJob {
    std::string path;
    QString shown;
    // A file named on purpose (a checklist's entry, a process's program): scanned whatever its
    // kind, and reached through a symbolic link.
    bool named = false;
    // An open descriptor of the file (an on-access event's): scanned through it, not reopened.
    // The caller keeps it and closes it; the outcome hands it back.
    int fd = -1;
    // How much of `path` is the folder the walk began in (WalkEntry::rootLength); 0 for a path
    // reached from "/" (the guard's paths, whose drive folders are resolved ones).
    std::size_t rootLength = 0;
    // Looked into if it is an archive, and chosen as one, whatever the pool's options say (a
    // file the guard saw written, or a small archive being opened).
    bool insideArchives = false;
    // Its size as the walk saw it, which sizes the batches; -1 when not known.
    int64_t size = -1;
};

struct FileOutcome {
    enum Kind {
        Scanned,     // result holds the engine's answer
        NotSelected, // not a program file
        NotChecked,  // could not be opened or read (problem says why), or too large
        Skipped,     // not a file to scan: a device, a pipe (problem says why)
        Link,        // a symbolic link, not followed
        NotEntered,  // a folder not entered or read only in part (problem says why)
    };
    Kind kind = Scanned;
    std::string path;
    QString shown;
    ScanResult result;
    QString problem;
    // The identity of the file that was scanned, so that a repair acts on that file only.
    dev_t device = 0;
    ino_t inode = 0;
    int fd = -1;                // the job's descriptor, when it had one
    std::size_t rootLength = 0; // the job's
};

// Scanning threads sharing one compiled engine: jobs go in through a bounded queue, so that the
// folder walk runs alongside but never far ahead; outcomes are collected by the caller's thread.
// A thread takes up to `batch` small queued files at a time and scans them in one call (one
// request to the shared engine); a file of unknown size or a large one goes alone, so that two
// threads still scan two large files at once.
class ScanPool {
public:
    // Batches of this many files: a round trip to the shared engine costs about as much as
    // scanning a small file, and a batch's outcomes still come in well under a millisecond.
    static constexpr unsigned WalkBatch = 16;

    ScanPool(const Scanner& engine, const ScanOptions& options, const Selection& selection,
             unsigned threads, unsigned batch = 1);
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    // Queues a file; waits while the queue is full. False once the pool was cancelled.
    bool submit(FileJob job);
    // No more jobs: the threads end when the queue is empty.
    void close();
    // Drops the queued jobs; the files being scanned are finished.
    void cancel();
    // Hands an outcome that needs no scan (a skipped entry of the walk) to the collector.
    void pass(FileOutcome outcome);

    // The outcomes ready, waiting up to `wait` for one; empty and `finished` once all are taken.
    std::vector<FileOutcome> collect(std::chrono::milliseconds wait);
    bool finished();

    // Scans one file as the threads do (also for a file the pool does not walk to).
    static FileOutcome ScanFile(const Scanner& engine, const ScanOptions& options,
                                const Selection& selection, FileJob job);
    // Scans files as the threads do, one outcome each in their order.
    static std::vector<FileOutcome> ScanFiles(const Scanner& engine, const ScanOptions& options,
                                              const Selection& selection,
                                              std::vector<FileJob> jobs);

private:
    void work();

    const Scanner& engine;
    ScanOptions options;
    Selection selection;
    unsigned batch;
    BoundedQueue<FileJob> jobs;
    std::mutex mutex;
    std::condition_variable ready;
    std::vector<FileOutcome> outcomes;
    unsigned running = 0;
    std::vector<std::thread> threads;
};

} // namespace avtk
