#include "support/FormFixture.h"

#include "integrity/Integrity.h"
#include "platform/ProgramStart.h"
#include "scan/Find.h"
#include "toolkit/Toolkit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

// What the recorder standing as the toolkit program saw: its working directory and argv.
struct Record {
    QString folder;
    QStringList argv;
};

// Waits for the recorder's record (it appears whole, renamed into place).
std::optional<Record> WaitForRecord(const QString& file) {
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(file) && timer.elapsed() < 15000)
        QThread::msleep(10);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> words = in.readAll().split('\0');
    words.removeLast(); // every word ends with a NUL
    Record record;
    record.folder = QString::fromUtf8(words.takeFirst());
    for (const QByteArray& word : words)
        record.argv << QString::fromUtf8(word);
    return record;
}

class SecurityGuiTest : public FormFixture {
protected:
    SecurityGuiTest() { qputenv("ARGV_RECORD_FILE", QFile::encodeName(recordFile)); }
    ~SecurityGuiTest() override {
        spawnForm.reset();
        qunsetenv("ARGV_RECORD_FILE");
    }

    // The toolkit folder holds the recorder under the name of every toolkit program.
    void installRecorder(const QString& folder, const QStringList& otherFiles = {}) {
        QDir().mkpath(folder);
        for (const QString& program : {ToolkitFile::FindVirus, ToolkitFile::ViVerify,
                                       ToolkitFile::Cleaner, ToolkitFile::SchedulerTest}) {
            ASSERT_TRUE(QFile::copy(qEnvironmentVariable("VALLORIN_BIN") + "/ArgvRecorder",
                                    folder + program));
        }
        for (const QString& file : otherFiles)
            QFile(folder + file).open(QIODevice::WriteOnly);
        seed(RootKey::LocalMachine, "SOFTWARE\\Dr Solomon's Software\\Anti-Virus",
             {{"InstallPath", folder}});
    }

    // A program that must never run: if it does, it leaves a mark in the prefix.
    void plantDecoy(const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile decoy(path);
        ASSERT_TRUE(decoy.open(QIODevice::WriteOnly));
        decoy.write("#!/bin/sh\ntouch '" + QFile::encodeName(markFile) + "'\n");
        decoy.close();
        decoy.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The main window with the real starter: programs really run, never through a shell.
    TMainForm& startSpawning() {
        spawnForm = std::make_unique<TMainForm>(Services{prefix.folder(), prefix.path("vallorin"),
                                                         prompts, spawner, help, *dialogs,
                                                         [this] { return clock; }});
        return *spawnForm;
    }

    // Runs the command line as the pages do and returns what the toolkit program received.
    std::optional<Record> runAndRecord(const QString& commandLine) {
        const int result = StartProgram(*spawnForm, commandLine);
        EXPECT_GT(result, StartResult::LastError) << commandLine.toStdString();
        return WaitForRecord(recordFile);
    }

    QString recordFile = prefix.path("record");
    QString markFile = prefix.path("decoy-ran");
    SpawnProgramStarter spawner{prefix.folder()};
    std::unique_ptr<TMainForm> spawnForm;
};

// A toolkit folder with blanks in its path, beside files named like its first words (the
// classic unquoted-path trap of CreateProcess): only the toolkit's program runs, in the
// program folder, with the switches as its arguments.
TEST_F(SecurityGuiTest, AToolkitFolderWithBlanksRunsOnlyTheToolkitProgram) {
    const QString folder = prefix.path("Dr Solomon/AV Toolkit/");
    installRecorder(folder);
    plantDecoy(prefix.path("Dr"));
    plantDecoy(prefix.path("Dr Solomon/AV"));
    TMainForm& form = startSpawning();
    ASSERT_EQ(form.ToolkitFolder, folder);

    const auto record = runAndRecord(form.ToolkitFolder + ToolkitFile::FindVirus + " /D=C: /BEEP");
    EXPECT_FALSE(QFileInfo::exists(markFile));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->argv, QStringList({folder + ToolkitFile::FindVirus, "/D=C:", "/BEEP"}));
    EXPECT_EQ(QDir(record->folder), QDir(prefix.folder()));
}

// Texts from the toolkit folder, the store and the page (definition names, checklist and driver
// names, keywords) written as shell syntax, switches and quotes: the scanner and the checker
// run, in the program folder, and get each text whole as one argument; nothing else runs.
TEST_F(SecurityGuiTest, HostileTextsReachTheToolkitAsDataOnly) {
    const QString folder = prefix.path("toolkit/");
    const QString list = "mine -DELETE $(touch decoy-ran)";
    const QString driver = "a\" -REPAIR \"b`touch decoy-ran`";
    installRecorder(folder, {list + ".lst", driver + ".drv", "; touch decoy-ran.lst"});
    prefix.mapDrive('c', prefix.folder());
    const QString scan = "; rm -rf ~ $(touch decoy-ran) `id` | x";
    const QString program = "Software\\Tesmarine\\Vallorin\\";
    seed(RootKey::CurrentUser, program + "Find\\" + scan,
         {{"Drives", "C"}, {"CheckList", list}, {"Extra Drv", driver}});
    seed(RootKey::CurrentUser, program + "Find", {{"Selected", scan}});
    const QString check = "Weekly";
    // The edit keeps 30 characters.
    const QString keyword = "k y\"; $(touch x) /CREATE \\";
    seed(RootKey::CurrentUser, program + "Verify\\" + check,
         {{"Drives", "C"}, {"Keyword", "1"}, {"Key", keyword}});
    seed(RootKey::CurrentUser, program + "Verify", {{"Selected", check}});

    TMainForm& form = startSpawning();
    ASSERT_EQ(form.Find.ScanCombo->currentText(), scan);
    ASSERT_EQ(form.Find.ChklistCombo->currentText(), list);
    ASSERT_EQ(form.Find.DrvCombo->currentText(), driver);
    SBtnScanClick(form);
    auto record = WaitForRecord(recordFile);
    ASSERT_TRUE(record) << prompts.texts().join('|').toStdString();
    EXPECT_EQ(record->argv.value(0), folder + ToolkitFile::FindVirus);
    EXPECT_TRUE(record->argv.contains("/D=C:")) << record->argv.join('|').toStdString();
    EXPECT_TRUE(record->argv.contains("/C=" + list + ".lst"));
    EXPECT_TRUE(record->argv.contains("/EXTRA=" + driver + ".drv"));
    for (const QString& argument : record->argv)
        EXPECT_FALSE(argument == "-DELETE" || argument == "-REPAIR") << argument.toStdString();
    EXPECT_EQ(QDir(record->folder), QDir(prefix.folder()));

    QFile::remove(recordFile);
    ASSERT_EQ(form.Check.CheckCombo->currentText(), check);
    ASSERT_EQ(form.Check.EditKeyword->text(), keyword);
    prompts.answers.push_back(MessageAnswer::Yes); // no fingerprints yet: compute them
    SBtnVerifyClick(form);
    record = WaitForRecord(recordFile);
    ASSERT_TRUE(record) << prompts.texts().join('|').toStdString();
    EXPECT_EQ(record->argv.value(0), folder + ToolkitFile::ViVerify);
    EXPECT_TRUE(record->argv.contains("/X=" + keyword)) << record->argv.join('|').toStdString();
    EXPECT_TRUE(record->argv.contains("/FF=" + prefix.folder() + "Prints/" + check));
    EXPECT_EQ(record->argv.count("/CREATE"), 1); // the switch of a compute, not the keyword's
    EXPECT_FALSE(QFileInfo::exists(markFile));
}

// A check name that would lead the fingerprint file out of the program folder is refused
// before anything starts.
TEST_F(SecurityGuiTest, ACheckNameCannotLeadOutOfTheProgramFolder) {
    installRecorder(prefix.path("toolkit/"));
    prefix.mapDrive('c', prefix.folder());
    const QString check = "../../../../tmp/elsewhere";
    seed(RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin\\Verify\\" + check,
         {{"Drives", "C"}, {"Keyword", "0"}});
    seed(RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin\\Verify", {{"Selected", check}});
    TMainForm& form = startSpawning();
    ASSERT_EQ(form.Check.CheckCombo->currentText(), check);
    form.Check.SBtnCompute->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("cannot name a fingerprint file"));
    QThread::msleep(300);
    EXPECT_FALSE(QFileInfo::exists(recordFile));
}

// The quoting of one argument, against the splitter that the real starter uses.
TEST_F(SecurityGuiTest, AnArgumentTextSplitsBackWhole) {
    for (const QString text : {"plain", "two words", "tab\there", "quote\"inside", "\"", "\\\"",
                               "ends in \\", "a\\\\\"b", "", "x\"\"y", " lead and trail "}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(SplitArguments("/A /C=" + ArgumentText(text) + " /B"),
                  QStringList({"/A", "/C=" + text, "/B"}));
    }
    EXPECT_EQ(ArgumentText("mine.lst"), "mine.lst"); // ordinary names go in as they are
}

} // namespace
