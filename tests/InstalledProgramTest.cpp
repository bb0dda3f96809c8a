// The installed program, as a user meets it: started from PATH on a fresh prefix, with the
// toolkit, the help and the settings tool the install put in place.
//
// VALLORIN_INSTALLED names an installed program's prefix folder (/usr for the Debian package)
// whose files are only used, never changed. Without it the build is installed first into a
// folder of the test whose path holds blanks.
#include "support/DesktopSession.h"

#include "platform/InstallLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString Eicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
const QString HelpWindow = "^Vallorin Help$";

// An installed program's files are only used; the build's own install is the test's to change.
bool OwnInstall() {
    return qEnvironmentVariableIsEmpty("VALLORIN_INSTALLED");
}

class InstalledProgram : public DesktopSession {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        if (OwnInstall()) {
            root = temp.path() + "/install root/with blanks";
            QProcess install;
            install.setProcessChannelMode(QProcess::MergedChannels);
            install.start(VALLORIN_CMAKE, {"--install", VALLORIN_BUILD_DIR, "--prefix", root});
            ASSERT_TRUE(install.waitForFinished(120000));
            ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
        } else {
            root = QDir::cleanPath(qEnvironmentVariable("VALLORIN_INSTALLED"));
        }
        ASSERT_TRUE(QFile::exists(root + "/bin/vallorin")) << root.toStdString();
        // The programs as a shell finds them: through PATH, with the install's bin first.
        const QString path = root + "/bin:" + qEnvironmentVariable("PATH");
        for (const char* name : {"vallorin", "vallorin-reg"})
            ASSERT_EQ(QStandardPaths::findExecutable(name, path.split(':')), root + "/bin/" + name);
        programFolder = root + "/bin";
        toolkit = InstallLayout::ToolkitFolder(programFolder);
        // The way back, as the guard's "Open Vallorin" takes it.
        ASSERT_EQ(InstallLayout::ProgramFolder(toolkit), programFolder + '/');
        DesktopSession::SetUp();
    }

    // A sample drive T: holding the test file, and a scan definition of it, as a user would
    // make them with vallorin-reg.
    void addSampleDrive() {
        QDir().mkpath(prefix + "/sample/tools");
        QFile eicar(prefix + "/sample/tools/eicar.com");
        ASSERT_TRUE(eicar.open(QIODevice::WriteOnly));
        eicar.write(Eicar.toLatin1());
        eicar.close();
        ASSERT_TRUE(QFile::link("../sample", prefix + "/dosdevices/t:"));
        QFile reg(temp.path() + "/scan.reg");
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
        reg.write("REGEDIT4\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin\\Find]\r\n"
                  "\"Selected\"=\"Sample\"\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin\\Find\\Sample]\r\n"
                  "\"Drives\"=\"t\"\r\n\"Exe\"=\"1\"\r\n\"Report\"=\"1\"\r\n\"Exit\"=\"1\"\r\n");
        reg.close();
        ASSERT_EQ(this->reg({"import", reg.fileName()}), 0);
    }

    // The settings tool that PATH names (SetUp made sure it is the install's).
    int reg(const QStringList& args) {
        int code = -1;
        run(programFolder + "/vallorin-reg", args, &code);
        return code;
    }

    QString root, toolkit;
};

TEST_F(InstalledProgram, TheSettingsToolFromPathRoundTripsAValue) {
    const QString key = "HKCU\\Software\\Tesmarine\\Vallorin\\Round trip";
    ASSERT_EQ(reg({"add", key, "/v", "Name with blanks", "/d", "a value, ß and all", "/f"}), 0);
    EXPECT_EQ(stored(key, "Name with blanks"), "a value, ß and all");
    EXPECT_TRUE(QFile::exists(prefix + "/user.db")); // the prefix of VALLORIN_PREFIX
}

TEST_F(InstalledProgram, AFreshPrefixOpensWithTheInstalledToolkitItsHelpAndAScan) {
    ASSERT_FALSE(QFileInfo::exists(prefix));
    startProgram();
    // The toolkit installed with the program is the fresh prefix's default.
    EXPECT_EQ(stored("HKLM\\SOFTWARE\\Dr Solomon's Software\\Anti-Virus", "InstallPath"), toolkit);
    // Its buttons are enabled: the encyclopedia opens from the toolkit's folder.
    clickWindowControl("SBtnEnc");
    EXPECT_FALSE(window("^veinfo95 Help$").isEmpty()) << "the encyclopedia did not open";
    // The program's own help, from the install's data folder.
    keys(mainWindow, {"alt+h"});
    EXPECT_FALSE(window(HelpWindow).isEmpty()) << "the help did not open";
    ASSERT_TRUE(exitProgram());

    addSampleDrive();
    startProgram();
    keys(mainWindow, {"alt+s"});
    ASSERT_TRUE(WaitFor([&] { return read("FindViru.Rep").contains("Viruses found:"); }))
        << "the installed scanner wrote no report";
    EXPECT_TRUE(read("FindViru.Rep").contains("T:\\tools\\eicar.com  Infected"))
        << read("FindViru.Rep").toStdString();
    const QString shown = viewedReport("btnFVrep");
    EXPECT_TRUE(shown.contains("T:\\tools\\eicar.com  Infected"))
        << "the view holds: " << shown.toStdString();
    EXPECT_TRUE(exitProgram());
}

TEST_F(InstalledProgram, APrefixOfAnOlderBuildLosesNothing) {
    // A prefix the build's own programs made, with the build's toolkit and the demo's settings.
    QProcess script;
    script.setProcessEnvironment(environment());
    script.start("bash", {VALLORIN_SOURCE_DIR "/scripts/make-demo-prefix.sh", prefix});
    ASSERT_TRUE(script.waitForFinished(30000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
    QFile report(prefix + "/FindViru.Rep");
    ASSERT_TRUE(report.open(QIODevice::WriteOnly));
    report.write("An older report\r\n");
    report.close();
    // A branch's keys and values, one line each.
    const auto listed = [&](const QString& key) {
        int code = -1;
        const QString out = run(programFolder + "/vallorin-reg", {"query", key, "/s"}, &code);
        return code == 0 ? out.split('\n', Qt::SkipEmptyParts) : QStringList();
    };
    const QStringList machineBefore = listed("HKLM\\SOFTWARE");
    const QStringList userBefore = listed("HKCU\\Software");
    ASSERT_FALSE(machineBefore.isEmpty());
    ASSERT_FALSE(userBefore.isEmpty());

    startProgram();
    ASSERT_TRUE(exitProgram());

    // The machine-wide branch is as it was: the older toolkit stays the prefix's toolkit.
    EXPECT_EQ(listed("HKLM\\SOFTWARE"), machineBefore);
    // Every line of the user's settings is still there (closing adds the pages' own settings).
    const QStringList userAfter = listed("HKCU\\Software");
    for (const QString& line : userBefore)
        EXPECT_TRUE(userAfter.contains(line)) << line.toStdString();
    EXPECT_EQ(read("FindViru.Rep"), "An older report\r\n");
    EXPECT_TRUE(QFileInfo(prefix + "/dosdevices/t:").isDir());
}

TEST_F(InstalledProgram, AMissingHelpFileIsToldClearly) {
    if (!OwnInstall())
        GTEST_SKIP() << "the files of an installed package are not changed";
    const QString help = InstallLayout::DataFolder(programFolder) + "Vallorin.hlp";
    ASSERT_TRUE(QFile::rename(help, help + ".away"));
    startProgram();
    keys(mainWindow, {"alt+h"});
    const QString box = window("^Warning$");
    ASSERT_FALSE(box.isEmpty()) << "no warning";
    // Its text, with the path looked at and what to do, is the help viewer's test's to check.
    keys(box, {"Return"});
    EXPECT_TRUE(gone("^Warning$"));
    EXPECT_TRUE(window(HelpWindow, 1000).isEmpty());
    EXPECT_TRUE(exitProgram());
}

} // namespace
