// End-to-end tests: the real program on a demo prefix, under an X server of the test's own,
// driven with the keyboard and the mouse through xdotool as a person would drive it. What is
// checked is what the toolkit received and wrote, and what the store holds afterwards.
#include "platform/InstallLayout.h"
#include "support/DesktopSession.h"

#include <QDir>
#include <QFile>

#include <signal.h>

namespace {

const QString Source = VALLORIN_SOURCE_DIR;
const QString ProgramKey = "HKCU\\Software\\Tesmarine\\Vallorin";

// The session on a prefix made by the demo script.
class Desktop : public DesktopSession {
protected:
    void SetUp() override {
        DesktopSession::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QProcess script;
        script.setProcessEnvironment(environment());
        script.start("bash", {Source + "/scripts/make-demo-prefix.sh", prefix});
        ASSERT_TRUE(script.waitForFinished(30000));
        ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
    }
};

TEST_F(Desktop, ExitWithTheKeyboardStoresTheSelectedNames) {
    // No scan selected: nothing is selected at start, and an empty name is stored at the close.
    run(bin + "/vallorin-reg", {"delete", ProgramKey + "\\Find", "/v", "Selected", "/f"});
    ASSERT_FALSE(stored(ProgramKey + "\\Find", "Selected"));
    startProgram();
    ASSERT_TRUE(exitProgram());
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_EQ(stored(ProgramKey + "\\Find", "Selected"), "");
    EXPECT_EQ(stored(ProgramKey + "\\Verify", "Selected"), "Sample drive");
}

TEST_F(Desktop, ScanOfTheSampleDriveFindsTheTestFileAndTheViewShowsTheReport) {
    startProgram();
    keys(mainWindow, {"alt+s"});
    ASSERT_FALSE(window("^FindVirus").isEmpty()) << "the scanner's window did not appear";
    ASSERT_TRUE(WaitFor([&] { return read("FindViru.Rep").contains("Viruses found:"); }));
    // The command line of the stored definition, switch by switch.
    EXPECT_EQ(arguments("FindViru.Rep"), "/D=t: /U /NOPACK /BEEP /LOUD /REPORT=FindViru.Rep");
    const QString report = read("FindViru.Rep");
    EXPECT_TRUE(report.contains("T:\\tools\\eicar.com  Infected: EICAR-Test-File"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("T:\\archive\\tools.zip > eicar.com  Infected: EICAR-Test-File"));
    EXPECT_TRUE(report.contains("Viruses found: 2"));
    // Without "Exit on scan completion" the scanner's window stays until it is closed.
    const QString scanner = window("^FindVirus");
    keys(scanner, {"alt+c"});
    ASSERT_TRUE(gone("^FindVirus"));
    EXPECT_NE(stored(ProgramKey + "\\Find\\Sample drive", "LastScan").value_or("0"), "0");

    // The View page shows the report: its text, copied from the view, is the report's.
    const QString shown = viewedReport("btnFVrep");
    EXPECT_TRUE(shown.contains("T:\\tools\\eicar.com  Infected: EICAR-Test-File"))
        << "the view holds: " << shown.toStdString();
    EXPECT_TRUE(exitProgram());
}

TEST_F(Desktop, VerifyAfterAFileChangedReportsTheChange) {
    startProgram();
    page(2);
    keys(mainWindow, {"alt+c"}); // " &Compute fingerprints"
    ASSERT_FALSE(window("^ViVerify").isEmpty()) << "the checker's window did not appear";
    ASSERT_TRUE(WaitFor([&] { return read("Verify.Rep").contains("Fingerprints computed."); }));
    EXPECT_EQ(arguments("Verify.Rep"),
              "/CREATE /D=t: /X=******** /FF=" + prefix +
                  "/Prints/Sample drive /CRC /N=5 /BEEP /REPORT=Verify.Rep");
    EXPECT_TRUE(QFile::exists(prefix + "/Prints/Sample drive.vvf"));
    keys(window("^ViVerify"), {"alt+c"});
    ASSERT_TRUE(gone("^ViVerify"));

    QFile changed(prefix + "/sample/readme.txt");
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("a line more\r\n");
    changed.close();
    QFile::remove(prefix + "/Verify.Rep");
    keys(mainWindow, {"alt+v"}); // "   &Verify fingerprints"
    ASSERT_TRUE(WaitFor([&] { return read("Verify.Rep").contains("Changes found."); }))
        << read("Verify.Rep").toStdString();
    const QString report = read("Verify.Rep");
    // The seal of the fingerprint file took the keyword: the checker got it whole, blank and all.
    EXPECT_FALSE(report.contains("keyword does not match"));
    EXPECT_TRUE(report.contains("Changed: T:\\readme.txt")) << report.toStdString();
    EXPECT_TRUE(report.contains("changed: 1, new: 0, missing: 0"));
    EXPECT_NE(stored(ProgramKey + "\\Verify\\Sample drive", "CheckDate").value_or("0"), "0");
    keys(window("^ViVerify"), {"alt+c"});
    EXPECT_TRUE(exitProgram());
}

TEST_F(Desktop, AnAddedDefinitionIsStoredWhenTheProgramCloses) {
    startProgram();
    click("src/scan/FindSheet.ui", "SBtnAddScan");
    const QString dialog = window("Add definition");
    ASSERT_FALSE(dialog.isEmpty()) << "the Add dialog did not appear";
    type(dialog, "Nightly");
    keys(dialog, {"Return"});
    ASSERT_TRUE(gone("Add definition"));
    ASSERT_TRUE(exitProgram());
    EXPECT_TRUE(keyExists(ProgramKey + "\\Find\\Nightly"));
    EXPECT_EQ(stored(ProgramKey + "\\Find", "Selected"), "Nightly");
    // The new definition took the page as it stood: the sample drive's options.
    EXPECT_EQ(stored(ProgramKey + "\\Find\\Nightly", "Drives"), "t");
    EXPECT_EQ(stored(ProgramKey + "\\Find\\Nightly", "LastScan"), "0");
    EXPECT_EQ(stored(ProgramKey + "\\Verify", "Selected"), "Sample drive");
}

TEST_F(Desktop, ApplyOnTheGuardPageInstallsTheGuard) {
    const QString driverKey = "HKLM\\System\\CurrentControlSet\\Services\\VXD\\WinGuard";
    const QString runServices = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
    ASSERT_FALSE(keyExists(driverKey));
    startProgram();
    page(3);
    click("src/guard/GuardSheet.ui", "ChkBoxEnable");
    // Alt+A also names "&About...", so the keys only move the focus between the two: click.
    click("src/guard/GuardSheet.ui", "SBtnApply");
    ASSERT_TRUE(WaitFor([&] { return keyExists(driverKey); })) << "the driver key was not made";
    const QString toolkit = InstallLayout::ToolkitFolder(bin);
    EXPECT_EQ(stored(driverKey, "StaticVxD"), toolkit + "WINGRD95.386");
    EXPECT_EQ(stored(driverKey, "FILEALERT"), "File <file> is infected with the <virus> virus!!!");
    EXPECT_EQ(stored(runServices, "WinGuard"), toolkit + "WGFE95.EXE");
    // The restart notice follows the apply.
    const QString notice = window("^Information$");
    ASSERT_FALSE(notice.isEmpty()) << "no restart notice";
    keys(notice, {"Return"});
    EXPECT_TRUE(gone("^Information$"));
    EXPECT_TRUE(exitProgram());
}

TEST_F(Desktop, TheServicesStarterStartsTheInstalledGuardAndTheViewShowsItsLog) {
    const QString driverKey = "HKLM\\System\\CurrentControlSet\\Services\\VXD\\WinGuard";
    const QString log = prefix + "/guard.log";
    // The page's own copy of the settings: the sample drive, and a log.
    for (const QStringList& value : {QStringList{"Drives", "t"}, QStringList{"UseLog", "1"},
                                     QStringList{"Long_logfilename", log}})
        run(bin + "/vallorin-reg",
            {"add", ProgramKey + "\\Guard", "/v", value[0], "/d", value[1], "/f"});
    startProgram();
    page(3);
    click("src/guard/GuardSheet.ui", "ChkBoxEnable");
    click("src/guard/GuardSheet.ui", "SBtnApply");
    ASSERT_TRUE(WaitFor([&] { return keyExists(driverKey); })) << "the driver key was not made";
    const QString notice = window("^Information$");
    ASSERT_FALSE(notice.isEmpty()) << "no restart notice";
    keys(notice, {"Return"});
    ASSERT_TRUE(gone("^Information$"));

    int code = -1;
    run(bin + "/vallorin-services", {}, &code);
    EXPECT_EQ(code, 0);
    // The guard is no child of this test: it is stopped through the process number it holds.
    struct StopGuard {
        QString pidFile;
        ~StopGuard() {
            QFile file(pidFile);
            if (file.open(QIODevice::ReadOnly))
                if (const int pid = file.readAll().trimmed().toInt(); pid > 0)
                    ::kill(pid, SIGTERM);
        }
    } stopGuard{prefix + "/WGFE95.pid"};
    ASSERT_TRUE(WaitFor([&] { return read("guard.log").contains("Watching: T: ("); }))
        << read("guard.log").toStdString();

    QFile sample(prefix + "/sample/arrived.com");
    ASSERT_TRUE(sample.open(QIODevice::WriteOnly));
    sample.write(
        QByteArray::fromHex("58354f2150254041505b345c505a58353428505e2937434329377d2445494341"
                            "522d5354414e444152442d414e544956495255532d544553542d46494c45"
                            "2124482b482a"));
    sample.close();
    // Opened as a user would: where the guard runs with fanotify (as root) on a mount of the
    // drive's own, the file is checked then, and the opening refused; with inotify, or on the
    // mount of the system's folders, it was checked when written.
    const bool opened = sample.open(QIODevice::ReadOnly);
    sample.close();
    const QString finding = "T:\\arrived.com  Infected: EICAR-Test-File";
    ASSERT_TRUE(WaitFor([&] { return read("guard.log").contains(finding); }))
        << read("guard.log").toStdString();
    EXPECT_EQ(opened, !read("guard.log").contains("Mode: fanotify") ||
                          read("guard.log").contains("on the mount of the system's folders"));

    // The View page shows the guard log.
    page(1);
    click("src/shell/ViewSheet.ui", "btnGuardLog");
    click("src/shell/ViewSheet.ui", "ViewWin");
    keys(mainWindow, {"ctrl+a", "ctrl+c"});
    const QString shown = run(bin + "/vallorin-clipboard", {});
    EXPECT_TRUE(shown.contains(finding)) << "the view holds: " << shown.toStdString();
    EXPECT_TRUE(exitProgram());
    QFile pid(prefix + "/WGFE95.pid");
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    ::kill(pid.readAll().trimmed().toInt(), SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return read("guard.log").contains("WinGuard stopped (SIGTERM)."); }));
}

} // namespace
