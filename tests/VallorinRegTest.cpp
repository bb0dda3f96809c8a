#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result reg(const TempPrefix& prefix, const QStringList& args) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VALLORIN_PREFIX", prefix.folder());
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-reg", args);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QString Done = "The operation completed successfully.\n";
const QString NotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";
const QString Key = "HKCU\\Software\\Test";

void fill(const TempPrefix& prefix) {
    const QList<QStringList> adds = {
        {Key, "/v", "Name", "/d", "hello ½ and ¼"},
        {Key, "/ve", "/d", "default"},
        {Key, "/v", "Bin", "/t", "REG_BINARY", "/d", "0100ffAB"},
        {Key, "/v", "Num", "/t", "reg_dword", "/d", "31"},
        {Key, "/v", "Hex", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"},
        {Key, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%WINDIR%\\x"},
        {Key, "/v", "NAME", "/d", "hello ½ and ¼", "/f"}, // overwrites, keeps the spelling
        {"HKEY_CURRENT_USER\\Software\\Test\\b"},
        {"hkcu\\Software\\\\Test\\A\\Deep", "/v", "x", "/d", "y"},
    };
    for (const QStringList& args : adds) {
        const Result result = reg(prefix, QStringList{"add"} + args);
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        ASSERT_EQ(result.out, Done);
    }
}

const QString TestValues = "    Name    REG_SZ    hello ½ and ¼\n"
                           "    (Default)    REG_SZ    default\n"
                           "    Bin    REG_BINARY    0100FFAB\n"
                           "    Num    REG_DWORD    0x1f\n"
                           "    Hex    REG_DWORD    0xffffffff\n"
                           "    Path    REG_EXPAND_SZ    %WINDIR%\\x\n";

} // namespace

TEST(VallorinRegTest, QueryPrintsAsRegExeDoes) {
    TempPrefix prefix;
    fill(prefix);
    struct Row {
        QStringList args;
        QString out;
    };
    const Row rows[] = {
        {{"query", Key},
         "\nHKEY_CURRENT_USER\\Software\\Test\n" + TestValues +
             "\nHKEY_CURRENT_USER\\Software\\Test\\A\nHKEY_CURRENT_USER\\Software\\Test\\b\n"},
        {{"QUERY", Key, "/V", "num"},
         "\nHKEY_CURRENT_USER\\Software\\Test\n"
         "    Num    REG_DWORD    0x1f\n\n"},
        {{"query", Key, "/ve"},
         "\nHKEY_CURRENT_USER\\Software\\Test\n"
         "    (Default)    REG_SZ    default\n\n"},
        {{"query", Key, "/s"},
         "\nHKEY_CURRENT_USER\\Software\\Test\n" + TestValues +
             "\nHKEY_CURRENT_USER\\Software\\Test\\A\n"
             "\nHKEY_CURRENT_USER\\Software\\Test\\A\\Deep\n"
             "    x    REG_SZ    y\n"
             "\nHKEY_CURRENT_USER\\Software\\Test\\b\n"},
        {{"query", "HKLM"}, "\nHKEY_LOCAL_MACHINE\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const Result result = reg(prefix, row.args);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.toStdString(), row.out.toStdString());
        EXPECT_EQ(result.err, "");
    }
}

TEST(VallorinRegTest, RefusesWhatItCannotDoWithExitCodeOne) {
    TempPrefix prefix;
    fill(prefix);
    struct Row {
        QStringList args;
        QString err; // the first line of stderr
    };
    const Row rows[] = {
        {{"query", "HKCU\\Software\\Missing"}, NotFound},
        {{"query", Key, "/v", "Missing"}, NotFound},
        {{"delete", Key, "/v", "Missing"}, NotFound},
        {{"delete", "HKCU\\Software\\Missing"}, NotFound},
        {{"export", "HKCU\\Software\\Missing", prefix.path("x.reg")}, NotFound},
        {{"import", prefix.path("missing.reg")}, "ERROR: The file \""},
        {{"query", "HKCR\\Software"}, "ERROR: Invalid key name.\n"},
        {{"delete", "HKLM"}, "ERROR: A root key cannot be deleted.\n"},
        {{}, "ERROR: No command given.\n"},
        {{"copy", Key}, "ERROR: Invalid syntax.\n"},
        {{"query"}, "ERROR: Invalid syntax.\n"},
        {{"query", Key, "/v"}, "ERROR: Invalid syntax.\n"},
        {{"query", Key, "/v", "a", "/ve"}, "ERROR: Invalid syntax.\n"},
        {{"query", Key, "/d", "x"}, "ERROR: Invalid syntax.\n"},
        {{"add", Key, "/v", "D", "/t", "REG_DWORD", "/d", "4294967296"},
         "ERROR: REG_DWORD data must be"},
        {{"add", Key, "/v", "D", "/t", "REG_DWORD", "/d", "-1"}, "ERROR: REG_DWORD data must be"},
        {{"add", Key, "/v", "D", "/t", "REG_DWORD", "/d", "0x"}, "ERROR: REG_DWORD data must be"},
        {{"add", Key, "/v", "B", "/t", "REG_BINARY", "/d", "0g"}, "ERROR: REG_BINARY data must"},
        {{"add", Key, "/v", "B", "/t", "REG_BINARY", "/d", "abc"}, "ERROR: REG_BINARY data must"},
        {{"add", Key, "/v", "M", "/t", "REG_MULTI_SZ"}, "ERROR: Unsupported type REG_MULTI_SZ"},
        {{"add", "HKCU\\" + QString(256, 'k')}, "ERROR: The key name \"kkk"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const Result result = reg(prefix, row.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.startsWith(row.err)) << result.err.toStdString();
    }
    // Nothing of the refused adds reached the store.
    const Result after = reg(prefix, {"query", Key, "/s"});
    EXPECT_FALSE(after.out.contains("    D    ") || after.out.contains("    B    ") ||
                 after.out.contains("    M    "));
    EXPECT_EQ(reg(prefix, {"/?"}).exitCode, 0);
}

TEST(VallorinRegTest, DeleteRemovesValuesAndKeys) {
    TempPrefix prefix;
    fill(prefix);
    for (const QStringList& args :
         {QStringList{"delete", Key, "/v", "bin"}, QStringList{"delete", Key, "/ve", "/f"}}) {
        const Result result = reg(prefix, args);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.out, Done);
    }
    EXPECT_EQ(reg(prefix, {"query", Key, "/v", "Bin"}).err, NotFound);
    EXPECT_EQ(reg(prefix, {"query", Key, "/ve"}).err, NotFound);
    EXPECT_EQ(reg(prefix, {"query", Key, "/v", "Num"}).exitCode, 0);

    EXPECT_EQ(reg(prefix, {"delete", Key, "/va"}).exitCode, 0);
    EXPECT_EQ(reg(prefix, {"query", Key}).out,
              "\nHKEY_CURRENT_USER\\Software\\Test\n\nHKEY_CURRENT_USER\\Software\\Test\\A\n"
              "HKEY_CURRENT_USER\\Software\\Test\\b\n");

    EXPECT_EQ(reg(prefix, {"delete", Key + "\\a"}).exitCode, 0);
    EXPECT_EQ(reg(prefix, {"query", Key + "\\A\\Deep"}).err, NotFound);
    EXPECT_EQ(reg(prefix, {"query", Key}).out,
              "\nHKEY_CURRENT_USER\\Software\\Test\n\nHKEY_CURRENT_USER\\Software\\Test\\b\n");
}

TEST(VallorinRegTest, ExportThenImportRestoresTheTree) {
    TempPrefix prefix;
    fill(prefix);
    const QString file = prefix.path("test.reg");
    Result result = reg(prefix, {"export", Key, file});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, Done);
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray exported = in.readAll();
    in.close();
    EXPECT_TRUE(exported.startsWith("\xFF\xFE"
                                    "W\0i\0n\0"));

    // An existing file is replaced only when asked to.
    result = reg(prefix, {"export", Key, file});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("ERROR: The file")) << result.err.toStdString();
    EXPECT_EQ(reg(prefix, {"export", Key, file, "/y"}).exitCode, 0);

    TempPrefix other;
    result = reg(other, {"import", file});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, Done);
    const Result original = reg(prefix, {"query", Key, "/s"});
    const Result imported = reg(other, {"query", Key, "/s"});
    EXPECT_EQ(imported.out.toStdString(), original.out.toStdString());
    EXPECT_TRUE(imported.out.contains("hello ½ and ¼"));

    const QString garbage = other.writeFile("bad.reg", "REGEDIT4\r\n[HKCU\\X]\r\nnonsense\r\n");
    result = reg(other, {"import", garbage});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Line 3:")) << result.err.toStdString();
    EXPECT_EQ(reg(other, {"query", "HKCU\\X"}).err, NotFound);
}

// What import refuses it refuses whole, with the line at fault, and nothing of the file
// reaches either branch; a named pipe is refused rather than waited on.
TEST(VallorinRegTest, ImportRefusesAFileWholeOrAppliesItWhole) {
    TempPrefix prefix;
    QString deep = "[HKCU\\Software\\Deep";
    for (int level = 2; level <= 513; ++level)
        deep += "\\k";
    const QString keys = "REGEDIT4\r\n[HKLM\\Software\\One]\r\n[HKCU\\Software\\Two]\r\n";
    const QString pipe = prefix.path("pipe.reg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    struct Row {
        const char* what;
        QString file;
        QString err;
    };
    const Row rows[] = {
        {"too deep", prefix.writeFile("deep.reg", (keys + deep + "]\r\n").toUtf8()),
         "Line 4: The key path \"Software\\Deep\\k"},
        {"NUL in a key",
         prefix.writeFile("nul.reg", (keys + "[HKCU\\a" + QChar(0) + "b]\r\n").toUtf8()),
         "Line 4: The key name \"a<U+0000>b\" holds a NUL character"},
        {"named pipe", pipe, "cannot be read: it is a named pipe (FIFO)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Result result = reg(prefix, {"import", row.file});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.contains(row.err)) << result.err.toStdString();
        EXPECT_EQ(reg(prefix, {"query", "HKLM\\Software\\One"}).err, NotFound);
        EXPECT_EQ(reg(prefix, {"query", "HKCU\\Software\\Two"}).err, NotFound);
    }
    const Result result = reg(prefix, {"import", prefix.writeFile("good.reg", keys.toUtf8())});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(reg(prefix, {"query", "HKLM\\Software\\One"}).exitCode, 0);
    EXPECT_EQ(reg(prefix, {"query", "HKCU\\Software\\Two"}).exitCode, 0);
}

TEST(VallorinServices, TheAutostartEntryCreatesNothingForAUserWithoutAPrefix) {
    QFile entry(VALLORIN_SOURCE_DIR "/packaging/vallorin-services.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString exec =
        QString::fromUtf8(entry.readAll()).section("\nExec=", 1).section('\n', 0, 0);
    ASSERT_EQ(exec, "vallorin-services");
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "VALLORIN_PREFIX" : "~/.vallorin");
        const QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.remove("VALLORIN_PREFIX");
        if (named)
            environment.insert("VALLORIN_PREFIX", home.filePath("prefix"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("VALLORIN_BIN") + "/" + exec, {});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{});
    }
}
