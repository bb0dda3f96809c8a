#include "support/DesktopSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QPoint>
#include <QStandardPaths>
#include <QThread>
#include <QXmlStreamReader>

namespace {

const QString Source = VALLORIN_SOURCE_DIR;
constexpr int ClientHeight = 453; // the main window's client area, below any painted caption

} // namespace

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

void DesktopSession::SetUp() {
    bin = qEnvironmentVariable("VALLORIN_BIN");
    ASSERT_FALSE(bin.isEmpty()) << "VALLORIN_BIN names the built programs";
    if (programFolder.isEmpty())
        programFolder = bin;
    for (const char* tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    ASSERT_TRUE(temp.isValid());
    prefix = temp.path() + "/prefix";
    QDir().mkpath(temp.path() + "/runtime");
    QFile::setPermissions(temp.path() + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    startServer();
}

void DesktopSession::TearDown() {
    if (program && program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished(5000);
    }
    // The toolkit's programs are the program's children on this display; they end with it.
    if (server && server->state() != QProcess::NotRunning) {
        server->terminate();
        if (!server->waitForFinished(5000))
            server->kill();
        server->waitForFinished(5000);
    }
}

void DesktopSession::startServer() {
    // Each test process starts at a display number of its own, past the low numbers: a display
    // that one test's server has just left can be taken by the next before the old server has
    // removed its socket, which then leaves the new server unreachable. Xvfb writes the number
    // once it accepts clients, or ends when the display is taken, and the next one is tried.
    const int first = 100 + int(QCoreApplication::applicationPid() % 5000);
    for (int number = first; number < first + 20; ++number) {
        server = std::make_unique<QProcess>();
        // -noreset: by default the server resets whenever its last client leaves (a program
        // closed, an xdotool call done), and a client connecting during the reset is refused.
        server->start("Xvfb", {":" + QString::number(number), "-displayfd", "1", "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp", "-noreset"});
        ASSERT_TRUE(server->waitForStarted(5000)) << "Xvfb could not be started";
        QByteArray ready;
        WaitFor([&] {
            server->waitForReadyRead(50);
            ready += server->readAllStandardOutput();
            return ready.contains('\n') || server->state() == QProcess::NotRunning;
        });
        if (ready.contains('\n') && server->state() == QProcess::Running) {
            display = ":" + QString::fromLatin1(ready.trimmed());
            return;
        }
    }
    FAIL() << "no X server could be started";
}

QProcessEnvironment DesktopSession::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    env.insert("DISPLAY", display);
    env.insert("VALLORIN_PREFIX", prefix);
    env.insert("VALLORIN_BIN", bin);
    env.insert("XDG_RUNTIME_DIR", temp.path() + "/runtime");
    return env;
}

QString DesktopSession::run(const QString& tool, const QStringList& args, int* exitCode) {
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

void DesktopSession::startProgram() {
    program = std::make_unique<QProcess>();
    program->setProcessEnvironment(environment());
    program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program->start(programFolder + "/vallorin", {});
    ASSERT_TRUE(program->waitForStarted(5000));
    mainWindow = window("^Control for Dr Solomon's AVTK$");
    ASSERT_FALSE(mainWindow.isEmpty()) << "the main window did not appear";
}

QString DesktopSession::window(const QString& title, int milliseconds) {
    QString id;
    WaitFor(
        [&] {
            id = xdo({"search", "--onlyvisible", "--name", title}).section('\n', 0, 0);
            return !id.isEmpty();
        },
        milliseconds);
    return id;
}

bool DesktopSession::gone(const QString& title) {
    return WaitFor([&] { return xdo({"search", "--onlyvisible", "--name", title}).isEmpty(); });
}

void DesktopSession::keys(const QString& windowId, const QStringList& keys) {
    xdo({"windowfocus", "--sync", windowId});
    xdo(QStringList{"key", "--delay", "30"} + keys);
}

void DesktopSession::type(const QString& windowId, const QString& text) {
    xdo({"windowfocus", "--sync", windowId});
    xdo({"type", "--delay", "20", text});
}

void DesktopSession::page(int index) {
    for (int i = 0; i < index; ++i)
        keys(mainWindow, {"ctrl+Tab"});
}

void DesktopSession::clickAt(QPoint inForm, int pageTop) {
    QMap<QString, int> g;
    for (const QString& line : xdo({"getwindowgeometry", "--shell", mainWindow}).split('\n'))
        g[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    // Below the painted caption when the window wears one.
    const QPoint at =
        QPoint(g["X"], g["Y"] + g["HEIGHT"] - ClientHeight) + QPoint(0, pageTop) + inForm;
    xdo({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
    xdo({"click", "1"});
}

void DesktopSession::click(const QString& uiFile, const QString& control) {
    const auto rect = ControlRect(uiFile, control);
    ASSERT_TRUE(rect) << control.toStdString() << " is not in " << uiFile.toStdString();
    const auto pages = ControlRect("src/shell/AVTKmain.ui", "PageControl");
    ASSERT_TRUE(pages);
    // The page area lies below the tab row (22 pixels) inside the page control's frame.
    clickAt(pages->topLeft() + QPoint(2, 0) + rect->center(), 22);
}

void DesktopSession::clickWindowControl(const QString& control) {
    const auto rect = ControlRect("src/shell/AVTKmain.ui", control);
    ASSERT_TRUE(rect) << control.toStdString() << " is not in the main window";
    clickAt(rect->center(), 0);
}

QString DesktopSession::clipboard() {
    return run(bin + "/vallorin-clipboard", {});
}

QString DesktopSession::viewedReport(const QString& button) {
    page(4);
    click("src/shell/ViewSheet.ui", button);
    click("src/shell/ViewSheet.ui", "ViewWin");
    keys(mainWindow, {"ctrl+a", "ctrl+c"});
    return clipboard();
}

QString DesktopSession::read(const QString& relative) const {
    QFile file(prefix + '/' + relative);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DesktopSession::arguments(const QString& report) const {
    for (const QString& line : read(report).split("\r\n"))
        if (line.startsWith("Arguments: "))
            return line.mid(11);
    return {};
}

std::optional<QString> DesktopSession::stored(const QString& key, const QString& value) {
    int code = 0;
    const QString out = run(programFolder + "/vallorin-reg", {"query", key, "/v", value}, &code);
    if (code != 0)
        return std::nullopt;
    for (const QString& line : out.split('\n')) {
        const QStringList parts = line.trimmed().split("    ");
        if (parts.size() >= 2 && parts[0].compare(value, Qt::CaseInsensitive) == 0)
            return parts.size() > 2 ? parts[2] : QString();
    }
    return std::nullopt;
}

bool DesktopSession::keyExists(const QString& key) {
    int code = 0;
    run(programFolder + "/vallorin-reg", {"query", key}, &code);
    return code == 0;
}

bool DesktopSession::exitProgram() {
    keys(mainWindow, {"alt+x"});
    return program->waitForFinished(30000);
}
