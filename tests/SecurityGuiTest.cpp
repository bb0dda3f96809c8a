#include "support/FormFixture.h"

#include "platform/ProgramStart.h"
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
        spawnForm =
            std::make_unique<TMainForm>(Services{prefix.folder(), prefix.path("vallorin"), prompts,
                                                 spawner, help, [this] { return clock; }});
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

} // namespace
