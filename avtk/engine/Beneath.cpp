#include "engine/Beneath.h"

#include "engine/SystemError.h"
#include "engine/Walk.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

OwnedFd& OwnedFd::operator=(OwnedFd&& other) noexcept {
    if (this != &other) {
        reset(other.value);
        other.value = -1;
    }
    return *this;
}

void OwnedFd::reset(int fd) {
    if (value >= 0)
        ::close(value);
    value = fd;
}

ParentFolder OpenParent(const std::string& path, std::size_t rootLength) {
    ParentFolder parent;
    rootLength = std::min(rootLength, path.size());
    const std::string root = rootLength > 0                    ? path.substr(0, rootLength)
                             : !path.empty() && path[0] == '/' ? std::string(1, '/')
                                                               : std::string(1, '.');
    std::vector<std::string_view> components;
    std::string_view rest = std::string_view(path).substr(rootLength);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        if (!component.empty())
            components.push_back(component);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    if (components.empty()) {
        parent.problem = "the path names no file below its drive's folder";
        return parent;
    }
    for (const std::string_view component : components)
        if (component == "." || component == "..") {
            parent.problem = "the path leads out of its folder";
            return parent;
        }
    OwnedFd folder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        parent.problem = "its drive's folder cannot be opened: " + ErrnoText(errno);
        return parent;
    }
    // Component by component rather than openat2(RESOLVE_NO_SYMLINKS): the same on every kernel,
    // and the failing step names the folder that was replaced.
    QString shown;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string name(components[i]);
        shown += (shown.isEmpty() ? "" : "\\") + ShownName(name);
        OwnedFd next(
            ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            const int error = errno;
            struct stat st;
            const bool there = ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
            if (!there && error == ENOENT)
                parent.problem = "the folder " + shown + " is gone";
            else if (there && S_ISLNK(st.st_mode))
                parent.problem = "the folder " + shown + " is now a symbolic link";
            else if (there && !S_ISDIR(st.st_mode))
                parent.problem = shown + " is no longer a folder";
            else
                parent.problem = "the folder " + shown + " cannot be opened: " + ErrnoText(error);
            return parent;
        }
        folder = std::move(next);
    }
    parent.fd = std::move(folder);
    parent.name = std::string(components.back());
    return parent;
}

} // namespace avtk
