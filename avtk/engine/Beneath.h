#pragma once

#include <QString>

#include <cstddef>
#include <string>

// Reaching a file again below the folder a walk began in, without following a symbolic link on
// the way: a repair acts on the file that was scanned, never on one that a link swapped into its
// place.
namespace avtk {

// A descriptor that is closed with its owner.
class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : value(fd) {}
    ~OwnedFd() { reset(); }
    OwnedFd(OwnedFd&& other) noexcept : value(other.value) { other.value = -1; }
    OwnedFd& operator=(OwnedFd&& other) noexcept;
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const { return value; }
    bool valid() const { return value >= 0; }
    void reset(int fd = -1);

private:
    int value = -1;
};

// The folder that holds a file, and the file's own name in it.
struct ParentFolder {
    OwnedFd fd;       // not valid when the folder could not be reached
    std::string name; // the last component of the path
    QString problem;  // why it could not be reached: "the folder sub\old is now a symbolic link"
};

// `path` begins with the folder the walk began in, its first `rootLength` bytes (empty: "/" for
// an absolute path, else the working folder). That folder is opened as named, links and all (it
// is what the user chose); each folder below it is opened from its parent's descriptor with
// O_NOFOLLOW, so a folder that was replaced by a symbolic link, or is gone, stops the way there.
// A component "." or ".." is refused: no walk makes one.
ParentFolder OpenParent(const std::string& path, std::size_t rootLength);

} // namespace avtk
