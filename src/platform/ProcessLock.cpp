#include "platform/ProcessLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

ProcessLock::ProcessLock(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Close-on-exec: a program the holder starts must not keep the lock after the holder ends.
    const int file = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0) {
        reason = QString("the lock file %1 cannot be opened: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        otherHolder = error == EWOULDBLOCK;
        char buffer[32] = {};
        const ssize_t n = ::pread(file, buffer, sizeof buffer - 1, 0);
        reason =
            otherHolder
                ? QString("process %1").arg(QString::fromLatin1(buffer, n > 0 ? n : 0).trimmed())
                : QString("the lock file %1 cannot be locked: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(error)));
        ::close(file);
        return;
    }
    fd = file;
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    // The number is only told to a refused second holder; the lock holds without it.
    [[maybe_unused]] const bool written =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) >= 0;
}

ProcessLock::~ProcessLock() {
    if (fd >= 0)
        ::close(fd);
}
