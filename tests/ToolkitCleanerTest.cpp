// The boot-sector cleaner: its sectors as pure functions, and CleanBoo.exe started as Vallorin
// starts it (in the prefix, without a display) on floppy images the tests make, answering its
// questions on standard input.
#include "lib/BootSector.h"
#include "platform/InstallLayout.h"
#include "support/HeadlessRun.h"
#include "support/TempPrefix.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>

namespace {

using BootSector::Bpb;
using BootSector::FloppyType;

const QList<FloppyType> AllTypes = {FloppyType::Kb360, FloppyType::Mb12, FloppyType::Kb720,
                                    FloppyType::Mb144, FloppyType::Mb288};
const QByteArray Marker = QByteArray("TEST-BOOT-") + "VIRUS-17";

// A formatted floppy's boot sector of the type, with `code` as its boot code.
QByteArray FormattedSector(FloppyType type, const QByteArray& code = "plain boot code") {
    QByteArray sector = BootSector::CleanSector(BootSector::StandardBpb(type), {});
    sector.replace(62, code.size(), code);
    return sector;
}

TEST(BootSectors, StandardTypesAreSoundAndKnownByTheirSize) {
    const QList<qint64> sizes = {368640, 1228800, 737280, 1474560, 2949120};
    for (int i = 0; i < AllTypes.size(); ++i) {
        SCOPED_TRACE(BootSector::TypeName(AllTypes[i]).toStdString());
        const Bpb bpb = BootSector::StandardBpb(AllTypes[i]);
        EXPECT_EQ(bpb.bytes(), sizes[i]);
        EXPECT_EQ(BootSector::TypeOfSize(sizes[i]), AllTypes[i]);
        EXPECT_EQ(BootSector::BpbProblems(bpb, sizes[i]), QStringList());
    }
    EXPECT_FALSE(BootSector::TypeOfSize(1474560 + 512));
    EXPECT_FALSE(BootSector::TypeOfSize(0));
}

TEST(BootSectors, CleanSectorBootsToTheMessageAndKeepsTheBlock) {
    for (FloppyType type : AllTypes) {
        const Bpb bpb = BootSector::StandardBpb(type);
        const QByteArray clean = BootSector::CleanSector(bpb, {});
        ASSERT_EQ(clean.size(), 512);
        EXPECT_EQ(clean.left(3), QByteArray::fromHex("eb3c90"));
        EXPECT_EQ(clean.right(2), QByteArray::fromHex("55aa"));
        EXPECT_EQ(BootSector::ReadBpb(clean), bpb);
        EXPECT_TRUE(BootSector::Check(clean, bpb.bytes()).sound());
        EXPECT_EQ(clean.mid(43, 11), "NO NAME    ");
        // The code at 3Eh loads SI with the message's address (7C00h + its offset) and prints it.
        const int message = int(clean.indexOf(BootSector::NotSystemDisk));
        ASSERT_GT(message, 62);
        EXPECT_EQ(clean.mid(62 + 11, 3),
                  QByteArray("\xBE", 1) + char(message & 0xFF) + char((0x7C00 + message) >> 8));
        EXPECT_EQ(clean[message + BootSector::NotSystemDisk.size()], '\0');
        EXPECT_EQ(clean.mid(message + BootSector::NotSystemDisk.size()),
                  QByteArray(510 - message - int(BootSector::NotSystemDisk.size()), '\0') +
                      "\x55\xAA");
    }
    // The volume's serial number and label are the disk's own.
    QByteArray old = FormattedSector(FloppyType::Mb144);
    old.replace(39, 15, "\x01\x02\x03\x04MY DISK    ");
    const QByteArray clean =
        BootSector::CleanSector(BootSector::StandardBpb(FloppyType::Mb144), old);
    EXPECT_EQ(clean.mid(39, 15), old.mid(39, 15));
}

TEST(BootSectors, DamagedBlocksAreToldApart) {
    struct Row {
        std::function<void(Bpb&)> damage;
        QString problem;
    };
    const QList<Row> rows = {
        {[](Bpb& b) { b.bytesPerSector = 1024; }, "1024 bytes per sector, not 512"},
        {[](Bpb& b) { b.sectorsPerCluster = 3; }, "3 sectors per cluster"},
        {[](Bpb& b) { b.sectorsPerCluster = 0; }, "0 sectors per cluster"},
        {[](Bpb& b) { b.reservedSectors = 0; }, "no reserved sector"},
        {[](Bpb& b) { b.fats = 0; }, "0 file allocation tables"},
        {[](Bpb& b) { b.rootEntries = 100; }, "100 root folder entries"},
        {[](Bpb& b) { b.media = 0x12; }, "media descriptor 12h"},
        {[](Bpb& b) { b.sectorsPerFat = 0; }, "no sectors per file allocation table"},
        {[](Bpb& b) { b.sectorsPerTrack = 0; }, "0 sectors per track"},
        {[](Bpb& b) { b.heads = 0; }, "0 heads"},
        {[](Bpb& b) { b.totalSectors = 10; }, "no room for data"},
        {[](Bpb& b) { b.totalSectors = 11520; }, "more than a floppy disk holds"},
        {[](Bpb& b) { b.totalSectors = 5760; }, "more than the disk's 2880"},
    };
    for (const Row& row : rows) {
        Bpb bpb = BootSector::StandardBpb(FloppyType::Mb144);
        row.damage(bpb);
        const QStringList problems =
            BootSector::Check(BootSector::CleanSector(bpb, {}), 1474560).bpbProblems;
        ASSERT_EQ(problems.size(), 1)
            << row.problem.toStdString() << ": " << problems.join("; ").toStdString();
        EXPECT_TRUE(problems.first().contains(row.problem)) << problems.first().toStdString();
    }
    const BootSector::Sanity zeros = BootSector::Check(QByteArray(512, '\0'), 1474560);
    EXPECT_FALSE(zeros.jump);
    EXPECT_FALSE(zeros.mark);
    EXPECT_FALSE(zeros.bpbProblems.isEmpty());
}

class ToolkitCleaner : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        toolkit = temp.path() + "/toolkit/";
        QDir().mkpath(toolkit + "Signatures");
        ASSERT_TRUE(QFile::copy(InstallLayout::ToolkitFolder(bin) + "CleanBoo.exe",
                                toolkit + "CleanBoo.exe"));
        WriteTestFile(toolkit + "Signatures/test.ndb", "Test.Boot:0:*:" + Marker.toHex() + "\n");
    }

    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // An image of `bytes` bytes on drive A: whose first sector is `boot`; the rest is a pattern
    // that cleaning must leave alone, with the two FATs of `formatted` where that type has them.
    QString image(const QByteArray& boot, qint64 bytes, const QString& name = "floppy.img",
                  std::optional<FloppyType> formatted = std::nullopt) {
        QByteArray content = boot.left(int(bytes));
        for (qint64 i = content.size(); i < bytes; ++i)
            content += char('a' + i % 23);
        if (formatted) {
            const Bpb bpb = BootSector::StandardBpb(*formatted);
            QByteArray fat(bpb.sectorsPerFat * 512, '\0');
            fat[0] = char(bpb.media);
            fat.replace(1, 4, QByteArray("\xFF\xFF\x03\x40", 4));
            for (int first : {1, 1 + bpb.sectorsPerFat})
                content.replace(first * 512, fat.size(), fat);
        }
        return put(name, content);
    }
    QString put(const QString& name, const QByteArray& content) {
        const QString path = prefix.path("disks/" + name);
        WriteTestFile(path, content);
        prefix.mapDrive('a', path);
        return path;
    }
    static QByteArray md5(const QString& path) {
        return QCryptographicHash::hash(read(path), QCryptographicHash::Md5);
    }

    int run(const QStringList& args, const QByteArray& answers = {}) {
        const HeadlessRun done =
            RunHeadless(toolkit + "CleanBoo.exe", args, prefix.folder(),
                        {"AVTK_CLAMAV_DATABASE=" + temp.path() + "/no-system-database"}, answers);
        output = done.output;
        return done.exitCode;
    }
    QString report() const { return QString::fromUtf8(read(prefix.path("CleanBoo.Rep"))); }

    QTemporaryDir temp;
    TempPrefix prefix;
    QString toolkit, output;
};

TEST_F(ToolkitCleaner, CleansEachTypeKeepingItsBlockAndItsData) {
    for (FloppyType type : AllTypes) {
        const QString name = BootSector::TypeName(type);
        SCOPED_TRACE(name.toStdString());
        const qint64 bytes = BootSector::StandardBpb(type).bytes();
        const QByteArray infected = FormattedSector(type, "virus " + Marker);
        const QString path = image(infected, bytes, QString("type%1.img").arg(int(type)));
        const QByteArray before = read(path);
        EXPECT_EQ(run({"a:", "/A"}, "y\n"), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("A: boot sector  Infected: Test.Boot")) << output.toStdString();
        EXPECT_TRUE(output.contains("keeps the disk's own parameter block"));
        const QByteArray after = read(path);
        ASSERT_EQ(after.size(), bytes);
        EXPECT_EQ(after.left(512),
                  BootSector::CleanSector(BootSector::ReadBpb(infected), infected));
        EXPECT_FALSE(after.contains(Marker));
        EXPECT_EQ(after.mid(512), before.mid(512));
        EXPECT_EQ(read(path + ".boot.sav"), infected);
        EXPECT_TRUE(report().contains("saved in " + path + ".boot.sav")) << report().toStdString();
        EXPECT_TRUE(report().contains("written and read back"));
        // The cleaned disk is sound and clean: nothing more to do unless asked.
        EXPECT_EQ(run({"a:", "/" + QString::number(int(type) + 1)}, "n\n"), 0);
        EXPECT_TRUE(output.contains("no known virus")) << output.toStdString();
        EXPECT_TRUE(output.contains("BIOS parameter block: sound."));
        EXPECT_EQ(read(path), after);
    }
}

TEST_F(ToolkitCleaner, DamagedBlockGetsTheStandardOneOfTheType) {
    struct Row {
        QStringList args;
        QByteArray answers;
        FloppyType formatted; // the image's size and FATs, and the standard block when written
        bool written;
        int exitCode;
        QString said;
    };
    const QList<Row> rows = {
        {{"a:", "/A"}, "y\n", FloppyType::Mb144, true, 0, "show a 3.5\" 1.44 MB disk"},
        {{"b:", "/3"}, "y\n", FloppyType::Kb720, true, 0, "show a 3.5\" 720 KB disk"},
        // The size contradicts the switch: asked, and a no writes nothing; a yes writes the
        // block of the disk's own type, never the switch's.
        {{"a:", "/3"}, "n\n", FloppyType::Mb144, false, 1, "which is not a 3.5\" 720 KB disk"},
        {{"a:", "/3"}, "y\ny\n", FloppyType::Mb144, true, 0, "as the disk it is"},
        // No answer at all (standard input closed) is a no.
        {{"a:", "/A"}, "", FloppyType::Mb144, false, 1, "left as it was"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString() + " " + row.answers.toStdString());
        QByteArray damaged(512, '\0');
        damaged.replace(100, 10, "not a disk");
        const QString path = image(damaged, BootSector::StandardBpb(row.formatted).bytes(),
                                   "floppy.img", row.formatted);
        prefix.mapDrive(row.args.first()[0], path);
        QFile::remove(path + ".boot.sav");
        const QByteArray before = read(path);
        EXPECT_EQ(run(row.args, row.answers), row.exitCode) << output.toStdString();
        EXPECT_TRUE(output.contains("BIOS parameter block: damaged")) << output.toStdString();
        EXPECT_TRUE(output.contains("Jump instruction: missing."));
        EXPECT_TRUE(output.contains("Boot-sector mark 55 AA: missing."));
        EXPECT_TRUE(output.contains(row.said)) << output.toStdString();
        const QByteArray after = read(path);
        EXPECT_EQ(after.mid(512), before.mid(512));
        if (row.written) {
            EXPECT_EQ(after.left(512),
                      BootSector::CleanSector(BootSector::StandardBpb(row.formatted), damaged));
            EXPECT_EQ(read(path + ".boot.sav"), damaged);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_FALSE(QFile::exists(path + ".boot.sav"));
        }
    }
}

TEST_F(ToolkitCleaner, RefusesWhatIsNoFatFloppyAndWritesNothing) {
    const QByteArray floppy = FormattedSector(FloppyType::Mb144, Marker);
    // Disks of other kinds, of a floppy's size, each with its format's mark where that
    // format keeps it (the first sector otherwise empty, as their formatting leaves it).
    const auto disk = [](std::initializer_list<std::pair<int, QByteArray>> marks) {
        QByteArray bytes(1474560, '\0');
        for (const auto& [at, mark] : marks)
            bytes.replace(at, mark.size(), mark);
        return bytes;
    };
    QByteArray random(1474560, '\0');
    std::mt19937 bits(24);
    for (char& byte : random)
        byte = char(bits());
    QByteArray fixedDisk = floppy + QByteArray(1474560 - 512, '\0');
    fixedDisk[21] = char(0xF8);
    const QByteArray otherSize =
        FormattedSector(FloppyType::Kb720) + QByteArray(1474560 - 512, '\0');
    struct Row {
        QString name; // of the target under disks/; a folder when it ends in "/"
        QByteArray content;
        QString said;
    };
    const QList<Row> rows = {
        {"folder/", {}, "stands for the folder"},
        {"short.img", floppy.left(100), "shorter than one sector (100 bytes)"},
        {"empty.img", {}, "shorter than one sector (0 bytes)"},
        {"harddisk.img", floppy + QByteArray(10 * 1024 * 1024, 'x'),
         "more than the largest floppy disk"},
        {"notes.txt", floppy + QByteArray(5000, 'x'), "neither a disk image"},
        {"ext2.img", disk({{1080, "\x53\xEF"}}), "holds an ext2/ext3/ext4 file system"},
        {"cd.img",
         disk({{32768, "\x01"
                       "CD001\x01"}}),
         "holds an ISO 9660 CD-ROM file system"},
        {"ntfs.img", disk({{0, "\xEB\x52\x90NTFS    "}, {510, "\x55\xAA"}}),
         "holds an NTFS file system"},
        // A partition sector: code, one FAT12 partition from sector 63, the mark.
        {"parted.img",
         disk({{0, "\xFA\x33\xC0"},
               {446, QByteArray::fromHex("800101000102ffff3f000000c1050000")},
               {510, "\x55\xAA"}}),
         "holds a partitioned disk (a partition table in its first sector)"},
        {"random.img", random, "holds no FAT floppy's boot sector"},
        // Damaged, with nothing else on the disk to show that it is a floppy.
        {"blank.img", disk({{100, "not a disk"}}), "holds no FAT floppy's boot sector"},
        {"fixed.img", fixedDisk, "a fixed disk (media descriptor F8h)"},
        {"other.img", otherSize, "a FAT boot sector of 1440 sectors on a disk of 1474560 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        QString path = prefix.path("disks/" + row.name);
        if (row.name.endsWith('/')) {
            QDir().mkpath(path);
            prefix.mapDrive('a', path);
        } else {
            path = put(row.name, row.content);
        }
        const QByteArray before = md5(path);
        EXPECT_EQ(run({"a:", "/A"}, "y\ny\n"), 8) << output.toStdString();
        EXPECT_TRUE(output.contains(row.said)) << output.toStdString();
        EXPECT_TRUE(report().contains(row.said));
        EXPECT_EQ(md5(path), before);
        EXPECT_FALSE(QFileInfo::exists(QDir::cleanPath(path) + ".boot.sav"));
    }
    EXPECT_EQ(run({"c:", "/A"}), 8);
    EXPECT_TRUE(output.contains("Give the floppy drive first")) << output.toStdString();
    EXPECT_EQ(run({"a:", "/1", "/2"}), 8);
    EXPECT_TRUE(output.contains("Give one disk type")) << output.toStdString();
    QFile::remove(prefix.path("dosdevices/a:"));
    EXPECT_EQ(run({"a:", "/A"}), 8);
    EXPECT_TRUE(output.contains("Drive A: is not ready")) << output.toStdString();
}

TEST_F(ToolkitCleaner, ReadOnlyImageIsScannedButNotWritten) {
    const QString path = image(FormattedSector(FloppyType::Kb720, Marker), 737280);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray before = read(path);
    EXPECT_EQ(run({"a:", "/A"}, "y\n"), 2) << output.toStdString();
    EXPECT_TRUE(output.contains("Infected: Test.Boot"));
    EXPECT_TRUE(output.contains(path + " is read-only; nothing was written."))
        << output.toStdString();
    EXPECT_EQ(read(path), before);
    EXPECT_FALSE(QFile::exists(path + ".boot.sav"));
}

TEST_F(ToolkitCleaner, AnEarlierSavedSectorIsNeverOverwritten) {
    const QByteArray first = FormattedSector(FloppyType::Mb144, "first " + Marker);
    const QString path = image(first, 1474560);
    ASSERT_EQ(run({"a:", "/4"}, "y\n"), 0) << output.toStdString();
    const QByteArray cleaned = read(path).left(512);
    // Cleaned once, then written again on request: the first state stays in the first file.
    EXPECT_EQ(run({"a:", "/4"}, "yes\n"), 0) << output.toStdString();
    EXPECT_EQ(read(path + ".boot.sav"), first);
    EXPECT_EQ(read(path + ".boot.2.sav"), cleaned);
    EXPECT_EQ(read(path).left(512), cleaned);
}

} // namespace
