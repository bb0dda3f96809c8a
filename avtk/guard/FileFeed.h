#pragma once

#include "engine/ScanPool.h"
#include "guard/TreeWatch.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

namespace guard {

// Files waiting for the scanning threads. The reading of inotify's events hands them over here
// without ever waiting, so that the kernel's queue is emptied as fast as it fills and does not
// overflow (which would cost a rescan of every watched drive); a thread of its own gives them to
// the pool, waiting there for room. A file already waiting is not queued twice.
class FileFeed {
public:
    explicit FileFeed(avtk::ScanPool& pool);
    // Gives what still waits to the pool, then ends.
    ~FileFeed();
    FileFeed(const FileFeed&) = delete;
    FileFeed& operator=(const FileFeed&) = delete;

    void add(FileToCheck&& file);

private:
    void feed();

    avtk::ScanPool& pool;
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<FileToCheck> files;
    std::unordered_set<std::string> waiting; // the paths in `files`
    bool finishing = false;
    std::thread feeder;
};

} // namespace guard
