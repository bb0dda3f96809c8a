#pragma once

#include "engine/ScanPool.h"

#include <vector>

// What runs: the programs and mapped files of the running processes that the user may read.
namespace avtk {

struct RunningFiles {
    std::vector<FileJob> files; // each file once, however many processes map it
    int processes = 0;          // processes looked at
    int unreadable = 0;         // processes whose files the user may not read
};

// From /proc/<pid>/exe and /proc/<pid>/maps; `proc` is the proc file system's folder.
RunningFiles ListRunningFiles(const QString& proc = "/proc");

} // namespace avtk
