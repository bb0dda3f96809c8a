#pragma once

#include "lib/BootSector.h"
#include "lib/DriveMap.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// A floppy disk or floppy image that a drive letter stands for, and the writing of a clean boot
// sector to it: what the cleaner does on the user's word and the resident guard on its settings'.
namespace Floppy {

struct Medium {
    std::string path;
    qint64 bytes = 0;
    bool device = false;
    bool readOnly = false;
};

// The drive's target as a floppy disk: a block device or an image file no larger than the largest
// floppy and at least one sector long. An error sentence otherwise.
std::optional<Medium> FindMedium(const DriveMap::Drive& drive, QString& error);

// The first sector of the medium, or nothing with the error.
std::optional<QByteArray> ReadBoot(const std::string& path, QString& error);
// The medium's first BootSector::HeadBytes bytes (all of a shorter one), or nothing with the error.
std::optional<QByteArray> ReadHead(const std::string& path, QString& error);

// The parameter block a clean sector gets on a disk recognised as a FAT floppy: the disk's own
// when its boot sector is sound, else the standard one of the type its FATs show.
BootSector::Bpb BpbToWrite(const QByteArray& old, const BootSector::Recognition& recognised);

// Writing the clean sector: the old one saved first in a new file, the new one made durable and
// read back.
struct Written {
    enum Failure { None, NotSaved, NotWritten, NotReadBack };
    Failure failure = None;
    QString saved; // the file holding the old sector, once saved
    QString error; // the reason, for a failure
};
Written WriteClean(const Medium& medium, const QByteArray& old, const BootSector::Bpb& bpb);

} // namespace Floppy
