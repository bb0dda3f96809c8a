#include "engine/Harmless.h"

#include "engine/SystemError.h"
#include "engine/Walk.h"

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

HarmlessResult MakeHarmless(const std::string& path, dev_t device, ino_t inode, bool deleteFile,
                            bool inArchive) {
    HarmlessResult result;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || st.st_dev != device || st.st_ino != inode) {
        result.action = "not changed: the file was replaced or removed after it was scanned.";
        return result;
    }
    const QString whole = inArchive ? QString(" (the archive whole)") : QString();
    if (deleteFile) {
        if (::unlink(path.c_str()) == 0) {
            result.done = true;
            result.action = "cannot be repaired: deleted" + whole + '.';
        } else {
            result.action =
                "cannot be repaired, and could not be deleted: " + ErrnoText(errno) + '.';
        }
        return result;
    }
    ::chmod(path.c_str(), st.st_mode & 07666);
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::string stem =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
            ? path.substr(0, dot)
            : path;
    for (int n = 0; n < 100; ++n) {
        const std::string target =
            stem + (n == 0 ? std::string(".VIR")
                           : QString(".V%1").arg(n, 2, 10, QChar(u'0')).toStdString());
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            result.done = true;
            result.target = target;
            result.action = "cannot be repaired: renamed to " +
                            ShownName(target.substr(target.rfind('/') + 1)) + whole + '.';
            return result;
        }
        if (errno != EEXIST)
            break;
    }
    result.action = "cannot be repaired, and could not be renamed: " + ErrnoText(errno) + '.';
    return result;
}

} // namespace avtk
