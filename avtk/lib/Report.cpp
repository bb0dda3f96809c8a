#include "lib/Report.h"

#include "engine/SystemError.h"
#include "lib/Switches.h"

#include <QFile>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Failed(const QString& name, const QString& why) {
    return QString("Cannot write the report %1: %2").arg(name, why);
}
QString Failed(const QString& name, int error) {
    return Failed(name, avtk::ErrnoText(error));
}

// Writes all bytes or fails with errno set; a short write is a failure (a full disk).
bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// What stands at the name when it is not a file a report may replace or append to; empty when
// it is one, or nothing is there.
QString NotAReport(const QByteArray& name, bool appending) {
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISLNK(st.st_mode))
        return appending ? "it is a symbolic link, which is not followed" : QString();
    return S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
}

} // namespace

QString Report::write() const {
    // A name with a folder part refuses the run, and is never written to.
    if (name.isEmpty() || !IsBareFileName(name))
        return {};
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    const QByteArray path = QFile::encodeName(name);
    const QString notAReport = NotAReport(path, appending);
    if (!notAReport.isEmpty())
        return Failed(name, notAReport);
    if (appending) {
        // Not through a link, and not waiting on a pipe put at the name.
        const int fd =
            ::open(path.constData(),
                   O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno == ELOOP ? Failed(name, "it is a symbolic link, which is not followed")
                                  : Failed(name, errno);
        struct stat before;
        if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
            ::close(fd);
            return Failed(name, "it is not a regular file");
        }
        const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
        const int error = errno;
        // A report cut short is taken back, so that the earlier reports stay as they were.
        const bool takenBack = ok || ::ftruncate(fd, before.st_size) == 0;
        ::close(fd);
        if (ok)
            return {};
        return Failed(name, error) + (takenBack ? "" : " (the part written stays at its end)");
    }
    // A new report is written beside the old one in the working folder and replaces it whole, or
    // not at all; a link at the name is replaced, never written through.
    int fd = -1;
    std::string temporary;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        temporary = '.' + path.toStdString() + '.' + std::to_string(::getpid()) + '.' +
                    std::to_string(n) + ".new";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            return Failed(name, errno);
    }
    if (fd < 0)
        return Failed(name, EEXIST);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return Failed(name, error);
    }
    return {};
}
