#pragma once

#include "support/WaitFor.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

// The rectangle of a control in a form of the source tree, relative to the form's top widget
// (group boxes and panels add their offsets).
std::optional<QRect> ControlRect(const QString& uiFile, const QString& control);

// The real program on a prefix of the test's own, under an X server of the test's own, driven
// with the keyboard and the mouse through xdotool as a person would drive it. The test programs
// (the clipboard reader) are those of VALLORIN_BIN; the program and vallorin-reg are those of
// programFolder, the build's unless a test says otherwise.
class DesktopSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QProcessEnvironment environment() const;
    // Runs a tool to its end (bounded) and returns its standard output.
    QString run(const QString& tool, const QStringList& args, int* exitCode = nullptr);
    QString xdo(const QStringList& args) { return run("xdotool", args).trimmed(); }

    // Starts the panel and waits for its main window.
    void startProgram();
    // The first window whose title matches, once it is there; empty when it does not come.
    QString window(const QString& title, int milliseconds = 30000);
    bool gone(const QString& title);
    // There is no window manager: the test gives the window the keyboard itself.
    void keys(const QString& windowId, const QStringList& keys);
    void type(const QString& windowId, const QString& text);
    // Brings a page to the front as a user does with the keyboard, from the first page.
    void page(int index);
    // Clicks a control of a page at the place its form gives it.
    void click(const QString& uiFile, const QString& control);
    // Clicks a control of the main window itself (below the pages).
    void clickWindowControl(const QString& control);
    // The text of the View page after its report button was clicked, copied from the view.
    QString viewedReport(const QString& button);
    // The text X's clipboard holds.
    QString clipboard();

    // A file of the prefix, as text.
    QString read(const QString& relative) const;
    // The report's "Arguments:" line: what the toolkit program was started with.
    QString arguments(const QString& report) const;
    std::optional<QString> stored(const QString& key, const QString& value);
    bool keyExists(const QString& key);
    bool exitProgram();

    QString bin;           // the test programs
    QString programFolder; // vallorin and vallorin-reg
    QString prefix, display, mainWindow;
    QTemporaryDir temp{QDir::tempPath() + "/vallorin-e2e-XXXXXX"};
    std::unique_ptr<QProcess> server, program;

private:
    void startServer();
    void clickAt(QPoint inForm, int pageTop);
};
