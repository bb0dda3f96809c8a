#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// What the programs scan with: the toolkit's shared engine through its service, or an engine of
// the program's own. The findings are the same either way.
namespace avtk {

// What to look into, as the scanner's switches choose it.
struct ScanOptions {
    bool archives = false;          // inside archives (zip, tar, gzip, 7z, rar, cab, ...)
    bool unpack = false;            // compressed and packed executables (PE, ELF)
    bool programHeuristics = false; // broken executables, encrypted archives and documents
    bool macroHeuristics = false;   // documents with macros (OLE2, VBA)
    bool background = false;        // nobody waits for it: scanned at the idle priority
    bool held = false; // a program's opening waits for it: the answer is due at once (not sent)
};

// One finding in one file: the virus name and, inside an archive, the member's path, outer first
// ("inner.zip", "bin/eicar.com").
struct Finding {
    QString virus;
    QStringList members;
};

// The outcome of scanning one file or buffer.
struct ScanResult {
    enum Kind { Clean, Infected, Failed };
    Kind kind = Clean;
    Finding finding;        // when infected
    QString problem;        // when failed: the engine's reason
    bool oversized = false; // larger than the engine's limit: not (wholly) scanned
};

// One file of a batch: an open descriptor and the name shown for it.
struct BatchFile {
    int fd;
    const std::string& name;
};

class Scanner {
public:
    virtual ~Scanner() = default;
    // Scans an open file; the name is the one shown for the file. Thread-safe.
    virtual ScanResult scan(int fd, const std::string& name, const ScanOptions& options) const = 0;
    // Scans bytes in memory (a boot or partition sector).
    virtual ScanResult scan(const char* data, size_t size, const std::string& name,
                            const ScanOptions& options) const = 0;
    // Scans several open files, one result each, in their order. The shared engine takes them
    // in one request, so that a folder of small files costs one round trip a batch, not a file.
    virtual std::vector<ScanResult> scanBatch(std::span<const BatchFile> files,
                                              const ScanOptions& options) const {
        std::vector<ScanResult> results;
        results.reserve(files.size());
        for (const BatchFile& file : files)
            results.push_back(scan(file.fd, file.name, options));
        return results;
    }
    // What the scanner has had to tell since it was last asked (that it went over to an engine
    // of the program's own, say), for the program's thread to show.
    virtual QStringList takeNotes() { return {}; }
};

} // namespace avtk
