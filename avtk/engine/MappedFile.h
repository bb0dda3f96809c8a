#pragma once

#include <cstddef>

// A file's bytes mapped read-only, for scanning a large file without copying it onto the heap
// and without the engine's own reading, which every scanning thread would queue on.
namespace avtk {

class MappedFile {
public:
    // Maps the first `size` bytes of an open file. A file cut short while it is mapped reads as
    // zeros past its new end, where a plain mapping would kill the process (SIGBUS).
    MappedFile(int fd, size_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the file could not be mapped; error() then says why (an errno value).
    bool valid() const { return bytes != nullptr; }
    int error() const { return failure; }
    const char* data() const { return bytes; }
    size_t size() const { return length; }
    // Pages that could not be read from the file and read as zeros instead.
    size_t lostPages() const;

private:
    const char* bytes = nullptr;
    size_t length = 0;
    int failure = 0;
    int slot = -1;
};

} // namespace avtk
