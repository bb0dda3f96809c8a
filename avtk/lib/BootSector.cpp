#include "lib/BootSector.h"

#include <array>

namespace BootSector {

namespace {

// Offsets of the parameter block's fields.
constexpr int BytesPerSectorAt = 11, SectorsPerClusterAt = 13, ReservedAt = 14, FatsAt = 16,
              RootEntriesAt = 17, TotalSectors16At = 19, MediaAt = 21, SectorsPerFatAt = 22,
              SectorsPerTrackAt = 24, HeadsAt = 26, HiddenAt = 28, TotalSectors32At = 32;
// The extended block: drive number, signature 0x29, serial, label, file-system name.
constexpr int DriveNumberAt = 36, ExtendedSignatureAt = 38, SerialAt = 39, LabelAt = 43,
              FileSystemAt = 54, BootCodeAt = 62;

int Byte(const QByteArray& bytes, int at) {
    return static_cast<unsigned char>(bytes[at]);
}
int Le16(const QByteArray& bytes, int at) {
    return Byte(bytes, at) | Byte(bytes, at + 1) << 8;
}
qint64 Le32(const QByteArray& bytes, int at) {
    return qint64(Le16(bytes, at)) | qint64(Le16(bytes, at + 2)) << 16;
}
void Put16(QByteArray& bytes, int at, qint64 value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}
void Put32(QByteArray& bytes, int at, qint64 value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, (value >> 16) & 0xFFFF);
}

struct TypeRow {
    FloppyType type;
    const char* name;
    Bpb bpb;
};
// The standard DOS formats of the five floppy types.
const std::array<TypeRow, 5> Types = {{
    {FloppyType::Kb360, "5.25\" 360 KB", {512, 2, 1, 2, 112, 720, 0xFD, 2, 9, 2, 0}},
    {FloppyType::Mb12, "5.25\" 1.2 MB", {512, 1, 1, 2, 224, 2400, 0xF9, 7, 15, 2, 0}},
    {FloppyType::Kb720, "3.5\" 720 KB", {512, 2, 1, 2, 112, 1440, 0xF9, 3, 9, 2, 0}},
    {FloppyType::Mb144, "3.5\" 1.44 MB", {512, 1, 1, 2, 224, 2880, 0xF0, 9, 18, 2, 0}},
    {FloppyType::Mb288, "3.5\" 2.88 MB", {512, 2, 1, 2, 240, 5760, 0xF0, 9, 36, 2, 0}},
}};

const TypeRow& RowOf(FloppyType type) {
    return Types[size_t(type)];
}

// Real-mode code at 0000:7C3E: print the message (BIOS teletype), wait for a key (int 16h),
// restart from the next boot device (int 19h).
QByteArray BootCode() {
    const int message = 0x7C00 + BootCodeAt + 0x23; // the message follows the 0x23 code bytes
    QByteArray code = QByteArray::fromHex("fa"      // cli
                                          "31c0"    // xor ax, ax
                                          "8ed8"    // mov ds, ax
                                          "8ed0"    // mov ss, ax
                                          "bc007c"  // mov sp, 7C00h
                                          "fb"      // sti
                                          "be0000"  // mov si, message
                                          "fc"      // cld
                                          "ac"      // next: lodsb
                                          "84c0"    // test al, al
                                          "7409"    // jz wait
                                          "b40e"    // mov ah, 0Eh
                                          "bb0700"  // mov bx, 7
                                          "cd10"    // int 10h
                                          "ebf2"    // jmp next
                                          "31c0"    // wait: xor ax, ax
                                          "cd16"    // int 16h
                                          "cd19");  // int 19h
    Put16(code, 12, message);
    return code + NotSystemDisk + '\0';
}

bool Has(const QByteArray& head, qsizetype at, const char* mark) {
    const QByteArrayView wanted(mark);
    return head.size() >= at + wanted.size() &&
           QByteArrayView(head).sliced(at, wanted.size()) == wanted;
}

// The partition entries of a partition sector's table (bytes 446 to 509); 0 when the table is
// not one, that is when a status byte is neither 00h nor 80h or an entry is half filled.
int PartitionEntries(const QByteArray& sector) {
    int entries = 0;
    for (int at = 446; at < 510; at += 16) {
        const int status = Byte(sector, at), type = Byte(sector, at + 4);
        const qint64 start = Le32(sector, at + 8), length = Le32(sector, at + 12);
        if (status != 0 && status != 0x80)
            return 0;
        if (type == 0 && start == 0 && length == 0)
            continue; // an unused entry
        if (type == 0 || start < 1 || length < 1)
            return 0;
        ++entries;
    }
    return entries;
}

// The type whose format the disk's two file allocation tables show: the disk is of the type's
// size, and both tables, where the type keeps them, are alike and begin with the type's media
// byte and two end marks (FFh FFh), as formatting leaves them.
std::optional<FloppyType> FatsShowType(const QByteArray& head, qint64 mediumBytes) {
    const std::optional<FloppyType> type = TypeOfSize(mediumBytes);
    if (!type)
        return std::nullopt;
    const Bpb bpb = StandardBpb(*type);
    const int fatBytes = bpb.sectorsPerFat * Size, first = bpb.reservedSectors * Size;
    if (head.size() < first + 2 * fatBytes)
        return std::nullopt;
    const QByteArray fat = head.mid(first, fatBytes);
    if (Byte(fat, 0) != bpb.media || Byte(fat, 1) != 0xFF || Byte(fat, 2) != 0xFF ||
        head.mid(first + fatBytes, fatBytes) != fat)
        return std::nullopt;
    return type;
}

} // namespace

Recognition Recognise(const QByteArray& head, qint64 mediumBytes) {
    Recognition seen;
    if (head.size() < Size) {
        seen.found = "less than one sector";
        return seen;
    }
    const QByteArray sector = head.left(Size);
    const Sanity sanity = Check(sector, mediumBytes);
    const Bpb bpb = ReadBpb(sector);
    const bool fatBlock = sanity.jump && sanity.bpbProblems.isEmpty();
    // Media byte F8h is a fixed disk's, whatever its size.
    if (fatBlock && bpb.media != 0xF8 && bpb.totalSectors * Size == mediumBytes) {
        seen.kind = Recognition::FatFloppy;
        return seen;
    }
    // The marks of other disks, each where its own format keeps it.
    if (Has(head, 3, "NTFS    "))
        seen.found = "an NTFS file system (\"NTFS\" at byte 3)";
    else if (Has(head, 3, "EXFAT   "))
        seen.found = "an exFAT file system (\"EXFAT\" at byte 3)";
    else if (head.size() >= 1082 && Le16(head, 1080) == 0xEF53)
        seen.found = "an ext2/ext3/ext4 file system (its mark EF53h at byte 1080)";
    else if (Has(head, 32769, "CD001"))
        seen.found = "an ISO 9660 CD-ROM file system (\"CD001\" at byte 32769)";
    else if (sanity.mark && PartitionEntries(sector) > 0)
        seen.found = "a partitioned disk (a partition table in its first sector)";
    else if (fatBlock && bpb.media == 0xF8)
        seen.found = "the FAT file system of a fixed disk (media descriptor F8h)";
    else if (fatBlock)
        seen.found = QString("a FAT boot sector of %1 sectors on a disk of %2 bytes")
                         .arg(bpb.totalSectors)
                         .arg(mediumBytes);
    else if (const std::optional<FloppyType> type = FatsShowType(head, mediumBytes)) {
        seen.kind = Recognition::Overwritten;
        seen.type = type;
    } else
        seen.found = "no FAT floppy's boot sector, and no file allocation tables that show a "
                     "floppy's format";
    return seen;
}

Bpb StandardBpb(FloppyType type) {
    return RowOf(type).bpb;
}

QString TypeName(FloppyType type) {
    return QString::fromUtf8(RowOf(type).name);
}

std::optional<FloppyType> TypeOfSize(qint64 bytes) {
    for (const TypeRow& row : Types)
        if (row.bpb.bytes() == bytes)
            return row.type;
    return std::nullopt;
}

Bpb ReadBpb(const QByteArray& sector) {
    Bpb bpb;
    bpb.bytesPerSector = Le16(sector, BytesPerSectorAt);
    bpb.sectorsPerCluster = Byte(sector, SectorsPerClusterAt);
    bpb.reservedSectors = Le16(sector, ReservedAt);
    bpb.fats = Byte(sector, FatsAt);
    bpb.rootEntries = Le16(sector, RootEntriesAt);
    bpb.totalSectors = Le16(sector, TotalSectors16At);
    if (bpb.totalSectors == 0)
        bpb.totalSectors = Le32(sector, TotalSectors32At);
    bpb.media = Byte(sector, MediaAt);
    bpb.sectorsPerFat = Le16(sector, SectorsPerFatAt);
    bpb.sectorsPerTrack = Le16(sector, SectorsPerTrackAt);
    bpb.heads = Le16(sector, HeadsAt);
    bpb.hiddenSectors = Le32(sector, HiddenAt);
    return bpb;
}

QStringList BpbProblems(const Bpb& bpb, qint64 mediumBytes) {
    QStringList problems;
    const auto powerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
    if (bpb.bytesPerSector != Size)
        problems << QString("%1 bytes per sector, not 512").arg(bpb.bytesPerSector);
    if (!powerOfTwo(bpb.sectorsPerCluster))
        problems << QString("%1 sectors per cluster").arg(bpb.sectorsPerCluster);
    if (bpb.reservedSectors < 1)
        problems << "no reserved sector for the boot sector";
    if (bpb.fats < 1 || bpb.fats > 2)
        problems << QString("%1 file allocation tables").arg(bpb.fats);
    if (bpb.rootEntries == 0 || bpb.rootEntries % 16 != 0)
        problems << QString("%1 root folder entries").arg(bpb.rootEntries);
    if (bpb.media < 0xF0 || (bpb.media > 0xF0 && bpb.media < 0xF8))
        problems << QString("media descriptor %1h")
                        .arg(QString("%1").arg(bpb.media, 2, 16, QChar(u'0')).toUpper());
    if (bpb.sectorsPerFat < 1)
        problems << "no sectors per file allocation table";
    if (bpb.sectorsPerTrack < 1 || bpb.sectorsPerTrack > 63)
        problems << QString("%1 sectors per track").arg(bpb.sectorsPerTrack);
    if (bpb.heads < 1 || bpb.heads > 255)
        problems << QString("%1 heads").arg(bpb.heads);
    const qint64 system = qint64(bpb.reservedSectors) + qint64(bpb.fats) * bpb.sectorsPerFat +
                          (qint64(bpb.rootEntries) * 32 + Size - 1) / Size;
    if (bpb.totalSectors <= system)
        problems << QString("%1 sectors in all, no room for data").arg(bpb.totalSectors);
    else if (bpb.totalSectors * Size > LargestFloppy)
        problems
            << QString("%1 sectors in all, more than a floppy disk holds").arg(bpb.totalSectors);
    else if (mediumBytes > 0 && bpb.bytesPerSector == Size && bpb.totalSectors * Size > mediumBytes)
        problems << QString("%1 sectors in all, more than the disk's %2")
                        .arg(bpb.totalSectors)
                        .arg(mediumBytes / Size);
    return problems;
}

Sanity Check(const QByteArray& sector, qint64 mediumBytes) {
    Sanity sanity;
    if (sector.size() != Size) {
        sanity.bpbProblems << "not a whole sector";
        return sanity;
    }
    sanity.jump = (Byte(sector, 0) == 0xEB && Byte(sector, 2) == 0x90) || Byte(sector, 0) == 0xE9;
    sanity.mark = Byte(sector, 510) == 0x55 && Byte(sector, 511) == 0xAA;
    sanity.bpbProblems = BpbProblems(ReadBpb(sector), mediumBytes);
    return sanity;
}

QByteArray CleanSector(const Bpb& bpb, const QByteArray& old) {
    QByteArray sector(Size, '\0');
    sector.replace(0, 3, QByteArray::fromHex("eb3c90")); // jmp short to the boot code at 3Eh
    sector.replace(3, 8, QByteArrayLiteral("AVTK1.0 "));
    Put16(sector, BytesPerSectorAt, bpb.bytesPerSector);
    sector[SectorsPerClusterAt] = char(bpb.sectorsPerCluster);
    Put16(sector, ReservedAt, bpb.reservedSectors);
    sector[FatsAt] = char(bpb.fats);
    Put16(sector, RootEntriesAt, bpb.rootEntries);
    // Floppies count their sectors in the 16-bit field; the 32-bit one stays 0.
    Put16(sector, TotalSectors16At, bpb.totalSectors);
    sector[MediaAt] = char(bpb.media);
    Put16(sector, SectorsPerFatAt, bpb.sectorsPerFat);
    Put16(sector, SectorsPerTrackAt, bpb.sectorsPerTrack);
    Put16(sector, HeadsAt, bpb.heads);
    Put32(sector, HiddenAt, bpb.hiddenSectors);
    sector[DriveNumberAt] = 0; // the first floppy drive
    sector[ExtendedSignatureAt] = char(0x29);
    // The volume's serial number and label belong to the disk, not to whatever infected it.
    const bool oldExtended = old.size() == Size && (Byte(old, ExtendedSignatureAt) == 0x29 ||
                                                    Byte(old, ExtendedSignatureAt) == 0x28);
    if (oldExtended)
        sector.replace(SerialAt, 4 + 11, old.mid(SerialAt, 4 + 11));
    else
        sector.replace(LabelAt, 11, QByteArrayLiteral("NO NAME    "));
    sector.replace(FileSystemAt, 8, QByteArrayLiteral("FAT12   "));
    const QByteArray code = BootCode();
    sector.replace(BootCodeAt, code.size(), code);
    sector[510] = char(0x55);
    sector[511] = char(0xAA);
    return sector;
}

} // namespace BootSector
