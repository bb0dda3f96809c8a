#pragma once

#include "platform/Help.h"
#include "platform/ProgramStart.h"
#include "platform/Prompts.h"
#include "shell/QtDialogs.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

class QApplication;
class QWidget;
class TMainForm;

// Seams that never wait for anyone: a benchmark must not stop at a box.
class SilentPrompts : public Prompts {
public:
    int shown = 0;
    MessageAnswer message(MessageKind, const QString&, MessageButtons) override;
    void errorBox(const QString&) override { ++shown; }
    bool openFile(FileDialogOptions&) override { return false; }
    bool saveFile(FileDialogOptions&) override { return false; }
};
class NoStarter : public ProgramStarter {
public:
    int start(const QString&) override { return 33; }
};
class NoHelp : public HelpService {
public:
    void showHelp(const QString&, int, int) override {}
};

// A prefix as a long-used installation has it: scans scan and checks check definitions, and a
// toolkit folder of files files, lists of them ".lst" files, registered under the toolkit key.
class BenchPrefix {
public:
    BenchPrefix(int scans, int checks, int files, int lists);
    QString folder() const { return dir.path() + '/'; }
    QString toolkitFolder() const { return folder() + "toolkit/"; }

private:
    QTemporaryDir dir;
};

// The main window on a prefix, as the program creates it, and shown.
class BenchWindow {
public:
    explicit BenchWindow(const QString& prefix);
    ~BenchWindow();
    TMainForm& form() { return *window; }
    SilentPrompts prompts;

private:
    NoStarter starter;
    NoHelp help;
    QtDialogs dialogs;
    std::unique_ptr<TMainForm> window;
};

// The floor of the start-up: a bare window holding a page control with five tabs.
std::unique_ptr<QWidget> BareTabWindow();

// Waits until the window has been shown and painted.
void ShowAndSettle(QWidget& window);

// The resident set of this process in kB (VmRSS).
long ResidentKilobytes();
// A figure in kB of a process's status ("self" or a process id; field "VmRSS:", "VmHWM:"),
// -1 when it has none.
long StatusKilobytes(const std::string& process, const char* field);

// The benchmark main: an offscreen application with the program's style, then the benchmarks.
int RunBenchmarks(int argc, char** argv);
