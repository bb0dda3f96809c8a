// FindVirus started as Vallorin starts it: in the prefix, without a display, on a toolkit folder
// of the test's own whose signatures the test writes.
#include "engine/Signatures.h"
#include "lib/Zip.h"
#include "platform/InstallLayout.h"
#include "support/TempPrefix.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QByteArray Marker = QByteArray("TEST-MARKER-") + "SIGNATURE-42";
const QByteArray HashedContent = "a file known by its hash only\n";

QByteArray Eicar() {
    return avtk::EicarTestString();
}

QByteArray Md5(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// The test's own database, in the engine's text formats.
QByteArray TestNdb() {
    return "Test.Eicar:0:0:" + Eicar().toHex() + "\nTest.Marker:0:*:" + Marker.toHex() + "\n";
}
QByteArray TestHdb() {
    return Md5(HashedContent) + ':' + QByteArray::number(HashedContent.size()) + ":Test.Hashed\n";
}

QByteArray Nested(const QByteArray& content) {
    const QByteArray inner = Zip::Write({{"readme.txt", "clean"}, {"bin/x.com", content}});
    return Zip::Write({{"inner.zip", inner, false}, {"other.txt", "clean"}});
}

void ExpectLines(const QString& text, const QStringList& present, const QStringList& absent) {
    for (const QString& line : present)
        EXPECT_TRUE(text.contains(line)) << line.toStdString() << "\n" << text.toStdString();
    for (const QString& line : absent)
        EXPECT_FALSE(text.contains(line)) << line.toStdString();
}

// The command a file manager runs for a desktop entry: its Exec key read through the entry's
// string escapes and quoting, %F given the chosen paths.
QStringList EntryCommand(const QString& entry, const QStringList& paths) {
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString exec;
    for (const QString& l : QString::fromUtf8(file.readAll()).split('\n'))
        if (l.startsWith("Exec="))
            exec = l.mid(5).replace("\\\\", "\\");
    QStringList command;
    QString word;
    bool quoted = false, inWord = false;
    auto end = [&] {
        if (inWord)
            command << (word == "%F" ? paths : QStringList{word.replace("%%", "%")});
        word.clear();
        inWord = false;
    };
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == u' ' && !quoted) {
            end();
            continue;
        }
        inWord = true;
        if (quoted && exec[i] == u'\\' && i + 1 < exec.size())
            word += exec[++i];
        else if (exec[i] == u'"')
            quoted = !quoted;
        else
            word += exec[i];
    }
    end();
    return command;
}

class ToolkitScanner : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        built = InstallLayout::ToolkitFolder(bin);
        toolkit = temp.path() + "/toolkit/";
        QDir().mkpath(toolkit + "Signatures");
        // A shared engine a test starts lives in the test's folder and ends with it.
        QDir().mkpath(temp.path() + "/run");
        QFile::setPermissions(temp.path() + "/run", QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner);
        ASSERT_TRUE(QFile::copy(built + "WFindV32.exe", toolkit + "WFindV32.exe"));
        WriteTestFile(toolkit + "Signatures/test.ndb", TestNdb());
        WriteTestFile(toolkit + "Signatures/test.hdb", TestHdb());
        prefix.mapDrive('t', prefix.path("drive"));
        prefix.writeFile("drive/tools/eicar.com", Eicar());
        prefix.writeFile("drive/tools/clean.exe", "MZ nothing to see");
        prefix.writeFile("drive/docs/marked.txt", "text with " + Marker + " inside");
        prefix.writeFile("drive/docs/hashed.dat", HashedContent);
        prefix.writeFile("drive/archive/nested.zip", Nested(Eicar()));
    }

    int run(const QStringList& args, const QString& program = {},
            const QStringList& extraEnvironment = {}) {
        QProcess process;
        start(process, args, program, extraEnvironment);
        EXPECT_TRUE(process.waitForFinished(120000));
        output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitCode();
    }
    void start(QProcess& process, const QStringList& args, const QString& program = {},
               const QStringList& extraEnvironment = {}) {
        process.setWorkingDirectory(prefix.folder());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("AVTK_CLAMAV_DATABASE", temp.path() + "/no-system-database");
        env.insert("XDG_RUNTIME_DIR", temp.path() + "/run");
        for (const QString& assignment : extraEnvironment)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
        process.setProcessEnvironment(env);
        process.start(program.isEmpty() ? toolkit + "WFindV32.exe" : program, args);
    }
    QString report(const QString& name = "FindViru.Rep") const {
        QFile file(prefix.path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    bool exists(const QString& relative) const { return QFile::exists(prefix.path(relative)); }

    QTemporaryDir temp;
    TempPrefix prefix;
    QString built, toolkit, output;
};

const QString EicarFound = "T:\\tools\\eicar.com  Infected: Test.Eicar";
const QString NestedFound = "T:\\archive\\nested.zip > inner.zip > x.com  Infected: Test.Eicar";
const QString MarkerFound = "T:\\docs\\marked.txt  Infected: Test.Marker";
const QString HashedFound = "T:\\docs\\hashed.dat  Infected: Test.Hashed";

TEST_F(ToolkitScanner, SwitchesChooseWhatIsScanned) {
    const QString here = QDir(prefix.folder()).canonicalPath() + '/';
    prefix.writeFile("elsewhere/100%.com", Eicar());
    struct Row {
        QStringList args;
        int exitCode;
        QStringList present, absent;
    };
    const QList<Row> rows = {
        // Program files by default: the marked text file and the archive are not looked at.
        {{"/D=t:", "/NM"}, 1, {EicarFound, "Files scanned: 2"}, {NestedFound, MarkerFound}},
        {{"/D=T:", "/U", "/NM"}, 1, {EicarFound, NestedFound, "Viruses found: 2"}, {MarkerFound}},
        {{"/D=t:", "/DOALLFILES", "/NM"},
         1,
         {EicarFound, MarkerFound, HashedFound, "Files scanned: 5"},
         {NestedFound}},
        {{"/D=t:", "/DOALLFILES", "/U", "/NM"}, 1, {NestedFound, "Viruses found: 4"}, {}},
        {{"/D=t:", "/NOFILES", "/NM"}, 0, {"Files: none (/NOFILES)", "Viruses found: 0"}, {}},
        // /LOUD names every file scanned; otherwise only findings and totals.
        {{"/D=t:", "/LOUD", "/NM"}, 1, {"T:\\tools\\clean.exe  OK"}, {}},
        {{"/D=t:", "/NM"}, 1, {}, {"T:\\tools\\clean.exe  OK"}},
        {{"/D=t:", "/ANALYSE", "/PACK", "/NM"},
         1,
         {"Heuristics: program and file, macro; packed programs: unpacked."},
         {}},
        {{"/D=t:", "/MANALYSE", "/NOPACK", "/NM"},
         1,
         {"Heuristics: macro; packed programs: not unpacked."},
         {}},
        {{"/D=t:", "/PANALYSE", "/NM"}, 1, {"Heuristics: program and file;"}, {}},
        {{"/AD", "/NM"}, 1, {"Drives: T:", EicarFound}, {}},
        {{"/LOCAL", "/NM"}, 1, {"Drives: T:", EicarFound}, {}},
        // Paths besides the drives or instead of them: a relative one from the working folder,
        // named with the report's escaping; one through a drive letter as the checklist writes
        // it, a named file of any kind.
        {{"elsewhere/100%.com", "/NM"}, 1, {here + "elsewhere/100%25.com  Infected"}, {}},
        {{"drive/tools", "/NM"}, 1, {here + "drive/tools/eicar.com  Infected", "Drives: none"}, {}},
        {{"/D=t:", "t:\\docs\\marked.txt", "/NM"},
         1,
         {EicarFound, "t:\\docs\\marked.txt  Infected: Test.Marker", "Paths: 1 given"},
         {}},
        // A letter that does not resolve is a report line; with /EXTERROR a problem's level.
        {{"/D=t:;q:", "/NM", "/EXTERROR", "/NOFILES"}, 4, {"Drive Q: is not ready."}, {}},
        {{"/D=q:", "/NM"}, 0, {"Drive Q: is not ready.", "Drives: none"}, {}},
        {{"/D=t:", "/BEEP", "/NM"}, 1, {EicarFound}, {}},
        {{"/D=t:", "/NOBOOT", "/NM"}, 1, {}, {"boot or partition sector"}},
        {{"/D=t:", "/NM"}, 1, {"T: is a folder: it has no boot or partition sector."}, {}},
        // Refused command lines: nothing is scanned.
        {{"/D=t:", "/EXTERROR", "/BOGUS"},
         8,
         {"Unknown switch \"/BOGUS\"", "refused"},
         {"Files scanned"}},
        {{"/D=t:", "/C=nosuch.lst"}, 8, {"Cannot read nosuch.lst"}, {"Files scanned"}},
        {{"/D=t:", "/EXTRA=nosuch.drv"}, 8, {"Cannot read nosuch.drv"}, {}},
        {{"/AD", "/LOCAL"}, 8, {"only one of"}, {}},
        {{"/NM"}, 8, {"No drives to scan"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QFile::remove(prefix.path("FindViru.Rep"));
        EXPECT_EQ(run(row.args + QStringList{"/REPORT=FindViru.Rep"}), row.exitCode)
            << output.toStdString();
        ExpectLines(report(), row.present, row.absent);
        // Without a display the window's lines go to standard output.
        EXPECT_TRUE(output.contains("Asked: WFindV32.exe " + row.args.join(' ')));
    }
}

TEST_F(ToolkitScanner, ChecklistAndExtraDriverNameFilesOfTheToolkitFolder) {
    prefix.writeFile("other/elsewhere.com", Eicar());
    prefix.mapDrive('u', prefix.path("other"));
    WriteTestFile(toolkit + "Mine.lst",
                  "; the paths to scan\r\nt:\\docs\\marked.txt\r\nu:\\\r\n/nonexistent/path\r\n"
                  "x:\\nothing\r\nrelative\\path\r\n");
    EXPECT_EQ(run({"/D=t:", "/C=mine.lst", "/NM", "/EXTERROR", "/REPORT=FindViru.Rep"}), 1);
    QString text = report();
    // A file named by the checklist is scanned whatever its kind, under the name written there;
    // the drives are not walked.
    EXPECT_TRUE(text.contains("t:\\docs\\marked.txt  Infected: Test.Marker")) << text.toStdString();
    EXPECT_TRUE(text.contains("u:\\elsewhere.com  Infected: Test.Eicar")) << text.toStdString();
    EXPECT_FALSE(text.contains(EicarFound));
    EXPECT_TRUE(text.contains("/nonexistent/path  not found"));
    EXPECT_TRUE(text.contains("Checklist line 5, x:\\nothing: drive X: is not ready."));
    EXPECT_TRUE(text.contains("Checklist line 6, relative\\path: not a path"));

    // An extra driver in either line format, recognised by the shape of its lines.
    prefix.writeFile("drive/tools/extra.com", "program with EXTRA-DRIVER-MARK in it");
    prefix.writeFile("drive/tools/hashed.com", "hashed by the driver");
    WriteTestFile(toolkit + "ndb.drv",
                  "# a comment\nDriver.Mark:0:*:" + QByteArray("EXTRA-DRIVER-MARK").toHex() + "\n");
    WriteTestFile(toolkit + "hdb.drv",
                  "; comment\n" + Md5("hashed by the driver") + ":20:Driver.Hash\n");
    WriteTestFile(toolkit + "mixed.drv",
                  "Driver.Mark:0:*:4142434445\n" + Md5("x") + ":1:Driver.Hash\n");
    WriteTestFile(toolkit + "junk.drv", "this is no signature\n");
    struct Row {
        QString driver, present;
        int exitCode;
    };
    const QList<Row> rows = {
        {"ndb.drv", "T:\\tools\\extra.com  Infected: Driver.Mark", 1},
        {"hdb.drv", "T:\\tools\\hashed.com  Infected: Driver.Hash", 1},
        {"mixed.drv",
         "Signatures mixed.drv not loaded: line 2 is an .hdb signature among .ndb ones.", 1},
        {"junk.drv",
         "Signatures junk.drv not loaded: line 1 is neither an .ndb nor an .hdb signature.", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.driver.toStdString());
        EXPECT_EQ(run({"/D=t:", "/EXTRA=" + row.driver, "/NM", "/REPORT=FindViru.Rep"}),
                  row.exitCode);
        text = report();
        EXPECT_TRUE(text.contains(row.present)) << text.toStdString();
        // A driver that does not load leaves the scan going with the rest.
        EXPECT_TRUE(text.contains(EicarFound));
    }
}

// What a file manager runs for "Scan for viruses with Vallorin": the installed scanner on the
// chosen folders and files; one that is gone is a line of its own.
TEST_F(ToolkitScanner, TheDesktopEntryScansTheChosenFoldersAndFiles) {
    prefix.writeFile("Downloads/eicar.com", Eicar());
    prefix.writeFile("Downloads/notes.txt", "nothing to see");
    prefix.writeFile("single.dat", Eicar());
    const QString folder = prefix.path("Downloads"), file = prefix.path("single.dat"),
                  gone = prefix.path("gone");
    QStringList command = EntryCommand(VALLORIN_SCAN_ENTRY, {folder, file, gone});
    ASSERT_GT(command.size(), 3) << VALLORIN_SCAN_ENTRY;
    EXPECT_EQ(command.takeFirst(), VALLORIN_INSTALLED_SCANNER);
    // The test's copy of the scanner, with the test's signatures, stands for the installed one.
    EXPECT_EQ(run(command), 1) << output.toStdString();
    ExpectLines(output,
                {folder + "/eicar.com  Infected: Test.Eicar", file + "  Infected: Test.Eicar",
                 gone + "  not found", "Files scanned: 3", "Viruses found: 2"},
                {});
}

TEST_F(ToolkitScanner, SignatureFilesThatFailAndNoSignaturesAtAll) {
    WriteTestFile(toolkit + "Signatures/broken.ndb", "Broken:0:*:41414141\nnot a signature line\n");
    EXPECT_EQ(run({"/D=t:", "/NM", "/EXTERROR", "/REPORT=FindViru.Rep"}), 1);
    QString text = report();
    EXPECT_TRUE(text.contains("Signatures Signatures/broken.ndb not loaded: Malformed database."))
        << text.toStdString();
    EXPECT_TRUE(text.contains(EicarFound));
    // Without a system database the scan says, before its summary, that it cannot find real
    // viruses.
    EXPECT_LT(text.indexOf(avtk::TestSignaturesOnly), text.indexOf("Files scanned:"));
    EXPECT_GE(text.indexOf(avtk::TestSignaturesOnly), 0) << text.toStdString();

    // The system's database folder counts too when it is there.
    QDir().mkpath(temp.path() + "/system");
    WriteTestFile(temp.path() + "/system/sys.ndb", "System.Mark:0:*:" + Marker.toHex() + "\n");
    QFile::remove(toolkit + "Signatures/broken.ndb");
    EXPECT_EQ(run({"/D=t:", "/DOALLFILES", "/NM", "/REPORT=FindViru.Rep"}, {},
                  {"AVTK_CLAMAV_DATABASE=" + temp.path() + "/system"}),
              1);
    text = report();
    EXPECT_TRUE(text.contains("the system's ClamAV database among them")) << text.toStdString();
    EXPECT_TRUE(text.contains("T:\\docs\\marked.txt  Infected: ")) << text.toStdString();
    EXPECT_FALSE(text.contains(avtk::TestSignaturesOnly));

    // Without any signature the scan refuses with a level of its own, never "no viruses found".
    for (const QString& name : QDir(toolkit + "Signatures").entryList(QDir::Files))
        QFile::remove(toolkit + "Signatures/" + name);
    WriteTestFile(toolkit + "Signatures/broken.hdb", "zz\n");
    EXPECT_EQ(run({"/D=t:", "/NM", "/REPORT=FindViru.Rep"}), 9);
    text = report();
    EXPECT_TRUE(text.contains("No virus signatures could be loaded: nothing was scanned."));
    EXPECT_FALSE(text.contains("No viruses found"));
}

TEST_F(ToolkitScanner, RepairRenamesOrDeletesAndNeverOverwrites) {
    prefix.writeFile("drive/tools/eicar.VIR", "an earlier find");
    prefix.writeFile("drive/tools/second.exe", Eicar());
    ASSERT_EQ(::chmod(QFile::encodeName(prefix.path("drive/tools/second.exe")).constData(), 0755),
              0);
    EXPECT_EQ(run({"/D=t:", "/REPAIR", "/EXTERROR", "/NM", "/REPORT=Repair.Rep"}), 2);
    const QString text = report("Repair.Rep");
    EXPECT_FALSE(exists("drive/tools/eicar.com"));
    EXPECT_EQ(QFile(prefix.path("drive/tools/eicar.VIR")).size(), 15); // never renamed over
    EXPECT_TRUE(exists("drive/tools/eicar.V01"));
    EXPECT_TRUE(text.contains("cannot be repaired: renamed to eicar.V01.")) << text.toStdString();
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(prefix.path("drive/tools/second.VIR")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0u); // no longer executable
    EXPECT_TRUE(text.contains("Infected files renamed or deleted: 2"));

    // A file a checklist names is reached again from the folder the checklist names it in.
    WriteTestFile(toolkit + "One.lst", "t:\\tools\\second.VIR\r\n");
    EXPECT_EQ(run({"/D=t:", "/C=one.lst", "/REPAIR", "/NM", "/REPORT=Repair.Rep"}), 1);
    EXPECT_TRUE(report("Repair.Rep").contains("cannot be repaired: renamed to second.V01."))
        << report("Repair.Rep").toStdString();

    // /DELETE without /REPAIR only reports; with it the file goes, an archive as a whole.
    prefix.writeFile("drive/tools/third.com", Eicar());
    EXPECT_EQ(run({"/D=t:", "/DELETE", "/NM", "/REPORT=Repair.Rep"}), 1);
    EXPECT_TRUE(exists("drive/tools/third.com"));
    EXPECT_TRUE(report("Repair.Rep").contains("/DELETE without /REPAIR"));
    EXPECT_EQ(run({"/D=t:", "/U", "/REPAIR", "/DELETE", "/NM", "/REPORT=Repair.Rep", "/APPEND"}),
              1);
    EXPECT_FALSE(exists("drive/tools/third.com"));
    EXPECT_FALSE(exists("drive/archive/nested.zip"));
    EXPECT_TRUE(report("Repair.Rep").contains("cannot be repaired: deleted (the archive whole)."));
    EXPECT_EQ(report("Repair.Rep").count("FindVirus report"), 2); // appended to
}

// Everything below a folder, links not followed: each entry's mode and bytes (a link's target; a
// file above a megabyte by its size only).
std::map<std::string, std::pair<unsigned, QByteArray>> Snapshot(const QString& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::pair<unsigned, QByteArray>> all;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder.toStdString(), error), end; it != end;
         it.increment(error)) {
        struct stat st;
        const std::string path = it->path().string();
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        QByteArray content;
        if (S_ISLNK(st.st_mode)) {
            content = QFile::encodeName(QFile::symLinkTarget(QString::fromStdString(path)));
        } else if (S_ISREG(st.st_mode) && st.st_size > (1 << 20)) {
            content = QByteArray::number(qint64(st.st_size));
        } else if (S_ISREG(st.st_mode)) {
            QFile file(QString::fromStdString(path));
            content = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
        }
        all[path] = {unsigned(st.st_mode), content};
    }
    return all;
}

bool Shell(const QString& command) {
    return QProcess::execute("/bin/sh", {"-c", command}) == 0;
}

// The repair reaches the scanned file again from the drive's folder without following a link,
// and acts only when it is still the file that was scanned. The races are made deterministic:
// the repairs wait for the last file, and a large one keeps the scanner busy while the test swaps
// what it swaps once the finding is reported.
TEST_F(ToolkitScanner, RepairActsOnlyOnTheScannedFileBelowTheDrive) {
    const QString race = prefix.path("race"), sub = race + "/sub", file = sub + "/a.com";
    const QString outside = temp.path() + "/outside";
    prefix.mapDrive('r', race);
    prefix.writeFile("race/zz/big.exe", QByteArray(48 << 20, 'x'));
    const bool root = ::geteuid() == 0;
    const auto rename = [](const QString& from, const QString& to) {
        ASSERT_EQ(::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()),
                  0);
    };
    const auto link = [](const QString& target, const QString& at) {
        ASSERT_TRUE(QFile::link(target, at));
    };
    struct Row {
        const char* name;
        std::function<bool()> before; // before the scan; false when it cannot be made here
        std::function<void()> swap;   // once the file was reported, before its repair
        QString said[2];              // the repair's line after the file's name: rename, delete
        bool done;                    // renamed or deleted
        std::function<void()> after;
    };
    const QString refusedFolder = "not changed: the folder sub is now a symbolic link.";
    const QList<Row> rows = {
        {"its folder moved outside, a link to it in its place",
         {},
         [&] {
             rename(sub, outside + "/moved");
             link(outside + "/moved", sub);
         },
         {refusedFolder, refusedFolder},
         false,
         {}},
        {"its folder swapped for a link to an outside folder",
         {},
         [&] {
             rename(sub, race + "/sub.old");
             link(outside + "/victims", sub);
         },
         {refusedFolder, refusedFolder},
         false,
         {}},
        {"the file swapped for another",
         {},
         [&] {
             rename(file, sub + "/a.old");
             WriteTestFile(file, Eicar());
         },
         {"not changed: the file was replaced after it was scanned.",
          "not changed: the file was replaced after it was scanned."},
         false,
         {}},
        {"the file swapped for a link to an outside file",
         {},
         [&] {
             rename(file, sub + "/a.old");
             link(outside + "/victims/a.com", file);
         },
         {"not changed: its name is a symbolic link, which a repair does not follow.",
          "not changed: its name is a symbolic link, which a repair does not follow."},
         false,
         {}},
        {"a hard link to it outside",
         [&] {
             return ::link(QFile::encodeName(file).constData(),
                           QFile::encodeName(outside + "/hard.com").constData()) == 0;
         },
         {},
         {"cannot be repaired: renamed to a.VIR; its permissions are left, since other names "
          "link to the same file.",
          "cannot be repaired: deleted; the same file stays under its other names (hard links)."},
         true,
         {}},
        // Root may write into a folder without write permission: the folder is made immutable.
        {"a read-only folder",
         [&] {
             return ::chmod(QFile::encodeName(sub).constData(), 0555) == 0 &&
                    (!root || Shell("chattr +i '" + sub + "'"));
         },
         {},
         {"cannot be repaired, and could not be renamed: ",
          "cannot be repaired, and could not be deleted: "},
         false,
         [&] { Shell("chattr -i '" + sub + "' 2>/dev/null; chmod 755 '" + sub + "'"); }},
        {"a read-only bind mount",
         [&] {
             return root && Shell("mount --bind '" + sub + "' '" + sub + "' && mount -o " +
                                  "remount,bind,ro '" + sub + "'");
         },
         {},
         {"cannot be repaired, and could not be renamed: Read-only file system.",
          "cannot be repaired, and could not be deleted: Read-only file system."},
         false,
         [&] { Shell("umount '" + sub + "' 2>/dev/null"); }},
    };
    const int rounds = qEnvironmentVariable("VALLORIN_NIGHTLY") == "1" ? 100 : 1;
    for (const Row& row : rows) {
        for (const bool deleting : {false, true}) {
            for (int round = 0; round < (row.swap ? rounds : 1); ++round) {
                SCOPED_TRACE(QString("%1, %2, round %3")
                                 .arg(row.name, deleting ? "/DELETE" : "rename")
                                 .arg(round)
                                 .toStdString());
                for (const QString& gone : QStringList{sub, race + "/sub.old", outside})
                    QDir(gone).removeRecursively() || QFile::remove(gone);
                WriteTestFile(file, Eicar());
                WriteTestFile(outside + "/victims/a.com", Eicar());
                WriteTestFile(outside + "/victims/b.com", "an outside file");
                for (const QString& program : QStringList{file, outside + "/victims/a.com"})
                    ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0755), 0);
                if (row.before && !row.before()) {
                    std::cout << "[  NOTE    ] " << row.name << ": cannot be made here\n";
                    if (row.after)
                        row.after();
                    break;
                }
                QProcess process;
                start(process, QStringList{"/D=r:", "/NM", "/NOBOOT", "/EXTERROR", "/REPAIR",
                                           "/REPORT=Race.Rep"} +
                                   (deleting ? QStringList{"/DELETE"} : QStringList{}));
                QString seen;
                while (!seen.contains("R:\\sub\\a.com  Infected") &&
                       process.waitForReadyRead(60000))
                    seen += QString::fromUtf8(process.readAllStandardOutput());
                ASSERT_TRUE(seen.contains("R:\\sub\\a.com  Infected")) << seen.toStdString();
                if (row.swap)
                    row.swap();
                const auto outsideBefore = Snapshot(outside), driveBefore = Snapshot(race);
                // The swap came before the repair, or the round proves nothing.
                seen += QString::fromUtf8(process.readAllStandardOutput());
                ASSERT_FALSE(seen.contains("what was found:")) << seen.toStdString();
                ASSERT_TRUE(process.waitForFinished(120000));
                EXPECT_EQ(process.exitCode(), row.done ? 2 : 1);
                EXPECT_EQ(Snapshot(outside), outsideBefore);
                const QString text = report("Race.Rep");
                EXPECT_TRUE(text.contains("R:\\sub\\a.com  " + row.said[deleting]))
                    << text.toStdString();
                if (row.done) {
                    EXPECT_FALSE(QFile::exists(file));
                    EXPECT_EQ(QFile::exists(sub + "/a.VIR"), !deleting);
                    EXPECT_EQ(
                        QDir(sub).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                        deleting ? QStringList{} : QStringList{"a.VIR"});
                } else {
                    EXPECT_EQ(Snapshot(race), driveBefore); // nothing touched, no name left aside
                }
                if (row.after)
                    row.after();
            }
        }
    }
}

TEST_F(ToolkitScanner, BadInputGivesAReportLineAndTheScanGoesOn) {
    const QString drive = prefix.path("drive/");
    QDir().mkpath(drive + "loop");
    QFile::link(drive + "loop", drive + "loop/again");
    QFile::link("self", drive + "self");
    ASSERT_EQ(::mkfifo(QFile::encodeName(drive + "pipe").constData(), 0600), 0);
    // A sparse file of several GB, far above the engine's limit.
    {
        QFile sparse(drive + "sparse.img");
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(5) << 30));
    }
    // Names that are not one line of UTF-8.
    const QByteArray bad = QFile::encodeName(drive) + "bad\xff\nname.com";
    {
        FILE* file = std::fopen(bad.constData(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(Eicar().constData(), 1, size_t(Eicar().size()), file);
        std::fclose(file);
    }
    prefix.writeFile("drive/back\\slash.com", Eicar());
    QDir().mkpath(drive + "deep" + QString("/d").repeated(65)); // deeper than the walk goes
    const bool device =
        ::mknod(QFile::encodeName(drive + "null").constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    QDir().mkpath(prefix.path("Full.Rep"));

    EXPECT_EQ(run({"/D=t:", "/DOALLFILES", "/LOUD", "/NM", "/EXTERROR", "/REPAIR",
                   "/REPORT=FindViru.Rep"}),
              2)
        << output.toStdString();
    const QString text = report();
    for (const QString& line : QStringList{
             "T:\\loop\\again  symbolic link, not followed",
             "T:\\self  symbolic link, not followed",
             "T:\\pipe  a named pipe, not a file: not scanned",
             "T:\\sparse.img  not checked: larger than 100 MB, not scanned",
             "T:\\bad%FF%0Aname.com  Infected: Test.Eicar", "renamed to bad%FF%0Aname.VIR",
             "T:\\back%5Cslash.com  Infected: Test.Eicar", "folders nested too deep, not entered",
             device ? "Not checked: 4 (1 file, 1 folder not entered or not read whole and 2 other "
                      "entries)"
                    : "Not checked: 3 (1 file, 1 folder not entered or not read whole and 1 other "
                      "entry)"})
        EXPECT_TRUE(text.contains(line)) << line.toStdString() << "\n" << text.toStdString();
    if (device) {
        EXPECT_TRUE(text.contains("T:\\null  a device, not a file: not scanned"));
    }
    // The renamed file keeps its bytes in its name.
    const QByteArray renamed = QFile::encodeName(drive) + "bad\xff\nname.VIR";
    EXPECT_EQ(::access(renamed.constData(), F_OK), 0);
    ::unlink(renamed.constData()); // a name the temporary folder's clean-up cannot spell

    // A report that cannot be written: said, with a failing level, and the lines were shown.
    EXPECT_EQ(run({"/D=t:", "/NM", "/NOFILES", "/REPORT=Full.Rep"}), 8);
    EXPECT_TRUE(output.contains("Cannot write the report Full.Rep: it is a folder"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Viruses found: 0"));
}

TEST_F(ToolkitScanner, UnreadableFilesAndFoldersAreReportedNotSkippedSilently) {
    // Root reads everything: the scanner then runs as nobody, on a prefix nobody may enter.
    QStringList command;
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "running as root without setpriv";
        command = {"--reuid=65534", "--regid=65534", "--clear-groups", toolkit + "WFindV32.exe"};
    }
    prefix.writeFile("drive/secret/hidden.com", Eicar());
    prefix.writeFile("drive/locked.com", Eicar());
    for (const QString& open :
         QStringList{temp.path(), toolkit, toolkit + "Signatures", prefix.folder(),
                     prefix.path("dosdevices"), prefix.path("drive"), prefix.path("drive/tools"),
                     prefix.path("drive/docs"), prefix.path("drive/archive")})
        ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    for (const QString& name : QDir(toolkit + "Signatures").entryList(QDir::Files))
        ::chmod(QFile::encodeName(toolkit + "Signatures/" + name).constData(), 0644);
    ::chmod(QFile::encodeName(toolkit + "WFindV32.exe").constData(), 0755);
    ::chmod(QFile::encodeName(prefix.path("drive/secret")).constData(), 0);
    ::chmod(QFile::encodeName(prefix.path("drive/locked.com")).constData(), 0);
    const QStringList args = {"/D=t:", "/NM", "/EXTERROR", "/REPORT=FindViru.Rep"};
    EXPECT_EQ(command.isEmpty() ? run(args) : run(command + args, "/usr/bin/setpriv"), 1)
        << output.toStdString();
    ExpectLines(report(),
                {"T:\\secret  folder not read: Permission denied",
                 "T:\\locked.com  not checked: Permission denied", EicarFound,
                 "Not checked: 2 (1 file and 1 folder not entered or not read whole)"},
                {});
    ::chmod(QFile::encodeName(prefix.path("drive/secret")).constData(), 0700);
}

// The report is a file of the working folder: a name with a folder part is refused before
// anything is done, and what stands at the name is replaced or appended to only when it is a file.
TEST_F(ToolkitScanner, TheReportIsWrittenInTheWorkingFolderOnly) {
    const QString target = temp.path() + "/target.txt", absent = temp.path() + "/absent.txt";
    const QString escaped = QDir(prefix.folder()).dirName() + "-escaped.rep";
    const QString link = prefix.path("Link.Rep");
    struct Row {
        QStringList args;
        std::function<void()> before;
        int exitCode;
        QString said;
        bool linkReplaced; // Link.Rep is then the report, not a link
    };
    const QString folderPart = "takes a file name of the working folder, without a folder part";
    const auto linkTo = [&](const QString& to) { return [&, to] { QFile::link(to, link); }; };
    const auto pipe = [&] {
        QFile::remove(prefix.path("Pipe.Rep"));
        ::mkfifo(QFile::encodeName(prefix.path("Pipe.Rep")).constData(), 0600);
    };
    const QList<Row> rows = {
        {{"/REPORT=../" + escaped}, {}, 8, folderPart, false},
        {{"/REPORT=" + temp.path() + "/absolute.rep"}, {}, 8, folderPart, false},
        {{"/REPORT=sub\\x.rep"}, {}, 8, folderPart, false},
        {{"/REPORT=.."}, {}, 8, folderPart, false},
        // A link at the name: a new report replaces the link, an appended one is refused.
        {{"/REPORT=Link.Rep"}, linkTo(target), 0, "No viruses found", true},
        {{"/REPORT=Link.Rep", "/APPEND"},
         linkTo(target),
         8,
         "Cannot write the report Link.Rep: it is a symbolic link, which is not followed",
         false},
        {{"/REPORT=Link.Rep", "/APPEND"},
         linkTo(absent),
         8,
         "Cannot write the report Link.Rep: it is a symbolic link, which is not followed",
         false},
        {{"/REPORT=Pipe.Rep", "/APPEND"},
         pipe,
         8,
         "Cannot write the report Pipe.Rep: it is not a regular file",
         false},
        {{"/REPORT=Pipe.Rep"},
         {},
         8,
         "Cannot write the report Pipe.Rep: it is not a regular file",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QFile::remove(link);
        WriteTestFile(target, "keep");
        if (row.before)
            row.before();
        EXPECT_EQ(run(QStringList{"/D=t:", "/NM", "/NOFILES"} + row.args), row.exitCode);
        EXPECT_TRUE(output.contains(row.said)) << output.toStdString();
        QFile kept(target);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "keep");
        EXPECT_FALSE(QFile::exists(absent));
        EXPECT_FALSE(QFile::exists(prefix.folder() + "../" + escaped));
        EXPECT_FALSE(QFile::exists(temp.path() + "/absolute.rep"));
        EXPECT_EQ(QFileInfo(link).isSymLink(),
                  row.args.first() == "/REPORT=Link.Rep" && !row.linkReplaced);
        if (row.linkReplaced) {
            EXPECT_TRUE(report("Link.Rep").startsWith("FindVirus report"));
        }
        // Nothing left beside: the temporary report is renamed, or removed.
        EXPECT_EQ(QDir(prefix.folder()).entryList({".*.new"}, QDir::Files | QDir::Hidden),
                  QStringList{});
    }
}

TEST_F(ToolkitScanner, AFailedReportKeepsTheEarlierOne) {
    // The file-size limit makes every report write fail part-way, as a full disk does.
    const QByteArray earlier = "earlier report\r\n";
    for (int i = 0; i < 40; ++i) // a report longer than the limit
        prefix.writeFile(QString("drive/many/file%1.txt").arg(i), "clean");
    const QString limited = "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"";
    for (const QStringList& args :
         {QStringList{"/REPORT=FindViru.Rep"}, QStringList{"/REPORT=FindViru.Rep", "/APPEND"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        prefix.writeFile("FindViru.Rep", earlier);
        EXPECT_EQ(run(QStringList{"-c", limited, toolkit + "WFindV32.exe", "/D=t:", "/LOUD",
                                  "/DOALLFILES", "/NM"} +
                          args,
                      "/bin/sh"),
                  1);
        EXPECT_TRUE(output.contains("Cannot write the report FindViru.Rep"))
            << output.toStdString();
        EXPECT_EQ(report(), QString::fromUtf8(earlier));
    }
}

TEST_F(ToolkitScanner, BootAndPartitionSectorsOfDiskImages) {
    // A hard disk image: a partition sector whose table has one partition at sector 2, whose boot
    // sector carries the marker; a floppy image: a boot sector only.
    QByteArray disk(4 * 512, '\0');
    disk.replace(0, Marker.size(), Marker);
    disk[446 + 4] = char(0x0C); // FAT32
    disk[446 + 8] = char(2);    // first sector
    disk[446 + 12] = char(2);   // length
    disk[510] = char(0x55);
    disk[511] = char(0xAA);
    disk.replace(2 * 512, Eicar().size(), Eicar());
    prefix.writeFile("disk.img", disk);
    QByteArray floppy(2880 * 512 / 64, '\0');
    floppy[0] = char(0xEB);
    floppy[1] = char(0x3C);
    floppy[2] = char(0x90);
    floppy.replace(62, Marker.size(), Marker);
    floppy[510] = char(0x55);
    floppy[511] = char(0xAA);
    prefix.writeFile("floppy.img", floppy);
    prefix.mapDrive('h', prefix.path("disk.img"));
    prefix.mapDrive('a', prefix.path("floppy.img"));
    struct Row {
        QStringList args;
        QStringList present, absent;
    };
    const QList<Row> rows = {
        {{"/D=h:"},
         {"H: boot sector  Infected: Test.Eicar", "H: partition sector  Infected: Test.Marker",
          "Boot and partition sectors scanned: 2",
          "1 infected boot sector and 1 infected partition sector found."},
         {}},
        {{"/D=h:", "/NOPART"}, {"H: boot sector  Infected"}, {"partition sector  Infected"}},
        {{"/D=h:", "/NOBOOT"}, {"Viruses found: 0"}, {"sector"}},
        // A floppy: its boot sector, no partition table; without /ONEONLY the user would be
        // asked for the next disk, and without a display or terminal no one is.
        {{"/D=a:"},
         {"A: boot sector  Infected: Test.Marker", "A: partition sector: no partition table",
          "Drive A: no more disks."},
         {}},
        {{"/D=a:", "/ONEONLY"},
         {"A: boot sector  Infected", "Files scanned: 0", "1 infected boot sector found."},
         {"no more disks", "in 0 files"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        EXPECT_EQ(run(row.args + QStringList{"/NM", "/REPORT=FindViru.Rep"}),
                  row.present.first().contains("Infected") ? 1 : 0);
        ExpectLines(report(), row.present, row.absent);
    }
}

TEST_F(ToolkitScanner, MemoryHoldsTheProgramsOfRunningProcesses) {
    // A running program that carries the marker: a copy of sleep with the marker appended.
    const QString sleeper = temp.path() + "/marked-sleep";
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable("sleep"), sleeper));
    {
        QFile file(sleeper);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(Marker);
    }
    QFile::setPermissions(sleeper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess running;
    running.start(sleeper, {"30"});
    ASSERT_TRUE(running.waitForStarted());
    const qint64 pid = running.processId();
    EXPECT_EQ(run({"/D=t:", "/NOFILES", "/REPAIR", "/REPORT=FindViru.Rep"}), 1);
    running.kill();
    running.waitForFinished();
    const QString text = report();
    EXPECT_TRUE(text.contains("Memory: the programs and mapped files of")) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QString("Memory: %1 (process %2)  Infected: Test.Marker").arg(sleeper).arg(pid)))
        << text.toStdString();
    EXPECT_TRUE(text.contains("in memory: reported, not changed.")) << text.toStdString();
    EXPECT_TRUE(QFile::exists(sleeper)); // never renamed, even with /REPAIR
    // Memory is counted apart from the drives' files.
    EXPECT_TRUE(text.contains("Files scanned: 0")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Files in memory scanned: [1-9]")));
    EXPECT_TRUE(text.contains("1 infected file in memory found.")) << text.toStdString();
    EXPECT_EQ(run({"/D=t:", "/NOFILES", "/NM", "/REPORT=FindViru.Rep"}), 0);
    EXPECT_FALSE(report().contains("Memory:"));
}

TEST_F(ToolkitScanner, PrintingGoesThroughTheSpooler) {
    const QString tools = temp.path() + "/bin";
    QDir().mkpath(tools);
    const QString printed = temp.path() + "/printed.txt";
    WriteTestFile(tools + "/lp", "#!/bin/sh\ncat > '" + printed.toUtf8() + "'\n");
    QFile::setPermissions(tools + "/lp", QFile::ReadOwner | QFile::ExeOwner);
    const QString path = "PATH=" + tools + ':' + qEnvironmentVariable("PATH");
    EXPECT_EQ(run({"/D=t:", "/NM", "/P", "/REPORT=FindViru.Rep"}, {}, {path}), 1);
    QFile file(printed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(EicarFound.toUtf8()));
    EXPECT_TRUE(report().contains("Printing: the report was sent to the printer."));
    // No spooler at all: one clear line, and the scan's outcome stands.
    EXPECT_EQ(run({"/D=t:", "/NM", "/PRINTOUT", "/REPORT=FindViru.Rep"}, {}, {"PATH=/nonexistent"}),
              1);
    EXPECT_TRUE(report().contains("there is no print spooler (lp) on this system"));
}

TEST_F(ToolkitScanner, TheShippedDatabaseFindsTheSamples) {
    ASSERT_EQ(QProcess::execute(qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-sample-tree",
                                {prefix.path("sample")}),
              0);
    prefix.mapDrive('s', prefix.path("sample"));
    prefix.writeFile("sample/own/marked.com", "holds AVTK-TEST-SIGNATURE here");
    prefix.writeFile("sample/own/hashed.dat",
                     "AVTK hash test file: harmless, recognised by its MD5.\r\n");
    EXPECT_EQ(
        run({"/D=s:", "/U", "/DOALLFILES", "/NM", "/REPORT=FindViru.Rep"}, built + "WFindV32.exe"),
        1);
    const QString text = report();
    for (const char* line : {"S:\\tools\\eicar.com  Infected: EICAR-Test-File",
                             "S:\\archive\\tools.zip > eicar.com  Infected: EICAR-Test-File",
                             "S:\\own\\marked.com  Infected: AVTK-Test-Signature",
                             "S:\\own\\hashed.dat  Infected: AVTK-Hash-Test-File"})
        EXPECT_TRUE(text.contains(line)) << line << "\n" << text.toStdString();
    // The demo's extra driver adds its sample signature.
    EXPECT_EQ(
        run({"/D=s:", "/EXTRA=extra.drv", "/NM", "/REPORT=FindViru.Rep"}, built + "WFindV32.exe"),
        1);
    EXPECT_TRUE(report().contains("S:\\tools\\marked.bin  Infected: Vallorin-Sample-Signature"));
}

// With a display the window comes from the module beside the program; a program without it
// scans all the same and says why there is no window.
TEST_F(ToolkitScanner, TheWindowModuleBesideTheProgramOrPlainLines) {
    for (const bool windowed : {false, true}) {
        SCOPED_TRACE(windowed ? "with the module" : "without the module");
        if (windowed) {
            ASSERT_TRUE(QFile::copy(built + "avtk-window.so", toolkit + "avtk-window.so"));
        }
        QFile::remove(prefix.path("FindViru.Rep"));
        // The minimal platform needs no display server, but a display is named.
        EXPECT_EQ(run({"/D=t:", "/NM", "/AUTOEXIT", "/REPORT=FindViru.Rep"}, {},
                      {"DISPLAY=:97", "QT_QPA_PLATFORM=minimal"}),
                  1)
            << output.toStdString();
        EXPECT_TRUE(report().contains(EicarFound)) << report().toStdString();
        EXPECT_EQ(output.contains("Asked: WFindV32.exe"), !windowed) << output.toStdString();
        EXPECT_EQ(output.contains("The window could not be opened"), !windowed)
            << output.toStdString();
    }
}

// The same tree and database as clamscan: the same findings, archives nested two deep included.
TEST_F(ToolkitScanner, FindsWhatClamscanFinds) {
    const QString clamscan = QStandardPaths::findExecutable("clamscan");
    if (clamscan.isEmpty())
        GTEST_SKIP() << "clamscan is not installed";
    prefix.writeFile("drive/deep/two.zip", Zip::Write({{"one.zip", Nested(Marker)}}));
    prefix.writeFile("drive/deep/clean.zip", Zip::Write({{"a.txt", "nothing"}}));
    prefix.writeFile("drive/deep/hashed-in.zip", Zip::Write({{"h.dat", HashedContent}}));
    prefix.writeFile("drive/deep/late.bin", QByteArray(100000, 'x') + Marker);
    QProcess process;
    process.start(clamscan, {"--no-summary", "--infected", "-r", "-d", toolkit + "Signatures",
                             prefix.path("drive")});
    ASSERT_TRUE(process.waitForFinished(120000));
    std::set<std::pair<QString, QString>> theirs, ours;
    static const QRegularExpression found("^(.*): (\\S+)\\.UNOFFICIAL FOUND$");
    for (const QString& l : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        const auto match = found.match(l);
        if (match.hasMatch())
            theirs.insert(
                {match.captured(1).mid(prefix.path("drive").size() + 1), match.captured(2)});
    }
    ASSERT_GE(theirs.size(), 6u);
    EXPECT_EQ(
        run({"/D=t:", "/DOALLFILES", "/U", "/PACK", "/NM", "/NOBOOT", "/REPORT=FindViru.Rep"}), 1);
    static const QRegularExpression ourLine("^T:\\\\([^>]*?)(?: > .*)?  Infected: (\\S+)$");
    for (const QString& l : report().split("\r\n")) {
        const auto match = ourLine.match(l);
        if (match.hasMatch())
            ours.insert({match.captured(1).replace('\\', '/'), match.captured(2)});
    }
    EXPECT_EQ(ours, theirs);
}

} // namespace
