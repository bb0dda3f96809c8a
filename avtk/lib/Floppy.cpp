#include "lib/Floppy.h"

#include "engine/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Floppy {

namespace {

// Writes the sector at the start of the medium and makes it durable; an error sentence or empty.
QString WriteBoot(const std::string& path, const QByteArray& sector) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return avtk::ErrnoText(errno);
    const ssize_t put = ::pwrite(fd, sector.constData(), size_t(sector.size()), 0);
    int writeError = errno;
    const bool synced = put == sector.size() && ::fsync(fd) == 0;
    if (put == sector.size() && !synced)
        writeError = errno;
    ::close(fd);
    if (put != sector.size())
        return put < 0 ? avtk::ErrnoText(writeError) : QString("the sector was written in part");
    return synced ? QString() : avtk::ErrnoText(writeError);
}

// Saves the old sector in a new file beside the image (for a device, in the working folder):
// "<name>.boot.sav", or "<name>.boot.2.sav" and so on, never over an earlier one, which may
// hold the disk's first state. Returns the file's path, or nothing with the error.
std::optional<QString> SaveOld(const Medium& medium, const QByteArray& sector, QString& error) {
    const QFileInfo target(QFile::decodeName(medium.path.c_str()));
    const QString base =
        medium.device ? QDir::current().filePath(target.fileName()) : target.absoluteFilePath();
    for (int number = 1; number < 1000; ++number) {
        const QString path =
            base + (number == 1 ? QString(".boot.sav") : QString(".boot.%1.sav").arg(number));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists())
                continue;
            error = path + ": " + file.errorString();
            return std::nullopt;
        }
        if (file.write(sector) != sector.size() || !file.flush()) {
            error = path + ": " + file.errorString();
            file.remove();
            return std::nullopt;
        }
        return path;
    }
    error = base + ".boot.*.sav: too many saved sectors";
    return std::nullopt;
}

} // namespace

std::optional<Medium> FindMedium(const DriveMap::Drive& drive, QString& error) {
    const QString letter = QString(drive.letter) + u':';
    if (drive.folder) {
        error = QString("Drive %1 stands for the folder %2, not a floppy disk or disk image; "
                        "nothing was written.")
                    .arg(letter, drive.root);
        return std::nullopt;
    }
    Medium medium;
    medium.path = QFile::encodeName(drive.root).toStdString();
    struct stat st;
    if (::stat(medium.path.c_str(), &st) != 0) {
        error = QString("Drive %1 (%2): %3.").arg(letter, drive.root, avtk::ErrnoText(errno));
        return std::nullopt;
    }
    medium.device = S_ISBLK(st.st_mode);
    medium.bytes = st.st_size;
    if (medium.device) {
        const int fd = ::open(medium.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        quint64 size = 0;
        const bool sized = fd >= 0 && ::ioctl(fd, BLKGETSIZE64, &size) == 0;
        const int sizeError = errno;
        if (fd >= 0)
            ::close(fd);
        if (!sized) {
            error =
                QString("Drive %1 (%2): %3.").arg(letter, drive.root, avtk::ErrnoText(sizeError));
            return std::nullopt;
        }
        medium.bytes = qint64(size);
    }
    const QString suffix = QFileInfo(drive.root).suffix().toLower();
    const bool imageName = suffix == u"img" || suffix == u"ima" || suffix == u"vfd";
    if (medium.bytes > BootSector::LargestFloppy)
        error = QString("Drive %1 (%2) holds %3 bytes, more than the largest floppy disk "
                        "(2.88 MB); nothing was written.")
                    .arg(letter, drive.root)
                    .arg(medium.bytes);
    else if (medium.bytes < BootSector::Size)
        error = QString("Drive %1 (%2) is shorter than one sector (%3 bytes); nothing was "
                        "written.")
                    .arg(letter, drive.root)
                    .arg(medium.bytes);
    else if (!medium.device && !imageName && !BootSector::TypeOfSize(medium.bytes))
        error = QString("Drive %1 (%2) is neither a disk image (.img, .ima, .vfd) nor a file of "
                        "a floppy disk's size; nothing was written.")
                    .arg(letter, drive.root);
    if (!error.isEmpty())
        return std::nullopt;
    // A file without write permission is one its owner protected: honoured even for root.
    medium.readOnly = !medium.device && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return medium;
}

namespace {

// Up to `bytes` bytes from the start of the medium; fewer only at its end.
std::optional<QByteArray> ReadStart(const std::string& path, int bytes, QString& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = avtk::ErrnoText(errno);
        return std::nullopt;
    }
    QByteArray start(bytes, '\0');
    qsizetype have = 0;
    while (have < bytes) {
        const ssize_t got = ::pread(fd, start.data() + have, size_t(bytes - have), off_t(have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = avtk::ErrnoText(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        have += got;
    }
    ::close(fd);
    start.truncate(have);
    return start;
}

} // namespace

std::optional<QByteArray> ReadBoot(const std::string& path, QString& error) {
    std::optional<QByteArray> sector = ReadStart(path, BootSector::Size, error);
    if (sector && sector->size() != BootSector::Size) {
        error = "shorter than one sector";
        return std::nullopt;
    }
    return sector;
}

std::optional<QByteArray> ReadHead(const std::string& path, QString& error) {
    std::optional<QByteArray> head = ReadStart(path, BootSector::HeadBytes, error);
    if (head && head->size() < BootSector::Size) {
        error = "shorter than one sector";
        return std::nullopt;
    }
    return head;
}

BootSector::Bpb BpbToWrite(const QByteArray& old, const BootSector::Recognition& recognised) {
    if (recognised.kind == BootSector::Recognition::Overwritten && recognised.type)
        return BootSector::StandardBpb(*recognised.type);
    return BootSector::ReadBpb(old);
}

Written WriteClean(const Medium& medium, const QByteArray& old, const BootSector::Bpb& bpb) {
    Written written;
    const std::optional<QString> saved = SaveOld(medium, old, written.error);
    if (!saved) {
        written.failure = Written::NotSaved;
        return written;
    }
    written.saved = *saved;
    const QByteArray clean = BootSector::CleanSector(bpb, old);
    written.error = WriteBoot(medium.path, clean);
    if (!written.error.isEmpty()) {
        written.failure = Written::NotWritten;
        return written;
    }
    const std::optional<QByteArray> back = ReadBoot(medium.path, written.error);
    if (!back || *back != clean) {
        written.failure = Written::NotReadBack;
        written.error = back ? QString("the boot sector read back differs from the one written")
                             : "the boot sector could not be read back: " + written.error;
    }
    return written;
}

} // namespace Floppy
