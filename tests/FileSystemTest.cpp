#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

int modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

TEST(FileSystem, ResolvesNamesWithoutRegardToAsciiCase) {
    TempPrefix t;
    const QString file = t.writeFile("Toolkit/Sub/tk_Sched.exe", "x");
    t.writeFile("Toolkit/EXACT.txt", "1");
    t.writeFile("Toolkit/Exact.txt", "2");
    t.writeFile("Toolkit/\u00c4rger.txt", "3");
    const QString base = t.folder();
    struct Case {
        QString given;
        QString expected;
    } const cases[] = {
        {file, file},
        {base + "toolkit/sub/TK_SCHED.EXE", file},
        {base + "TOOLKIT/Sub/new.txt", base + "Toolkit/Sub/new.txt"},
        {base + "missing/SUB/tk_Sched.exe", base + "missing/SUB/tk_Sched.exe"},
        {base + "toolkit/Exact.txt", base + "Toolkit/Exact.txt"}, // exact match first
        {base + "toolkit/exact.TXT", base + "Toolkit/EXACT.txt"}, // then the first in order
        {base + "toolkit/\u00e4rger.txt", base + "Toolkit/\u00e4rger.txt"}, // only A-Z fold
        {base + "toolkit//sub/./tk_sched.exe", base + "Toolkit//Sub/./tk_Sched.exe"},
        {base + "TOOLKIT/", base + "Toolkit/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileSystem::ResolvePath(c.given), c.expected) << c.given.toStdString();

    EXPECT_TRUE(FileSystem::FileExists(base + "TOOLKIT/SUB/Tk_Sched.Exe"));
    EXPECT_FALSE(FileSystem::FileExists(base + "TOOLKIT/SUB"));
    EXPECT_TRUE(FileSystem::DirectoryExists(base + "TOOLKIT/SUB"));
    EXPECT_FALSE(FileSystem::DirectoryExists(base + "TOOLKIT/SUB/tk_sched.exe"));
    EXPECT_TRUE(FileSystem::CreateDirectory(base + "TOOLKIT/sub/Prints"));
    EXPECT_TRUE(QFileInfo(base + "Toolkit/Sub/Prints").isDir());
    EXPECT_FALSE(FileSystem::CreateDirectory(file + "/below"));
}

TEST(FileSystem, ListsEveryKindOfEntryByExtension) {
    TempPrefix t;
    for (const char* name : {"find.lst", "Names.LST", "mine.lst", "a.lst", ".hidden.lst", "x.lstx",
                             "lst", "list.ls", "drv.drv"})
        t.writeFile(QString("Toolkit/") + name, "x");
    QDir().mkpath(t.path("Toolkit/old.lst"));
    QFile::link("/nonexistent-target", t.path("Toolkit/dangling.lst"));

    QStringList found = FileSystem::ListByExtension(t.path("TOOLKIT"), "LST");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, QStringList({".hidden.lst", "Names.LST", "a.lst", "dangling.lst", "find.lst",
                                  "mine.lst", "old.lst"}));
    EXPECT_EQ(FileSystem::ListByExtension(t.path("Toolkit/"), "drv"), QStringList({"drv.drv"}));
    EXPECT_TRUE(FileSystem::ListByExtension(t.path("nothing here"), "lst").isEmpty());
    EXPECT_TRUE(FileSystem::ListByExtension(t.path("Toolkit/find.lst"), "lst").isEmpty());
}

// The start-up checks the toolkit's files against the folder's one listing.
TEST(FileSystem, AListingTellsWhetherAFileExistsAsFileExistsDoes) {
    TempPrefix t;
    for (const char* name :
         {"Toolkit/EXACT.txt", "Toolkit/Exact.txt", "Toolkit/tk_Sched.exe", "ToolkitWFindV32.exe"})
        t.writeFile(name, "x");
    QDir().mkpath(t.path("Toolkit/sub.exe"));
    QFile::link("/nonexistent-target", t.path("Toolkit/dangling.exe"));
    const QString base = t.folder();
    for (const QString& folder : QStringList{base + "Toolkit/", base + "TOOLKIT/", base + "Toolkit",
                                             base + "missing/", QString()}) {
        const FileSystem::FolderListing listing(folder);
        for (const char* name : {"EXACT.txt", "exact.TXT", "TK_SCHED.EXE", "sub.exe", "SUB.EXE",
                                 "dangling.exe", "WFindV32.exe", "none.exe", ""})
            EXPECT_EQ(listing.fileExists(name), FileSystem::FileExists(folder + name))
                << QString(folder + name).toStdString();
    }
    EXPECT_TRUE(FileSystem::FolderListing(base + "TOOLKIT/").fileExists("TK_SCHED.EXE"));
    EXPECT_TRUE(FileSystem::FolderListing(base + "Toolkit").fileExists("WFindV32.exe"));
}

TEST(FileSystem, LastWriteTimeIsInUtc) {
    TempPrefix t;
    const QString file = t.writeFile("Prints/Daily.vvf", "x");
    const QDateTime when(QDate(2001, 7, 15), QTime(23, 30, 5), QTimeZone::utc());
    QFile handle(file);
    ASSERT_TRUE(handle.open(QIODevice::ReadWrite));
    ASSERT_TRUE(handle.setFileTime(when, QFileDevice::FileModificationTime));
    handle.close();

    const auto read = FileSystem::LastWriteTime(t.path("prints/DAILY.VVF"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->timeSpec(), Qt::UTC);
    EXPECT_EQ(read->toString(Qt::ISODate), "2001-07-15T23:30:05Z");
    EXPECT_FALSE(FileSystem::LastWriteTime(t.path("Prints/Weekly.vvf")).has_value());
}

TEST(FileSystem, ReadingNamesTheFileItCannotOpen) {
    TempPrefix t;
    t.writeFile("FindViru.Rep", QByteArray("line 1\r\nline\0 2", 15));
    EXPECT_EQ(FileSystem::ReadWholeFile(t.path("FINDVIRU.REP")),
              QByteArray("line 1\r\nline\0 2", 15));
    EXPECT_EQ(FileSystem::ReadWholeFile(t.writeFile("empty", "")), QByteArray());

    for (const QString& path : {t.path("Repair.Rep"), t.path("dosdevices")}) {
        try {
            FileSystem::ReadWholeFile(path);
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const VallorinError& e) {
            EXPECT_EQ(e.message(), "Cannot open file " + path);
        }
    }
}

TEST(FileSystem, WritingReplacesTheWholeFileAtOnce) {
    TempPrefix t;
    const QString fresh = t.path("Guard.txt");
    FileSystem::WriteWholeFile(fresh, "first");
    EXPECT_EQ(FileSystem::ReadWholeFile(fresh), "first");
    EXPECT_EQ(modeOf(fresh), 0600);

    const QString shared = t.writeFile("Shared.txt", "old contents, longer than the new");
    QFile::setPermissions(shared, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    FileSystem::WriteWholeFile(t.path("SHARED.TXT"), "new");
    EXPECT_EQ(FileSystem::ReadWholeFile(shared), "new");
    EXPECT_EQ(modeOf(shared), 0644);
    EXPECT_FALSE(QFile::exists(t.path("SHARED.TXT")));

    const QString link = t.path("link.txt");
    QFile::link(shared, link);
    FileSystem::WriteWholeFile(link, "through the link");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(FileSystem::ReadWholeFile(shared), "through the link");

    const QStringList left = QDir(t.folder()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left.size(), 3) << left.join(' ').toStdString(); // no temporary files left

    for (const QString& bad :
         {t.path("no folder/x.txt"), t.path("dosdevices"), QString("/dev/null")}) {
        try {
            FileSystem::WriteWholeFile(bad, "x");
            ADD_FAILURE() << "no error for " << bad.toStdString();
        } catch (const VallorinError& e) {
            EXPECT_TRUE(e.message().startsWith("Cannot write file " + bad + ": "))
                << e.message().toStdString();
        }
    }
    EXPECT_TRUE(QFileInfo("/dev/null").exists());
}

TEST(FileSystem, AFailedWriteKeepsTheOldFile) {
    TempPrefix t;
    const QString file = t.writeFile("Guard.txt", "old settings");
    // A file-size limit makes the write fail part-way, as a full disk does.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        FileSystem::WriteWholeFile(file, QByteArray(65536, 'x'));
    } catch (const VallorinError& e) {
        message = e.message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(message.startsWith("Cannot write file " + file + ": ")) << message.toStdString();
    EXPECT_EQ(FileSystem::ReadWholeFile(file), "old settings");
    EXPECT_EQ(QDir(t.folder()).entryList(QDir::Files | QDir::Hidden), QStringList({"Guard.txt"}));
}

TEST(FileSystem, DecodesUtf8OrElseWindows1252) {
    QByteArray high;
    for (int b = 0x80; b <= 0x9F; ++b)
        high.append(char(b));
    const QString highText = QString::fromUtf8("\u20ac\u0081\u201a\u0192\u201e\u2026\u2020\u2021"
                                               "\u02c6\u2030\u0160\u2039\u0152\u008d\u017d\u008f"
                                               "\u0090\u2018\u2019\u201c\u201d\u2022\u2013\u2014"
                                               "\u02dc\u2122\u0161\u203a\u0153\u009d\u017e\u0178");
    struct Case {
        QByteArray bytes;
        QString text;
    } const cases[] = {
        {"", ""},
        {"plain ascii", "plain ascii"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", QString::fromUtf8("café € 😀")},
        {"\xef\xbb\xbfwith BOM", "with BOM"},
        {"\xef\xbb\xbf", ""},
        {high, highText},
        {"caf\xe9", QString::fromUtf8("café")},
        {"\xc0\xaf", QString::fromUtf8("À¯")},                // overlong "/"
        {"\xed\xa0\x80", QString::fromUtf8("í\u00a0€")},      // encoded surrogate
        {"ok \xe2\x82", QString::fromUtf8("ok â‚")},          // cut short
        {"\xf4\x90\x80\x80", QString::fromUtf8("ô\u0090€€")}, // beyond U+10FFFF
        {"\xa0\xff", QString::fromUtf8("\u00a0ÿ")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileSystem::DecodeText(c.bytes), c.text) << c.bytes.toHex().toStdString();
}

TEST(FileSystem, EncodesWindows1252BackToTheSameBytes) {
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every.append(char(b));
    bool lossless = false;
    // Every byte decodes to one character, and that character encodes back to it.
    const QString decoded = FileSystem::DecodeText(every);
    EXPECT_EQ(FileSystem::EncodeWindows1252(decoded, &lossless), every);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(FileSystem::EncodeWindows1252(QString::fromUtf8("\u65e5 \u20ac"), &lossless),
              "? \x80");
    EXPECT_FALSE(lossless);
}

TEST(FileSystem, FileNamePartFollowsTheLastSeparator) {
    const std::pair<QString, QString> cases[] = {
        {"/home/u/Prints/Daily.vvf", "Daily.vvf"},
        {"C:\\AVTK\\WFindV32.exe", "WFindV32.exe"},
        {"A:boot.sec", "boot.sec"},
        {"plain.txt", "plain.txt"},
        {"folder/", ""},
        {"C:\\mixed/sep\\last", "last"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(FileSystem::FileNamePart(path), name) << path.toStdString();
}

} // namespace
