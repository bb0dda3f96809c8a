#pragma once

#include "engine/ScanPool.h"
#include "resident/TreeWatch.h"

#include <chrono>
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
//
// Files are given out once the writing calms (no new file for Quiet), or when the oldest has
// waited Longest: scanning a folder's files while a program still creates files there makes both
// take the folder's lock by turns, and a file written again meanwhile is scanned once.
class FileFeed {
public:
    explicit FileFeed(avtk::ScanPool& pool);
    // Gives what still waits to the pool, then ends.
    ~FileFeed();
    FileFeed(const FileFeed&) = delete;
    FileFeed& operator=(const FileFeed&) = delete;

    void add(FileToCheck&& file);

    static constexpr std::chrono::milliseconds Quiet{50};
    static constexpr std::chrono::milliseconds Longest{500};

private:
    void feed();

    avtk::ScanPool& pool;
    std::mutex mutex;
    std::condition_variable arrived;
    struct Waiting {
        FileToCheck file;
        std::chrono::steady_clock::time_point since;
    };
    std::deque<Waiting> files;
    std::chrono::steady_clock::time_point lastArrival;
    std::unordered_set<std::string> waiting; // the paths in `files`
    bool finishing = false;
    std::thread feeder;
};

} // namespace guard
