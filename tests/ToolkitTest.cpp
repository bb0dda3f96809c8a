#include "engine/Engine.h"
#include "engine/FileKinds.h"
#include "engine/MappedFile.h"
#include "engine/Sectors.h"
#include "engine/Signatures.h"
#include "engine/Walk.h"
#include "lib/Des.h"
#include "lib/DriveMap.h"
#include "lib/Fingerprint.h"
#include "lib/Switches.h"
#include "platform/InstallLayout.h"
#include "support/TempPrefix.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

const QList<SwitchSpec> Specs = {{"AD"}, {"D", SwitchSpec::Value}, {"X", SwitchSpec::Value, true}};

TEST(ToolkitSwitches, AcceptOnlyTheirOwnCommandLines) {
    struct Row {
        QStringList args;
        int positionals;
        QString error; // part of the first error, empty when the line is accepted
        QString d, x;
    };
    const QList<Row> rows = {
        {{"/ad", "/d=c:;t:"}, 0, {}, "c:;t:", {}},
        {{"/AD", "/BOGUS"}, 0, "Unknown switch \"/BOGUS\"", {}, {}},
        {{"/AD=1"}, 0, "takes no value", {}, {}},
        {{"/D"}, 0, "needs a value", {}, {}},
        {{"/D="}, 0, {}, "", {}},
        {{"stray"}, 0, "Unexpected argument \"stray\"", {}, {}},
        {{"a:", "/AD"}, 1, {}, {}, {}},
        {{"a:", "b:"}, 1, "Unexpected argument \"b:\"", {}, {}},
        // A keyword with blanks arrives in pieces; they belong to it again, up to the next switch.
        {{"/X=two", "words", "/D=t:"}, 0, {}, "t:", "two words"},
    };
    for (const Row& row : rows) {
        const CommandLine line = CommandLine::Parse(row.args, Specs, row.positionals);
        SCOPED_TRACE(row.args.join(' ').toStdString());
        if (row.error.isEmpty()) {
            EXPECT_TRUE(line.ok()) << line.errors().join(' ').toStdString();
            EXPECT_EQ(line.value("D"), row.d);
            EXPECT_EQ(line.value("x"), row.x);
        } else {
            ASSERT_FALSE(line.ok());
            EXPECT_TRUE(line.errors().first().contains(row.error))
                << line.errors().first().toStdString();
        }
    }
}

TEST(ToolkitEngine, DriverFormatIsKnownByTheShapeOfItsLines) {
    const QByteArray md5(32, 'a'), sha1(40, 'b'), sha256(64, 'c');
    struct Row {
        QByteArray text;
        QString format; // empty: refused, with `reason` in the sentence
        QString reason;
    };
    const QList<Row> rows = {
        {"Name:0:*:41424344\n", "ndb", {}},
        {"# comment\n; another\n\nName:1:EOF-10:4142??44(45|46)\nOther:0:0:41424344:51\n",
         "ndb",
         {}},
        {md5 + ":68:Hashed\r\n", "hdb", {}},
        {sha1 + ":*:Hashed\n" + sha256 + ":12:Other:73\n", "hdb", {}},
        {"Name:0:*:41424344\n" + md5 + ":1:Hashed\n", {}, "line 2 is an .hdb signature among .ndb"},
        {"Name = \"text\"\n", {}, "line 1 is neither"},
        {md5.left(31) + ":1:Short\n", {}, "line 1 is neither"},
        {"Name:0:*:not hex\n", {}, "line 1 is neither"},
        {"# only comments\n", {}, "holds no signatures"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        QString reason;
        const std::optional<QString> format = avtk::DriverFormat(row.text, reason);
        if (row.format.isEmpty()) {
            EXPECT_FALSE(format);
            EXPECT_TRUE(reason.contains(row.reason)) << reason.toStdString();
        } else {
            ASSERT_TRUE(format) << reason.toStdString();
            EXPECT_EQ(*format, row.format);
        }
    }
    EXPECT_EQ(avtk::DriverSignatures("# c\n A:0:*:41 \r\n;x\n\nB:0:*:42\n"),
              "A:0:*:41\nB:0:*:42\n");
}

// Read back as the help tells it: %XX is the byte XX, anything else is itself in UTF-8.
QByteArray ReadBack(const QString& shown) {
    QByteArray bytes;
    const QByteArray text = shown.toUtf8();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes += QByteArray::fromHex(text.mid(i + 1, 2));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

TEST(ToolkitEngine, NamesStayOnOneLineAndReadBackToTheirBytes) {
    const QList<std::pair<QByteArray, QString>> rows = {
        {"plain.com", "plain.com"},
        {"caf\xc3\xa9.doc", QString::fromUtf8("caf\xc3\xa9.doc")},
        {"two\nlines", "two%0Alines"},
        {"tab\there", "tab%09here"},
        {"latin1 \xe9t\xe9", "latin1 %E9t%E9"},
        {"overlong \xc0\xaf", "overlong %C0%AF"},
        {"surrogate \xed\xa0\x80", "surrogate %ED%A0%80"},
        {"cut \xe2\x82", "cut %E2%82"},
        {"emoji \xf0\x9f\x98\x80", QString::fromUtf8("emoji \xf0\x9f\x98\x80")},
        // A backslash is the report's folder separator, so one in a name is escaped; so is the
        // escape's own sign, and a text that looks like an escape is not one.
        {"a\\b.com", "a%5Cb.com"},
        {"\\xFF.com", "%5CxFF.com"},
        {"\xff.com", "%FF.com"},
        {"%FF.com", "%25FF.com"},
        {"a > b.zip", "a %3E b.zip"},
        // C1 controls (a next-line among them) and the line separator end no line either.
        {"next\xc2\x85line", "next%C2%85line"},
        {"sep\xe2\x80\xa8"
         "arated",
         "sep%E2%80%A8arated"},
        {"no-break\xc2\xa0space", QString::fromUtf8("no-break\xc2\xa0space")},
    };
    for (const auto& [bytes, shown] : rows) {
        SCOPED_TRACE(bytes.toStdString());
        EXPECT_EQ(avtk::ShownName(bytes.toStdString()), shown);
        EXPECT_EQ(ReadBack(shown), bytes);
    }
}

TEST(ToolkitEngine, ProgramFilesAreKnownByContentOrExtension) {
    const std::string zipHead = std::string("PK\x03\x04", 4) + std::string(26, '\0');
    struct Row {
        std::string name, head;
        bool program, archive;
    };
    const QList<Row> rows = {
        {"tool",
         "\x7f"
         "ELF\x02\x01",
         true, false},
        {"setup.bin", "MZ\x90", true, false},
        {"run", "#!/bin/sh\n", true, false},
        {"letter", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", true, false},
        {"report.x", zipHead + "[Content_Types].xml", true, true},
        {"data.x", zipHead + "word/document.xml..", false, true},
        {"GAME.EXE", "", true, false},
        {"macro.Docm", "", true, false},
        {"notes.txt", "plain text", false, false},
        {"dir.com/file", "text", false, false},
        {"a.tar.gz", "\x1f\x8b", false, true},
        {"x", "Rar!\x1a\x07", false, true},
        {"noext", "", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(avtk::IsProgramFile(row.name, row.head), row.program);
        EXPECT_EQ(avtk::IsArchive(row.name, row.head), row.archive);
    }
}

TEST(ToolkitEngine, PartitionSectorsAreToldFromBootSectors) {
    QByteArray mbr(avtk::SectorSize, '\0');
    mbr[510] = char(0x55);
    mbr[511] = char(0xAA);
    QByteArray table = mbr;
    table[446 + 4] = char(0x83);
    table[446 + 8] = char(63);
    table[446 + 12] = char(100);
    QByteArray floppy = table;
    floppy[0] = char(0xEB);
    floppy[2] = char(0x90);
    QByteArray badStatus = table;
    badStatus[446] = char(0x12);
    QByteArray noStart = table;
    noStart[446 + 8] = 0;
    EXPECT_TRUE(avtk::IsPartitionSector(table));
    for (const QByteArray& sector : {mbr, floppy, badStatus, noStart, table.left(511)})
        EXPECT_FALSE(avtk::IsPartitionSector(sector));

    TempPrefix prefix;
    QByteArray image = table + QByteArray(62 * 512, '\0') + QByteArray(512, 'B');
    prefix.writeFile("disk.img", image);
    QString error;
    auto sectors = avtk::ReadSectors(prefix.path("disk.img").toStdString(), error);
    ASSERT_TRUE(sectors) << error.toStdString();
    EXPECT_EQ(sectors->partition, table);
    EXPECT_EQ(sectors->boot, QByteArray(512, 'B')); // the first partition's
    // Its partition lies beyond the end of the image: the partition sector alone.
    prefix.writeFile("short.img", table);
    sectors = avtk::ReadSectors(prefix.path("short.img").toStdString(), error);
    ASSERT_TRUE(sectors);
    EXPECT_FALSE(sectors->boot);
    EXPECT_EQ(sectors->bootNote,
              "the first partition's boot sector could not be read: shorter than one sector");
    prefix.writeFile("tiny.img", "abc");
    EXPECT_FALSE(avtk::ReadSectors(prefix.path("tiny.img").toStdString(), error));
    EXPECT_EQ(error, "shorter than one sector");
    EXPECT_FALSE(avtk::ReadSectors(prefix.folder().toStdString(), error));
}

TEST(ToolkitEngine, AFileThatFailsToLoadAddsNothingAndEachFileIsReadOnce) {
    TempPrefix prefix;
    const QByteArray mark = "HALF-LOADED-MARK";
    prefix.writeFile("good.ndb", "Good:0:*:" + QByteArray("GOOD-MARK").toHex() + "\n");
    prefix.writeFile("half.ndb", "Half:0:*:" + mark.toHex() + "\nbroken line\n");
    prefix.writeFile("late.ndb", "Late:0:*:" + QByteArray("LATE-MARK").toHex() + "\n");
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    inotify_add_watch(watch, QFile::encodeName(prefix.folder()).constData(), IN_OPEN);
    auto opens = [&] {
        std::map<std::string, int> count;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                ++count[event->name];
                at += sizeof(inotify_event) + event->len;
            }
        return count;
    };

    avtk::Engine engine;
    EXPECT_EQ(engine.load(prefix.path("good.ndb").toStdString()), "");
    EXPECT_EQ(engine.load(prefix.path("late.ndb").toStdString()), "");
    EXPECT_EQ(engine.signatures(), 2u);
    EXPECT_EQ(opens(), (std::map<std::string, int>{{"good.ndb", 1}, {"late.ndb", 1}}));
    EXPECT_EQ(engine.load(prefix.path("half.ndb").toStdString()), "Malformed database");
    EXPECT_EQ(engine.signatures(), 2u);
    ::close(watch);
    ASSERT_EQ(engine.compile(), "");

    const avtk::ScanOptions options;
    const std::pair<QByteArray, QString> rows[] = {
        {"x HALF-LOADED-MARK x", ""}, {"x GOOD-MARK x", "Good"}, {"x LATE-MARK x", "Late"}};
    for (const auto& [text, virus] : rows) {
        const avtk::ScanResult result =
            engine.scan(text.constData(), size_t(text.size()), "t", options);
        EXPECT_EQ(result.finding.virus, virus) << text.constData(); // without ".UNOFFICIAL"
        EXPECT_EQ(result.kind,
                  virus.isEmpty() ? avtk::ScanResult::Clean : avtk::ScanResult::Infected);
    }
    EXPECT_NE(engine.load(prefix.path("good.ndb").toStdString()), ""); // compiled: no more
}

TEST(ToolkitEngine, LargeFilesAreMappedAndACutShortMappingReadsAsZeros) {
    TempPrefix prefix;
    prefix.writeFile("s.ndb", "Tail:0:*:" + QByteArray("TAIL-MARK").toHex() + "\n");
    avtk::Engine engine;
    ASSERT_EQ(engine.load(prefix.path("s.ndb").toStdString()), "");
    ASSERT_EQ(engine.compile(), "");
    const size_t size = size_t(avtk::Engine::ReadWholeLimit) + 4 * 1024 * 1024;
    QByteArray bytes(qsizetype(size), 'a');
    bytes.replace(bytes.size() - 20, 9, "TAIL-MARK");
    prefix.writeFile("large.bin", bytes);
    const QByteArray path = QFile::encodeName(prefix.path("large.bin"));
    const int fd = ::open(path.constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(engine.scan(fd, "large.bin", {}).finding.virus, "Tail");

    {
        const avtk::MappedFile mapped(fd, size);
        ASSERT_TRUE(mapped.valid());
        ASSERT_EQ(::truncate(path.constData(), 1024 * 1024), 0);
        EXPECT_EQ(mapped.data()[1024 * 1024 - 1], 'a');
        EXPECT_EQ(mapped.data()[size - 20], '\0'); // past the new end: zeros, not SIGBUS
        EXPECT_GT(mapped.lostPages(), 0u);
    }
    ::close(fd);
}

TEST(ToolkitFingerprints, AlgorithmsGiveTheirStandardValues) {
    EXPECT_EQ(Fingerprint::Crc16Ccitt("123456789"), 0x29B1); // CRC-16/CCITT check value
    // The DES test vectors of the standard's literature.
    EXPECT_EQ(Des(0x133457799BBCDFF1ULL).encrypt(0x0123456789ABCDEFULL), 0x85E813540F0AB405ULL);
    EXPECT_EQ(Des(0x0123456789ABCDEFULL).encrypt(0x4E6F772069732074ULL), 0x3FA40E8A984D4815ULL);
    EXPECT_EQ(Des(0x0E329232EA6D0D73ULL).encrypt(0x8787878787878787ULL), 0ULL);
}

TEST(ToolkitFingerprints, ChunksAndStridesDoNotChangeTheResult) {
    QByteArray content;
    for (int i = 0; i < 5000; ++i)
        content += char(i * 7);
    using A = Fingerprint::Algorithm;
    for (A algorithm : {A::Sizes, A::Checksum, A::Crc, A::Des})
        for (int stride : {1, 5}) {
            Fingerprint::Hasher whole(algorithm, 42, stride), pieces(algorithm, 42, stride);
            whole.add(content);
            for (qsizetype at = 0; at < content.size(); at += 333)
                pieces.add(content.mid(at, 333));
            EXPECT_EQ(whole.result(), pieces.result()) << int(algorithm) << " " << stride;
        }
    // Turbo mode reads every fifth byte: a change elsewhere goes unseen, one on the stride not.
    auto crc = [](const QByteArray& bytes, int stride) {
        Fingerprint::Hasher h(A::Crc, 0, stride);
        h.add(bytes);
        return h.result();
    };
    QByteArray offStride = content, onStride = content;
    offStride[1] = 'x';
    onStride[5] = 'x';
    EXPECT_EQ(crc(offStride, 5), crc(content, 5));
    EXPECT_NE(crc(onStride, 5), crc(content, 5));
    EXPECT_EQ(int(Fingerprint::Crc16Ccitt(content)), crc(content, 1).toInt(nullptr, 16));
}

TEST(ToolkitFingerprints, TheSealGuardsTheFile) {
    Fingerprint::File file;
    file.drives = "T:";
    file.entries.insert("T:\\a b\tc.txt", {3, "ABCD"});
    const QByteArray sealed = Fingerprint::Write(file, "my keyword");
    QString error;
    const auto back = Fingerprint::Read(sealed, "my keyword", error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_TRUE(back->sealed);
    EXPECT_EQ(back->entries.value("T:\\a b\tc.txt").value, "ABCD");
    // Altered with a fresh checksum, as someone would who knows the format: only the seal tells.
    QByteArray tampered = sealed.left(sealed.indexOf("Checksum="));
    tampered.replace("ABCD", "ABCE");
    tampered +=
        "Checksum=" + QCryptographicHash::hash(tampered, QCryptographicHash::Sha256).toHex() + "\n";
    QByteArray damaged = sealed;
    damaged.replace("ABCD", "ABCE");
    const QList<std::tuple<QByteArray, QString, bool>> refused = {
        {sealed, "wrong keyword", false},
        {sealed, "", false},
        {tampered, "my keyword", false},
        {damaged, "my keyword", true},
        {sealed + "File=T:\\x\t1\t00\n", "my keyword", true},
        {"garbage", "my keyword", true}};
    for (const auto& [bytes, keyword, ownBytes] : refused) {
        error.clear();
        bool isDamaged = !ownBytes;
        EXPECT_FALSE(Fingerprint::Read(bytes, keyword, error, &isDamaged)) << keyword.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(isDamaged, ownBytes) << error.toStdString();
    }
}

TEST(ToolkitDrives, WalkStaysOnTheDriveAndFollowsNoLinks) {
    TempPrefix prefix;
    prefix.writeFile("drive/b.com", "b");
    prefix.writeFile("drive/a/inner.exe", "a");
    prefix.writeFile("outside/secret.exe", "s");
    QFile::link(prefix.path("outside"), prefix.path("drive/link"));
    QFile::link(prefix.path("outside/secret.exe"), prefix.path("drive/file-link.exe"));
    prefix.mapDrive('t', prefix.path("drive"));
    QStringList errors;
    const auto drives = DriveMap::Select(prefix.folder(), false, false, "t:;T:;q:;7", errors);
    ASSERT_EQ(drives.size(), 1); // t once; q is not mapped, 7 is no drive
    EXPECT_EQ(errors.size(), 2);
    QStringList seen;
    const auto summary = DriveMap::Walk(drives[0], {}, [&](const DriveMap::WalkedFile& f) {
        seen << f.drivePath;
        return true;
    });
    EXPECT_EQ(seen, QStringList({"T:\\a\\inner.exe", "T:\\b.com"}));
    EXPECT_EQ(summary.files, 2);
    // A cap on the files ends the walk and says so.
    EXPECT_TRUE(DriveMap::Walk(drives[0], {32, 1}, [](const auto&) { return true; }).capped);
}

// The checker, cleaner and scheduler, started as Vallorin starts them: in the prefix, without a
// display.
class ToolkitProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        toolkit = InstallLayout::ToolkitFolder(bin);
        ASSERT_EQ(QProcess::execute(bin + "/vallorin-sample-tree", {prefix.path("sample")}), 0);
        prefix.mapDrive('t', prefix.path("sample"));
    }
    int run(const QString& program, const QStringList& args) {
        QProcess process;
        process.setWorkingDirectory(prefix.folder());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(toolkit + program, args);
        EXPECT_TRUE(process.waitForFinished(20000));
        output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitCode();
    }
    QString read(const QString& name) const {
        QFile file(prefix.path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    bool exists(const QString& name) const { return QFile::exists(prefix.path(name)); }

    TempPrefix prefix;
    QString toolkit;
    QString output;
};

TEST_F(ToolkitProgram, ViVerifyReportsNewChangedAndMissingFiles) {
    QDir().mkpath(prefix.path("Prints"));
    const QString base = "/FF=" + prefix.path("Prints/Sample drive");
    const QStringList common = {
        "/D=T:", "/X=two", "words", base, "/CRC", "/N=", "/REPORT=Verify.Rep"};
    EXPECT_EQ(run("WViVer32.exe", QStringList{"/CREATE"} + common), 0) << output.toStdString();
    ASSERT_TRUE(exists("Prints/Sample drive.vvf"));
    EXPECT_EQ(run("WViVer32.exe", common), 0) << output.toStdString();
    EXPECT_TRUE(read("Verify.Rep").contains("changed: 0, new: 0, missing: 0"));

    prefix.writeFile("sample/readme.txt", "edited");
    prefix.writeFile("sample/new.txt", "new");
    QFile::remove(prefix.path("sample/tools/ret.com"));
    EXPECT_EQ(run("WViVer32.exe", common), 1);
    const QString report = read("Verify.Rep");
    for (const char* line :
         {"Changed: T:\\readme.txt", "New: T:\\new.txt", "Missing: T:\\tools\\ret.com"})
        EXPECT_TRUE(report.contains(line)) << line << "\n" << report.toStdString();
    EXPECT_FALSE(report.contains("two words")); // the keyword is not written down

    QStringList wrong = common;
    wrong[2] = "word";
    EXPECT_EQ(run("WViVer32.exe", wrong), 2);
    EXPECT_TRUE(read("Verify.Rep").contains("keyword does not match"));
    EXPECT_EQ(run("WViVer32.exe", common + QStringList{"/SIZES"}), 8);
    EXPECT_TRUE(read("Verify.Rep").contains("only one of"));
}

TEST_F(ToolkitProgram, CleanerAndSchedulerRefuseWhatTheyDoNotKnow) {
    // No disk or image on A:: refused, nothing written (cleaning itself: ToolkitCleanerTest).
    EXPECT_EQ(run("CleanBoo.exe", {"a:", "/4"}), 8);
    EXPECT_TRUE(output.contains("Drive A: is not ready")) << output.toStdString();
    EXPECT_EQ(run("CleanBoo.exe", {"c:", "/A"}), 8);
    EXPECT_EQ(run("CleanBoo.exe", {"b:", "/9"}), 8);
    // Without a display and without switches the scheduler lists its tasks.
    EXPECT_EQ(run("TK_Sched.exe", {}), 0);
    EXPECT_TRUE(output.contains("No tasks are scheduled.")) << output.toStdString();
    EXPECT_EQ(run("TK_Sched.exe", {"/X"}), 8);
}

} // namespace
