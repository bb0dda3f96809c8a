#pragma once

#include "engine/Scanner.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct cl_engine;

// The toolkit's scanning engine: one ClamAV engine, loaded from signature files, compiled once and
// then shared read-only by every scanning thread.
namespace avtk {

class Engine : public Scanner {
public:
    // A fresh engine with no signatures; the library is initialised on first use.
    Engine();
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads one signature file (its extension says its format), reading it once. Returns an
    // error sentence, empty on success; a failed file adds nothing (the engine is then built
    // again from the files loaded before it, which costs only on the rare failure).
    QString load(const std::string& path);
    unsigned signatures() const { return count; }

    // Compiles the loaded signatures; after this only scanning is allowed. Error sentence or empty.
    QString compile();

    // Scans an open file; the name is the one shown for the file. Thread-safe once compiled.
    ScanResult scan(int fd, const std::string& name, const ScanOptions& options) const override;
    // Scans bytes in memory (a boot or partition sector).
    ScanResult scan(const char* data, size_t size, const std::string& name,
                    const ScanOptions& options) const override;

    // Files larger than this are not scanned whole.
    static constexpr uint64_t MaxFileSize = 100ull * 1024 * 1024;
    // Files up to this size are read whole and scanned from memory, larger ones are mapped: the
    // engine's own reading of a file takes a lock that every scanning thread shares.
    static constexpr int64_t ReadWholeLimit = 16ll * 1024 * 1024;

private:
    // Scans bytes of a file, one archive at a time (see `unpacking`).
    ScanResult scanBytes(const char* data, size_t size, const std::string& name,
                         const ScanOptions& options) const;
    // Builds the engine again from the files loaded so far, after a file failed half-way.
    void rebuild();

    // Runs one scan call of the engine with the options and the callbacks' record.
    template <typename Call> ScanResult Run(const ScanOptions& options, Call&& call) const;

    struct Free {
        void operator()(cl_engine* engine) const;
    };
    std::unique_ptr<cl_engine, Free> engine;
    // The engine's scratch folder (a folder per file scanned, members it unpacks): in memory when
    // the system has a memory file system, since creating and removing it is most of the work for
    // a small file.
    std::unique_ptr<QTemporaryDir> scratch;
    // One archive at a time: the engine reads each member it unpacks from a temporary file under
    // a lock of its own that all threads share, and unmaps it after; two threads unpacking at
    // once wait on that lock and on each other's unmapping, and are slower together than one
    // alone (measured). A thread with a plain file goes on meanwhile.
    mutable std::mutex unpacking;
    std::vector<std::string> loaded;
    unsigned count = 0;
    bool compiled = false;
};

} // namespace avtk
