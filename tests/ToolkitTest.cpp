#include "lib/Des.h"
#include "lib/DriveMap.h"
#include "lib/Fingerprint.h"
#include "lib/Signatures.h"
#include "lib/Switches.h"
#include "lib/Zip.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QList<SwitchSpec> Specs = {{"AD"}, {"D", SwitchSpec::Value}, {"X", SwitchSpec::Value, true}};

TEST(StandinSwitches, AcceptOnlyTheirOwnCommandLines) {
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

TEST(StandinSignatures, RecogniseTheTestFileAsItsDefinitionSays) {
    const QByteArray eicar = Signatures::EicarTestString();
    ASSERT_EQ(eicar.size(), 68);
    const QList<Signatures::Signature> extra = {{"Extra", "MARK"}};
    const QList<std::pair<QByteArray, QString>> rows = {
        {eicar, Signatures::EicarName},
        {eicar + "\r\n \t\x1a", Signatures::EicarName},
        {eicar + "x", {}},                 // something else follows
        {eicar + QByteArray(61, ' '), {}}, // longer than 128 bytes
        {"MZ" + eicar, {}},                // not at the start
        {eicar.left(67), {}},              // cut short
        {"data MARK data", "Extra"},       // an extra signature anywhere
        {"nothing here", {}},
    };
    for (const auto& [content, name] : rows)
        EXPECT_EQ(Signatures::Detect(content, extra), name) << content.toStdString();
}

TEST(StandinSignatures, ReadExtraDriversAndChecklists) {
    QStringList errors;
    const auto signatures = Signatures::ParseDriver(
        "; comment\nHex = 41 42 43 44\nText = \"abcd\"\nShort = 41\nbad\n", errors);
    ASSERT_EQ(signatures.size(), 2);
    EXPECT_EQ(signatures[0].bytes, "ABCD");
    EXPECT_EQ(signatures[1].bytes, "abcd");
    EXPECT_EQ(errors.size(), 2); // the short signature and the line without "="
    const auto patterns = Signatures::ParseChecklist("*.doc\n; not this\n\nREPORT?.TXT\n");
    ASSERT_EQ(patterns.size(), 2);
    EXPECT_TRUE(patterns[0].match("Letter.DOC").hasMatch());
    EXPECT_TRUE(patterns[1].match("report1.txt").hasMatch());
    EXPECT_FALSE(patterns[1].match("report12.txt").hasMatch());
}

TEST(StandinZip, ReadStoredAndDeflatedMembersAndRefuseDamage) {
    const QByteArray big(300000, 'a');
    const QByteArray zip = Zip::Write({{"one.txt", "first", false}, {"dir/two.com", big, true}});
    ASSERT_TRUE(Zip::LooksLikeZip(zip));
    const Zip::Archive archive = Zip::Read(zip, 1 << 20);
    ASSERT_TRUE(archive.problem.isEmpty());
    ASSERT_EQ(archive.members.size(), 2);
    EXPECT_EQ(archive.members[0].data, "first");
    EXPECT_EQ(archive.members[1].name, "dir/two.com");
    EXPECT_EQ(archive.members[1].data, big);
    // A member that inflates beyond the cap is refused, not inflated.
    EXPECT_FALSE(Zip::Read(zip, 1000).members[1].problem.isEmpty());
    // A flipped byte in the stored data fails the CRC.
    QByteArray damaged = zip;
    damaged[damaged.indexOf("first")] = 'F';
    EXPECT_EQ(Zip::Read(damaged, 1 << 20).members[0].problem, "CRC mismatch");
    // Cut off before its directory, it is no archive at all.
    EXPECT_FALSE(Zip::Read(zip.left(zip.size() / 2), 1 << 20).problem.isEmpty());
    EXPECT_FALSE(Zip::Read("PK\x03\x04 not really", 1 << 20).problem.isEmpty());
}

TEST(StandinFingerprints, AlgorithmsGiveTheirStandardValues) {
    EXPECT_EQ(Fingerprint::Crc16Ccitt("123456789"), 0x29B1); // CRC-16/CCITT check value
    // The DES test vectors of the standard's literature.
    EXPECT_EQ(Des(0x133457799BBCDFF1ULL).encrypt(0x0123456789ABCDEFULL), 0x85E813540F0AB405ULL);
    EXPECT_EQ(Des(0x0123456789ABCDEFULL).encrypt(0x4E6F772069732074ULL), 0x3FA40E8A984D4815ULL);
    EXPECT_EQ(Des(0x0E329232EA6D0D73ULL).encrypt(0x8787878787878787ULL), 0ULL);
}

TEST(StandinFingerprints, ChunksAndStridesDoNotChangeTheResult) {
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

TEST(StandinFingerprints, TheSealGuardsTheFile) {
    Fingerprint::File file;
    file.drives = "T:";
    file.entries.insert("T:\\a b\tc.txt", {3, "ABCD"});
    const QByteArray sealed = Fingerprint::Write(file, "my keyword");
    QString error;
    const auto back = Fingerprint::Read(sealed, "my keyword", error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_TRUE(back->sealed);
    EXPECT_EQ(back->entries.value("T:\\a b\tc.txt").value, "ABCD");
    QByteArray tampered = sealed;
    tampered.replace("ABCD", "ABCE");
    const QList<std::pair<QByteArray, QString>> refused = {
        {sealed, "wrong keyword"},
        {sealed, ""},
        {tampered, "my keyword"},
        {sealed + "File=T:\\x\t1\t00\n", "my keyword"},
        {"garbage", "my keyword"}};
    for (const auto& [bytes, keyword] : refused) {
        error.clear();
        EXPECT_FALSE(Fingerprint::Read(bytes, keyword, error)) << keyword.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(StandinDrives, WalkStaysOnTheDriveAndFollowsNoLinks) {
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

// The programs themselves, started as Vallorin starts them: in the prefix, without a display.
class StandinProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        toolkit = bin + "/../toolkit/";
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

TEST_F(StandinProgram, FindVirusScansAsItsSwitchesSay) {
    struct Row {
        QStringList args;
        int exitCode;
        QStringList inReport, notInReport;
    };
    const QString eicar = "T:\\tools\\eicar.com  Infected: EICAR-Test-File";
    const QString zipped = "T:\\archive\\tools.zip > bin/eicar.com  Infected: EICAR-Test-File";
    const QList<Row> rows = {
        {{"/D=t:", "/NOPACK", "/REPORT=FindViru.Rep"}, 1, {eicar, "Files scanned: 3"}, {zipped}},
        {{"/D=T:", "/U", "/REPORT=FindViru.Rep"}, 1, {eicar, zipped, "Viruses found: 2"}, {}},
        {{"/D=t:", "/NOFILES", "/REPORT=FindViru.Rep"}, 0, {"Viruses found: 0"}, {eicar}},
        {{"/D=t:", "/EXTRA=EXTRA.drv", "/REPORT=FindViru.Rep"},
         1,
         {"T:\\tools\\marked.bin  Infected: Vallorin-Sample-Signature"},
         {}},
        {{"/D=t:", "/C=office.lst", "/LOUD", "/REPORT=FindViru.Rep"},
         1,
         {"T:\\letters\\letter.doc  OK", "Files scanned: 5"},
         {}},
        {{"/D=q:", "/REPORT=FindViru.Rep"}, 0, {"Drive Q: is not ready."}, {}},
        {{"/D=t:", "/EXTERROR", "/BOGUS", "/REPORT=FindViru.Rep"},
         8,
         {"Unknown switch \"/BOGUS\"", "refused"},
         {"Files scanned"}},
        {{"/D=t:", "/C=nosuch.lst", "/REPORT=FindViru.Rep"}, 8, {"Cannot read nosuch.lst"}, {}},
        {{"/AD", "/LOCAL", "/REPORT=FindViru.Rep"}, 8, {"only one of"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QFile::remove(prefix.path("FindViru.Rep"));
        EXPECT_EQ(run("WFindV32.exe", row.args), row.exitCode) << output.toStdString();
        const QString report = read("FindViru.Rep");
        for (const QString& text : row.inReport)
            EXPECT_TRUE(report.contains(text)) << text.toStdString() << "\n"
                                               << report.toStdString();
        for (const QString& text : row.notInReport)
            EXPECT_FALSE(report.contains(text)) << text.toStdString();
    }
}

TEST_F(StandinProgram, FindVirusRepairsByRenamingOrDeleting) {
    prefix.writeFile("sample/tools/eicar.vir", "an earlier find");
    EXPECT_EQ(run("WFindV32.exe", {"/D=t:", "/REPAIR", "/EXTERROR", "/REPORT=Repair.Rep"}), 2);
    EXPECT_FALSE(exists("sample/tools/eicar.com"));
    EXPECT_EQ(read("sample/tools/eicar.vir"), "an earlier find"); // never renamed over
    EXPECT_TRUE(exists("sample/tools/eicar.v01"));
    EXPECT_TRUE(read("Repair.Rep").contains("renamed to eicar.v01"));

    prefix.writeFile("sample/tools/eicar.com", Signatures::EicarTestString());
    EXPECT_EQ(run("WFindV32.exe", {"/D=t:", "/U", "/DELETE", "/REPORT=Repair.Rep", "/APPEND"}), 1);
    EXPECT_FALSE(exists("sample/tools/eicar.com"));
    EXPECT_TRUE(exists("sample/archive/tools.zip")); // an archive is reported, never changed
    const QString report = read("Repair.Rep");
    EXPECT_EQ(report.count("(stand-in of the toolkit's program) report"), 2); // appended
    EXPECT_TRUE(report.contains("inside an archive: the archive was not changed."));
}

TEST_F(StandinProgram, ViVerifyReportsNewChangedAndMissingFiles) {
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

TEST_F(StandinProgram, CleanerAndSchedulerRefuseWhatTheyDoNotKnow) {
    EXPECT_EQ(run("CleanBoo.exe", {"a:", "/4"}), 0);
    EXPECT_TRUE(output.contains("drive A: (3.5\" 1.44 MB)"));
    EXPECT_TRUE(output.contains("nothing was changed"));
    EXPECT_EQ(run("CleanBoo.exe", {"c:", "/A"}), 8);
    EXPECT_EQ(run("CleanBoo.exe", {"b:", "/9"}), 8);
    EXPECT_EQ(run("TK_Sched.exe", {}), 0);
    EXPECT_EQ(run("TK_Sched.exe", {"/X"}), 8);
}

} // namespace
