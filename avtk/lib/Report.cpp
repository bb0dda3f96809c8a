#include "lib/Report.h"

#include "engine/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Failed(const QString& name, int error) {
    return QString("Cannot write the report %1: %2").arg(name, avtk::ErrnoText(error));
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

} // namespace

QString Report::write() const {
    if (name.isEmpty())
        return {};
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    // A report name that is a link writes where the link points, and leaves the link.
    const QFileInfo info(name);
    const QByteArray target = QFile::encodeName(info.isSymLink() ? info.symLinkTarget() : name);
    struct stat st;
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (appending || (exists && !S_ISREG(st.st_mode))) {
        const int fd =
            ::open(target.constData(),
                   O_WRONLY | O_CREAT | O_CLOEXEC | (appending ? O_APPEND : O_TRUNC), 0644);
        if (fd < 0)
            return Failed(name, errno);
        struct stat before;
        const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
        const bool ok = WriteAll(fd, bytes) && (!regular || ::fsync(fd) == 0);
        const int error = errno;
        // A report cut short is taken back, so that the earlier reports stay as they were.
        const bool takenBack = ok || !regular || !appending || ::ftruncate(fd, before.st_size) == 0;
        ::close(fd);
        if (ok)
            return {};
        return Failed(name, error) + (takenBack ? "" : " (the part written stays at its end)");
    }
    // A new report replaces the old one whole, or not at all.
    const QByteArray temporary = target + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Failed(name, errno);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.constData(), target.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return Failed(name, error);
    }
    return {};
}
