#include "platform/ProcessLock.h"

#include "platform/ErrnoText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

ProcessLock::ProcessLock(const QString& path, bool removeOnRelease)
    : path(path), removeOnRelease(removeOnRelease) {
    const QByteArray name = QFile::encodeName(path);
    // A holder that removes the file may do so between our open and our lock: the lock is then
    // on a file nobody else finds, and the name is opened again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Close-on-exec: a program the holder starts must not keep the lock after the holder
        // ends.
        const int file = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (file < 0) {
            reason = QString("the lock file %1 cannot be opened: %2").arg(path, ErrnoText(errno));
            return;
        }
        if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            otherHolder = error == EWOULDBLOCK;
            char buffer[32] = {};
            const ssize_t n = ::pread(file, buffer, sizeof buffer - 1, 0);
            reason =
                otherHolder
                    ? QString("process %1")
                          .arg(QString::fromLatin1(buffer, n > 0 ? n : 0).trimmed())
                    : QString("the lock file %1 cannot be locked: %2").arg(path, ErrnoText(error));
            ::close(file);
            return;
        }
        struct stat held, named;
        if (::fstat(file, &held) != 0 || ::stat(name.constData(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            ::close(file);
            continue;
        }
        fd = file;
        break;
    }
    if (fd < 0) {
        reason = QString("the lock file %1 keeps being replaced").arg(path);
        return;
    }
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    // The number is only told to a refused second holder; the lock holds without it.
    [[maybe_unused]] const bool written =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) >= 0;
}

ProcessLock::~ProcessLock() {
    if (fd < 0)
        return;
    // Removed while still locked: one that opened it meanwhile finds it gone once it has the
    // lock, and opens the name again.
    if (removeOnRelease)
        ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
}

qint64 ProcessLock::Holder(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool number = false;
    const qint64 pid = file.read(32).trimmed().toLongLong(&number);
    if (!number || pid <= 0)
        return 0;
    // The number is the holder's only while that process has the file open: a number left by
    // one that was killed may have been given to another process since.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(fds.filePath(fd)) == target)
            return pid;
    return 0;
}
