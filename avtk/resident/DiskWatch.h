#pragma once

#include "lib/DriveMap.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <string>
#include <vector>

// Disks that arrive while the guard runs: a floppy or removable disk mounted (the system's mount
// table changed), or the disk image a drive letter stands for replaced or rewritten (a disk
// "inserted" in that drive). The owner checks their boot sectors.
namespace guard {

struct DiskArrival {
    QString disk;                         // "A:" for a drive letter, else the device ("/dev/sdb1")
    std::string target;                   // the device or image file to read
    std::optional<DriveMap::Drive> drive; // the letter that stands for it, if any
};

class DiskWatch {
public:
    // The drives given are the letters that stand for disks or disk images.
    explicit DiskWatch(const QList<DriveMap::Drive>& disks);
    ~DiskWatch();
    DiskWatch(const DiskWatch&) = delete;
    DiskWatch& operator=(const DiskWatch&) = delete;

    // The mount table, readable with an exceptional condition (POLLPRI) when it changed; -1 when
    // it cannot be watched.
    int mountsFd() const { return mounts; }
    // The folders of the image files; -1 when there are none or inotify cannot be had.
    int imagesFd() const { return images; }
    // Problems met while setting up, for the log.
    const QStringList& problems() const { return trouble; }

    // The disks mounted since the last call that are floppies, removable disks or the device of a
    // drive letter.
    std::vector<DiskArrival> mounted();
    // The drive letters whose image file was replaced or written since the last call.
    std::vector<DiskArrival> imagesChanged();

private:
    QSet<QString> readMounts(QList<std::pair<QString, std::string>>* added);

    int mounts = -1;
    int images = -1;
    QStringList trouble;
    QList<DriveMap::Drive> disks;
    QSet<QString> known; // the mount table's entries: "id source"
    QHash<int, QList<std::pair<std::string, DriveMap::Drive>>> folders; // watch: name, drive
};

} // namespace guard
