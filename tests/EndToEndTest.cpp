// End-to-end tests: the real program on a demo prefix, under an X server of the test's own,
// driven with the keyboard and the mouse through xdotool as a person would drive it. What is
// checked is what the toolkit received and wrote, and what the store holds afterwards.
#include "support/WaitFor.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include <signal.h>

namespace {

const QString Source = VALLORIN_SOURCE_DIR;
const QString ProgramKey = "HKCU\\Software\\Tesmarine\\Vallorin";
constexpr int ClientHeight = 453; // the main window's client area, below any painted caption

// The rectangle of a control in a form, relative to the form's top widget (group boxes and
// panels add their offsets).
std::optional<QRect> ControlRect(const QString& uiFile, const QString& control) {
    QFile file(Source + '/' + uiFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QXmlStreamReader xml(&file);
    struct Level {
        QString name;
        QPoint origin;
        bool placed = false;
    };
    QList<Level> stack;
    QString property;
    QRect rect;
    QString field;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString tag = xml.name().toString();
            if (tag == u"widget") {
                stack << Level{xml.attributes().value("name").toString(), {}, false};
            } else if (tag == u"property") {
                property = xml.attributes().value("name").toString();
            } else if (property == u"geometry" &&
                       (tag == u"x" || tag == u"y" || tag == u"width" || tag == u"height")) {
                field = tag;
            }
        } else if (xml.isCharacters() && !field.isEmpty()) {
            const int v = xml.text().toInt();
            if (field == u"x")
                rect.moveLeft(v);
            else if (field == u"y")
                rect.moveTop(v);
            else if (field == u"width")
                rect.setWidth(v);
            else
                rect.setHeight(v);
        } else if (xml.isEndElement()) {
            const QString tag = xml.name().toString();
            if (!field.isEmpty() && tag == field) {
                field.clear();
            } else if (tag == u"property") {
                if (property == u"geometry" && !stack.isEmpty() && !stack.last().placed) {
                    Level& level = stack.last();
                    level.placed = true;
                    // The form's own top widget is the origin of everything in it.
                    const QPoint parent =
                        stack.size() > 1 ? stack[stack.size() - 2].origin : QPoint();
                    level.origin = stack.size() > 1 ? parent + rect.topLeft() : QPoint();
                    if (level.name == control)
                        return QRect(level.origin, rect.size());
                }
                property.clear();
            } else if (tag == u"widget") {
                stack.removeLast();
            }
        }
    }
    return std::nullopt;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty()) << "VALLORIN_BIN names the built programs";
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(temp.isValid());
        prefix = temp.path() + "/prefix";
        QDir().mkpath(temp.path() + "/runtime");
        QFile::setPermissions(temp.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        startServer();
        QProcess script;
        script.setProcessEnvironment(environment());
        script.start("bash", {Source + "/scripts/make-demo-prefix.sh", prefix});
        ASSERT_TRUE(script.waitForFinished(30000));
        ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
    }

    void TearDown() override {
        if (program && program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished(5000);
        }
        // The toolkit programs are the program's children on this display; they end with it.
        if (server && server->state() != QProcess::NotRunning) {
            server->terminate();
            if (!server->waitForFinished(5000))
                server->kill();
            server->waitForFinished(5000);
        }
    }

    void startServer() {
        // Xvfb picks a free display itself and writes its number once it accepts clients, so
        // tests running side by side never share one.
        server = std::make_unique<QProcess>();
        server->start("Xvfb",
                      {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server->waitForStarted(5000)) << "Xvfb could not be started";
        QByteArray number;
        WaitFor([&] {
            server->waitForReadyRead(50);
            number += server->readAllStandardOutput();
            return number.contains('\n') || server->state() == QProcess::NotRunning;
        });
        ASSERT_TRUE(number.contains('\n') && server->state() == QProcess::Running)
            << "no X server could be started";
        display = ":" + QString::fromLatin1(number.trimmed());
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("WAYLAND_DISPLAY");
        env.insert("DISPLAY", display);
        env.insert("VALLORIN_PREFIX", prefix);
        env.insert("VALLORIN_BIN", bin);
        env.insert("XDG_RUNTIME_DIR", temp.path() + "/runtime");
        return env;
    }

    // Runs a tool to its end (bounded) and returns its standard output.
    QString run(const QString& tool, const QStringList& args, int* exitCode = nullptr) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(tool, args);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
        }
        if (exitCode)
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    QString xdo(const QStringList& args) { return run("xdotool", args).trimmed(); }

    void startProgram() {
        program = std::make_unique<QProcess>();
        program->setProcessEnvironment(environment());
        program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program->start(bin + "/vallorin", {});
        ASSERT_TRUE(program->waitForStarted(5000));
        mainWindow = window("^Control for Dr Solomon's AVTK$");
        ASSERT_FALSE(mainWindow.isEmpty()) << "the main window did not appear";
    }

    // The first window whose title matches, once it is there; empty when it does not come.
    QString window(const QString& title, int milliseconds = 30000) {
        QString id;
        WaitFor(
            [&] {
                id = xdo({"search", "--onlyvisible", "--name", title}).section('\n', 0, 0);
                return !id.isEmpty();
            },
            milliseconds);
        return id;
    }
    bool gone(const QString& title) {
        return WaitFor([&] { return xdo({"search", "--onlyvisible", "--name", title}).isEmpty(); });
    }
    // There is no window manager: the test gives the window the keyboard itself.
    void keys(const QString& windowId, const QStringList& keys) {
        xdo({"windowfocus", "--sync", windowId});
        xdo(QStringList{"key", "--delay", "30"} + keys);
    }
    void type(const QString& windowId, const QString& text) {
        xdo({"windowfocus", "--sync", windowId});
        xdo({"type", "--delay", "20", text});
    }
    // Brings a page to the front as a user does with the keyboard, from the first page.
    void page(int index) {
        for (int i = 0; i < index; ++i)
            keys(mainWindow, {"ctrl+Tab"});
    }
    // Clicks a control of a page at the place its form gives it.
    void click(const QString& uiFile, const QString& control) {
        const auto rect = ControlRect(uiFile, control);
        ASSERT_TRUE(rect) << control.toStdString() << " is not in " << uiFile.toStdString();
        const auto pages = ControlRect("src/shell/AVTKmain.ui", "PageControl");
        ASSERT_TRUE(pages);
        QMap<QString, int> g;
        for (const QString& line : xdo({"getwindowgeometry", "--shell", mainWindow}).split('\n'))
            g[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        // The page area lies below the tab row (22 pixels) inside the page control's frame, and
        // below the painted caption when the window wears one.
        const QPoint page = pages->topLeft() + QPoint(2, 22 + g["HEIGHT"] - ClientHeight);
        const QPoint at = QPoint(g["X"], g["Y"]) + page + rect->center();
        xdo({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
        xdo({"click", "1"});
    }

    QString read(const QString& relative) const {
        QFile file(prefix + '/' + relative);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The report's "Arguments:" line: what the toolkit program was started with.
    QString arguments(const QString& report) const {
        for (const QString& line : read(report).split("\r\n"))
            if (line.startsWith("Arguments: "))
                return line.mid(11);
        return {};
    }
    std::optional<QString> stored(const QString& key, const QString& value) {
        int code = 0;
        const QString out = run(bin + "/vallorin-reg", {"query", key, "/v", value}, &code);
        if (code != 0)
            return std::nullopt;
        for (const QString& line : out.split('\n')) {
            const QStringList parts = line.trimmed().split("    ");
            if (parts.size() >= 2 && parts[0].compare(value, Qt::CaseInsensitive) == 0)
                return parts.size() > 2 ? parts[2] : QString();
        }
        return std::nullopt;
    }
    bool keyExists(const QString& key) {
        int code = 0;
        run(bin + "/vallorin-reg", {"query", key}, &code);
        return code == 0;
    }
    bool exitProgram() {
        keys(mainWindow, {"alt+x"});
        return program->waitForFinished(30000);
    }

    QString bin, prefix, display, mainWindow;
    QTemporaryDir temp{QDir::tempPath() + "/vallorin-e2e-XXXXXX"};
    std::unique_ptr<QProcess> server, program;
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
    page(4);
    click("src/shell/ViewSheet.ui", "btnFVrep");
    click("src/shell/ViewSheet.ui", "ViewWin");
    keys(mainWindow, {"ctrl+a", "ctrl+c"});
    const QString shown = run(bin + "/vallorin-clipboard", {});
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
    const QString toolkit = QDir::cleanPath(bin + "/../toolkit") + '/';
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
    const QString finding = "T:\\arrived.com  Infected: EICAR-Test-File";
    ASSERT_TRUE(WaitFor([&] { return read("guard.log").contains(finding); }))
        << read("guard.log").toStdString();

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
