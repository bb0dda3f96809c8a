#include "resident/DiskWatch.h"

#include "engine/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace guard {

namespace {

constexpr unsigned FloppyMajor = 2;

// A floppy drive or a disk the kernel calls removable (USB sticks, card readers); a partition
// answers for its disk.
bool RemovableDevice(dev_t device) {
    if (major(device) == FloppyMajor)
        return true;
    const QString node = QString("/sys/dev/block/%1:%2").arg(major(device)).arg(minor(device));
    QString disk = QFileInfo(node).canonicalFilePath();
    if (QFileInfo::exists(node + "/partition"))
        disk = QFileInfo(disk).path();
    QFile removable(disk + "/removable");
    return removable.open(QIODevice::ReadOnly) && removable.readAll().trimmed() == "1";
}

// The mount table's escapes (\040 for a space) undone.
QByteArray Unescape(const QByteArray& field) {
    QByteArray plain;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                plain += char(code);
                i += 3;
                continue;
            }
        }
        plain += field[i];
    }
    return plain;
}

} // namespace

DiskWatch::DiskWatch(const QList<DriveMap::Drive>& disks) : disks(disks) {
    mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (mounts < 0)
        trouble << "The mount table cannot be watched: " + avtk::ErrnoText(errno);
    else
        known = readMounts(nullptr);

    for (const DriveMap::Drive& drive : disks) {
        struct stat st;
        if (::stat(QFile::encodeName(drive.root).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (images < 0)
            images = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (images < 0) {
            trouble << "Disk images cannot be watched: " + avtk::ErrnoText(errno);
            return;
        }
        const QFileInfo image(drive.root);
        // The folder is watched, not the file: a new image moved over the old one is a new file.
        const int wd = ::inotify_add_watch(images, QFile::encodeName(image.path()).constData(),
                                           IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR);
        if (wd < 0) {
            trouble << QString("The disk image of %1: (%2) cannot be watched: %3")
                           .arg(drive.letter)
                           .arg(drive.root, avtk::ErrnoText(errno));
            continue;
        }
        folders[wd].append({QFile::encodeName(image.fileName()).toStdString(), drive});
    }
}

DiskWatch::~DiskWatch() {
    if (mounts >= 0)
        ::close(mounts);
    if (images >= 0)
        ::close(images);
}

QSet<QString> DiskWatch::readMounts(QList<std::pair<QString, std::string>>* added) {
    // The table is read whole from its start each time: that also re-arms the change signal.
    QByteArray table;
    char chunk[16 * 1024];
    ::lseek(mounts, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(mounts, chunk, sizeof chunk)) > 0;)
        table.append(chunk, n);
    QSet<QString> entries;
    for (const QByteArray& line : table.split('\n')) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
        const qsizetype dash = line.indexOf(" - ");
        if (dash < 0)
            continue;
        const QList<QByteArray> tail = line.mid(dash + 3).split(' ');
        const QByteArray source = Unescape(tail.value(1));
        const QString entry =
            QString::fromLatin1(line.left(line.indexOf(' '))) + u' ' + QFile::decodeName(source);
        entries.insert(entry);
        if (added && !known.contains(entry) && source.startsWith("/dev/"))
            added->append({entry, source.toStdString()});
    }
    return entries;
}

std::vector<DiskArrival> DiskWatch::mounted() {
    std::vector<DiskArrival> arrivals;
    if (mounts < 0)
        return arrivals;
    QList<std::pair<QString, std::string>> added;
    known = readMounts(&added);
    for (const auto& [entry, source] : added) {
        struct stat st;
        if (::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
            continue;
        DiskArrival arrival{QFile::decodeName(source.c_str()), source, std::nullopt};
        for (const DriveMap::Drive& drive : disks) {
            struct stat driveStat;
            if (::stat(QFile::encodeName(drive.root).constData(), &driveStat) == 0 &&
                S_ISBLK(driveStat.st_mode) && driveStat.st_rdev == st.st_rdev) {
                arrival.disk = QString(drive.letter) + u':';
                arrival.drive = drive;
            }
        }
        if (arrival.drive || RemovableDevice(st.st_rdev))
            arrivals.push_back(std::move(arrival));
    }
    return arrivals;
}

std::vector<DiskArrival> DiskWatch::imagesChanged() {
    std::vector<DiskArrival> arrivals;
    alignas(inotify_event) char buffer[8 * 1024];
    QSet<QChar> seen; // a burst of events for one image is one arrival
    for (ssize_t length; images >= 0 && (length = ::read(images, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->len == 0)
                continue;
            for (const auto& [name, drive] : folders.value(event->wd))
                if (name == event->name && !seen.contains(drive.letter)) {
                    seen.insert(drive.letter);
                    arrivals.push_back(DiskArrival{QString(drive.letter) + u':',
                                                   QFile::encodeName(drive.root).toStdString(),
                                                   drive});
                }
        }
    }
    return arrivals;
}

} // namespace guard
