#include "engine/Harmless.h"

#include "engine/Beneath.h"
#include "engine/SystemError.h"
#include "engine/Walk.h"

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

namespace {

const QString Intruder = QStringLiteral("the file that took its name");

bool Same(const struct stat& st, const FileOutcome& scanned) {
    return st.st_dev == scanned.device && st.st_ino == scanned.inode;
}

// Whether `name` in the folder is still the file that was scanned.
bool StillScanned(int folder, const std::string& name, const FileOutcome& scanned) {
    struct stat st;
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && Same(st, scanned);
}

// Moves a name back where it was; a clause on the outcome, about `what` was moved.
QString PutBack(int folder, const std::string& from, const std::string& to, const QString& what) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return what + " was put back";
    return what + " is now " + ShownName(from) + " and could not be put back: " + ErrnoText(errno);
}

std::string RenamedStem(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 ? name.substr(0, dot) : name;
}

} // namespace

HarmlessResult MakeHarmless(const FileOutcome& scanned, bool deleteFile) {
    HarmlessResult result;
    const ParentFolder parent = OpenParent(scanned.path, scanned.rootLength);
    if (!parent.fd.valid()) {
        result.action = "not changed: " + parent.problem + '.';
        return result;
    }
    const int folder = parent.fd.get();
    const std::string& name = parent.name;
    // The file itself, by its name in that folder, not through a link.
    const OwnedFd file(::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!file.valid() || ::fstat(file.get(), &st) != 0) {
        const int error = errno;
        result.action = error == ENOENT
                            ? QString("not changed: the file was removed or renamed after it was "
                                      "scanned.")
                            : "not changed: the file cannot be opened: " + ErrnoText(error) + '.';
        return result;
    }
    if (!Same(st, scanned)) {
        result.action = S_ISLNK(st.st_mode)
                            ? QString("not changed: its name is a symbolic link, which a "
                                      "repair does not follow.")
                            : QString("not changed: the file was replaced after it was scanned.");
        return result;
    }
    const QString whole =
        scanned.result.finding.members.isEmpty() ? QString() : QString(" (the archive whole)");
    const std::string folderPath = scanned.path.substr(0, scanned.path.size() - name.size());

    if (deleteFile) {
        // Moved aside first, so that what is deleted is the name that was checked to be the
        // scanned file, and nothing that took the file's name meanwhile.
        std::string aside;
        int error = EEXIST;
        for (int n = 0; n < 100 && error == EEXIST; ++n) {
            aside = ".avtk-delete-" + std::to_string(::getpid()) + '-' + std::to_string(n);
            error = ::renameat2(folder, name.c_str(), folder, aside.c_str(), RENAME_NOREPLACE) == 0
                        ? 0
                        : errno;
        }
        if (error != 0) {
            result.action =
                "cannot be repaired, and could not be deleted: " + ErrnoText(error) + '.';
            return result;
        }
        if (!StillScanned(folder, aside, scanned)) {
            result.action = "not changed: the file was replaced while it was being deleted; " +
                            PutBack(folder, aside, name, Intruder) + '.';
            return result;
        }
        struct stat now;
        const bool otherNames = ::fstat(file.get(), &now) == 0 && now.st_nlink > 1;
        if (::unlinkat(folder, aside.c_str(), 0) != 0) {
            const QString why = ErrnoText(errno);
            result.action = "cannot be repaired, and could not be deleted: " + why + "; " +
                            PutBack(folder, aside, name, "the file") + '.';
            return result;
        }
        result.done = true;
        result.action =
            "cannot be repaired: deleted" + whole +
            (otherNames ? QString("; the same file stays under its other names (hard links)")
                        : QString()) +
            '.';
        return result;
    }

    const std::string stem = RenamedStem(name);
    std::string target;
    int error = EEXIST;
    for (int n = 0; n < 100 && error == EEXIST; ++n) {
        target = stem + (n == 0 ? std::string(".VIR")
                                : QString(".V%1").arg(n, 2, 10, QChar(u'0')).toStdString());
        error = ::renameat2(folder, name.c_str(), folder, target.c_str(), RENAME_NOREPLACE) == 0
                    ? 0
                    : errno;
    }
    if (error != 0) {
        result.action = "cannot be repaired, and could not be renamed: " + ErrnoText(error) + '.';
        return result;
    }
    if (!StillScanned(folder, target, scanned)) {
        result.action = "not changed: the file was replaced while it was being renamed; " +
                        PutBack(folder, target, name, Intruder) + '.';
        return result;
    }
    result.done = true;
    result.target = folderPath + target;
    result.action = "cannot be repaired: renamed to " + ShownName(target) + whole;
    // The execute bits belong to the file, not its name: a file with other names keeps them,
    // since a name elsewhere may be none of the scanned drive's business.
    struct stat now;
    if (::fstat(file.get(), &now) != 0 || now.st_nlink > 1) {
        result.action += "; its permissions are left, since other names link to the same file.";
        return result;
    }
    if (now.st_mode & 0111) {
        const std::string self = "/proc/self/fd/" + std::to_string(file.get());
        if (::chmod(self.c_str(), now.st_mode & 07666) != 0) {
            result.action +=
                ", but its execute permissions could not be taken: " + ErrnoText(errno) + '.';
            return result;
        }
    }
    result.action += '.';
    return result;
}

} // namespace avtk
