#include "engine/Sectors.h"

#include "engine/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace avtk {

namespace {

std::optional<QByteArray> ReadSector(const std::string& path, quint64 index, QString& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrnoText(errno);
        return std::nullopt;
    }
    QByteArray sector(SectorSize, '\0');
    const ssize_t got = ::pread(fd, sector.data(), SectorSize, off_t(index * SectorSize));
    const int readError = errno;
    ::close(fd);
    if (got != SectorSize) {
        error = got < 0 ? ErrnoText(readError) : QString("shorter than one sector");
        return std::nullopt;
    }
    return sector;
}

quint32 Le32(const QByteArray& bytes, int at) {
    const auto b = [&](int i) { return quint32(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// The whole disk of a partition's block device, from the kernel's block-device tree.
std::optional<std::string> WholeDisk(dev_t device) {
    const QString node = QString("/sys/dev/block/%1:%2").arg(major(device)).arg(minor(device));
    if (!QFileInfo::exists(node + "/partition"))
        return std::nullopt;
    const QString parent = QFileInfo(QFileInfo(node).canonicalFilePath()).path();
    return QFile::encodeName("/dev/" + QFileInfo(parent).fileName()).toStdString();
}

} // namespace

bool IsPartitionSector(const QByteArray& sector) {
    if (sector.size() != SectorSize || static_cast<unsigned char>(sector[510]) != 0x55 ||
        static_cast<unsigned char>(sector[511]) != 0xAA)
        return false;
    // A volume's boot sector begins with a jump over its parameter block.
    const auto first = static_cast<unsigned char>(sector[0]);
    if ((first == 0xEB && static_cast<unsigned char>(sector[2]) == 0x90) || first == 0xE9)
        return false;
    bool any = false;
    for (int entry = 0; entry < 4; ++entry) {
        const int at = 446 + entry * 16;
        const auto status = static_cast<unsigned char>(sector[at]);
        if (status != 0x00 && status != 0x80)
            return false;
        if (sector[at + 4] != 0) {
            if (Le32(sector, at + 8) == 0 || Le32(sector, at + 12) == 0)
                return false;
            any = true;
        }
    }
    return any;
}

std::optional<DiskSectors> ReadSectors(const std::string& target, QString& error) {
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
        error = ErrnoText(errno);
        return std::nullopt;
    }
    if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) {
        error = "neither a disk nor a disk image";
        return std::nullopt;
    }
    DiskSectors sectors;
    const std::optional<QByteArray> first = ReadSector(target, 0, error);
    if (!first)
        return std::nullopt;
    if (S_ISBLK(st.st_mode)) {
        if (const std::optional<std::string> disk = WholeDisk(st.st_rdev)) {
            sectors.boot = first;
            QString diskError;
            sectors.partition = ReadSector(*disk, 0, diskError);
            if (!sectors.partition)
                sectors.partitionNote = QString("the whole disk %1 could not be read: %2")
                                            .arg(QFile::decodeName(disk->c_str()), diskError);
            return sectors;
        }
    }
    if (!IsPartitionSector(*first)) {
        sectors.boot = first;
        sectors.partitionNote = "no partition table (a floppy disk or a single volume)";
        return sectors;
    }
    sectors.partition = first;
    // The boot sector of the first partition in the table.
    for (int entry = 0; entry < 4; ++entry) {
        const int at = 446 + entry * 16;
        if ((*first)[at + 4] == 0)
            continue;
        QString bootError;
        sectors.boot = ReadSector(target, Le32(*first, at + 8), bootError);
        if (!sectors.boot)
            sectors.bootNote = "the first partition's boot sector could not be read: " + bootError;
        break;
    }
    return sectors;
}

} // namespace avtk
