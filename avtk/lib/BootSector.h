#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// A floppy disk's boot sector: its BIOS parameter block, its sanity, and the clean sector the
// cleaner writes in place of an infected or damaged one. Pure functions of the bytes.
namespace BootSector {

constexpr int Size = 512;

// The five floppy types, in the order of the cleaner's switches /1 to /5.
enum class FloppyType { Kb360, Mb12, Kb720, Mb144, Mb288 };

// The BIOS parameter block of a FAT12 floppy (bytes 11 to 35 of the boot sector).
struct Bpb {
    int bytesPerSector = 512;
    int sectorsPerCluster = 1;
    int reservedSectors = 1;
    int fats = 2;
    int rootEntries = 224;
    qint64 totalSectors = 0;
    int media = 0xF0;
    int sectorsPerFat = 9;
    int sectorsPerTrack = 18;
    int heads = 2;
    qint64 hiddenSectors = 0;

    qint64 bytes() const { return totalSectors * bytesPerSector; }
    bool operator==(const Bpb&) const = default;
};

// The standard parameter block of a type, and the type's name ("3.5\" 1.44 MB").
Bpb StandardBpb(FloppyType type);
QString TypeName(FloppyType type);
// The type whose disk has exactly this many bytes.
std::optional<FloppyType> TypeOfSize(qint64 bytes);
// The largest floppy (2.88 MB): anything larger is not a floppy disk.
constexpr qint64 LargestFloppy = 5760LL * 512;

// The parameter block as the sector holds it, without judging it.
Bpb ReadBpb(const QByteArray& sector);

// What is wrong with a parameter block, for a medium of `mediumBytes` bytes (0: unknown); empty
// when it is sound.
QStringList BpbProblems(const Bpb& bpb, qint64 mediumBytes);

// The sector's sanity: its jump instruction, its parameter block, the 55 AA mark.
struct Sanity {
    bool jump = false;
    bool mark = false;
    QStringList bpbProblems;
    bool sound() const { return jump && mark && bpbProblems.isEmpty(); }
};
Sanity Check(const QByteArray& sector, qint64 mediumBytes);

// What a disk is, judged from its first bytes (`head`, up to HeadBytes) and its size, before
// anything is written to it.
constexpr int HeadBytes = 36 * 1024; // the ISO 9660 mark at 32769 is the farthest one looked at
struct Recognition {
    enum Kind {
        FatFloppy,   // a FAT floppy's sound boot sector, counting the disk's own sectors
        Overwritten, // not a sound boot sector, but both FATs prove a floppy of `type`
        Foreign,     // anything else: a file system or disk of another kind, or unknown bytes
    };
    Kind kind = Foreign;
    std::optional<FloppyType> type; // for Overwritten
    QString found;                  // for Foreign: what the disk holds, in words
    bool cleanable() const { return kind != Foreign; }
};
Recognition Recognise(const QByteArray& head, qint64 mediumBytes);

// The message the clean sector's boot code prints when a computer starts from the disk.
inline const QByteArray NotSystemDisk =
    QByteArrayLiteral("\r\nNot a system disk or disk error.\r\n"
                      "Replace the disk and press any key when ready.\r\n");

// A clean boot sector for a disk with this parameter block: a jump over the block, the block,
// an extended block (the old sector's serial number and label when it had an extended block,
// else serial 0 and "NO NAME"), boot code that prints NotSystemDisk, waits for a key and
// restarts, and the 55 AA mark. `old` may be empty.
QByteArray CleanSector(const Bpb& bpb, const QByteArray& old);

} // namespace BootSector
