#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// The boot sector and the partition sector (master boot record) of a disk: a block device or a
// disk image file.
namespace avtk {

constexpr int SectorSize = 512;

struct DiskSectors {
    std::optional<QByteArray> boot;      // the boot sector of the volume
    std::optional<QByteArray> partition; // the partition sector of the whole disk
    QString bootNote;                    // why there is no boot sector, when there is none
    QString partitionNote;               // why there is no partition sector, when there is none
};

// Reads the sectors of a block device or an image file. A partition (/dev/sdb1) has its own boot
// sector and the whole disk's partition sector; a whole disk or image with a partition table has
// that table's sector and the boot sector of its first partition; a floppy or a volume image
// without one has only a boot sector. An error sentence when nothing could be read.
std::optional<DiskSectors> ReadSectors(const std::string& target, QString& error);

// True when a sector is a partition sector (a master boot record with a sound table), not a
// volume's boot sector.
bool IsPartitionSector(const QByteArray& sector);

} // namespace avtk
