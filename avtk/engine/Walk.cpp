#include "engine/Walk.h"

#include "engine/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

namespace {

// The length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t Utf8Sequence(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || length > s.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
        (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct Walker {
    const WalkLimits& limits;
    const std::function<bool(WalkEntry&&)>& visit;
    dev_t device;
    std::size_t rootLength;

    bool skip(std::string path, QString shown, QString reason,
              WalkEntry::Kind kind = WalkEntry::Skipped, int error = 0) {
        return visit(WalkEntry{kind, std::move(path), std::move(shown), std::move(reason),
                               rootLength, 0, error});
    }
    bool notRead(const std::string& path, const QString& shown, const char* what, int error) {
        return skip(path, shown, what + ErrnoText(error), WalkEntry::NotEntered, error);
    }

    bool folder(int parentFd, const char* name, const std::string& path, const QString& shown,
                int depth) {
        if (depth > limits.maxDepth)
            return skip(path, shown, "folders nested too deep, not entered", WalkEntry::NotEntered);
        const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return notRead(path, shown, "folder not read: ", errno);
        std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
        if (!dir) {
            const int error = errno;
            ::close(fd);
            return notRead(path, shown, "folder not read: ", error);
        }
        std::vector<std::string> names;
        errno = 0;
        while (dirent* entry = ::readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
            errno = 0;
        }
        if (errno != 0 && !notRead(path, shown, "folder read only in part: ", errno))
            return false;
        std::sort(names.begin(), names.end());
        for (const std::string& entryName : names) {
            const std::string childPath =
                path.back() == '/' ? path + entryName : path + '/' + entryName;
            // Below a drive letter the toolkit's "\", below a path given as the system writes it
            // that path's "/": one separator in every name.
            const QChar separator = shown.startsWith(u'/') ? u'/' : u'\\';
            const QString childShown =
                (shown.endsWith(separator) ? shown : shown + separator) + ShownName(entryName);
            struct stat st;
            if (::fstatat(fd, entryName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (!skip(childPath, childShown, "vanished before it was scanned"))
                    return false;
                continue;
            }
            bool go = true;
            if (S_ISDIR(st.st_mode)) {
                go = st.st_dev != device
                         ? skip(childPath, childShown, "another file system, not entered",
                                WalkEntry::NotEntered)
                         : folder(fd, entryName.c_str(), childPath, childShown, depth + 1);
            } else if (S_ISREG(st.st_mode)) {
                go = visit(WalkEntry{WalkEntry::File,
                                     childPath,
                                     childShown,
                                     {},
                                     rootLength,
                                     std::int64_t(st.st_size)});
            } else if (S_ISLNK(st.st_mode)) {
                go = visit(WalkEntry{WalkEntry::Link, childPath, childShown, {}, rootLength});
            } else {
                const char* what = S_ISFIFO(st.st_mode)   ? "a named pipe"
                                   : S_ISSOCK(st.st_mode) ? "a socket"
                                                          : "a device";
                go = skip(childPath, childShown, QString(what) + ", not a file: not scanned");
            }
            if (!go)
                return false;
        }
        return true;
    }
};

} // namespace

QString ShownName(std::string_view bytes) {
    QString shown;
    shown.reserve(qsizetype(bytes.size()));
    while (!bytes.empty()) {
        const std::size_t length = Utf8Sequence(bytes);
        const auto first = static_cast<unsigned char>(bytes[0]);
        const auto second = length > 1 ? static_cast<unsigned char>(bytes[1]) : 0;
        const auto third = length > 2 ? static_cast<unsigned char>(bytes[2]) : 0;
        const bool control = first < 0x20 || first == 0x7F || (first == 0xC2 && second < 0xA0) ||
                             (first == 0xE2 && second == 0x80 && (third == 0xA8 || third == 0xA9));
        const bool meaning = first == '%' || first == '\\' || first == '>';
        const std::size_t escaped = length == 0 || meaning ? 1 : control ? length : 0;
        for (std::size_t i = 0; i < escaped; ++i)
            shown += QString("%%1")
                         .arg(static_cast<unsigned char>(bytes[i]), 2, 16, QChar(u'0'))
                         .toUpper();
        if (escaped == 0)
            shown += QString::fromUtf8(bytes.data(), qsizetype(length));
        bytes.remove_prefix(escaped ? escaped : length);
    }
    return shown;
}

bool Walk(const std::string& root, const QString& shownRoot, const WalkLimits& limits,
          const std::function<bool(WalkEntry&&)>& visit) {
    struct stat st;
    if (::stat(root.c_str(), &st) != 0) {
        const int error = errno;
        return visit(WalkEntry{WalkEntry::Skipped, root, shownRoot,
                               "not found: " + ErrnoText(error), 0, 0, error});
    }
    if (S_ISREG(st.st_mode)) {
        const std::size_t slash = root.rfind('/');
        return visit(WalkEntry{WalkEntry::File,
                               root,
                               shownRoot,
                               {},
                               slash == std::string::npos ? 0 : slash,
                               std::int64_t(st.st_size)});
    }
    if (!S_ISDIR(st.st_mode))
        return visit(WalkEntry{WalkEntry::Skipped, root, shownRoot, "not a file: not scanned"});
    Walker walker{limits, visit, st.st_dev, root.size()};
    return walker.folder(AT_FDCWD, root.c_str(), root, shownRoot, 0);
}

} // namespace avtk
