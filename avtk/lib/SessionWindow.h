#pragma once

#include <QString>
#include <QtGlobal>

// The window side of a Session. It lives in a module of its own beside the programs, loaded only
// when a display is there, so that a run without one never loads the widget libraries (several
// megabytes of resident memory); only QtCore types cross between the program and the module.
class SessionWindow {
public:
    virtual ~SessionWindow() = default;

    virtual void setRequest(const QString& text) = 0;
    virtual void addLine(const QString& text) = 0;
    virtual void setCurrent(const QString& item) = 0;
    virtual void setProgress(qint64 done, qint64 total) = 0;
    // Returns the finding's row, for setFindingAction once the action is done.
    virtual int addFinding(const QString& file, const QString& virus, const QString& action) = 0;
    virtual void setFindingAction(int row, const QString& action) = 0;
    virtual void setPreventExit(bool prevent) = 0;
    virtual bool stopRequested() const = 0;
    virtual void beep() = 0;
    virtual bool ask(const QString& question) = 0;
    virtual void setDone(const QString& result) = 0;
    // Runs the window until the user closes it.
    virtual void waitForClose() = 0;
};

// The module's file name in the toolkit folder, and its one entry point: it creates the
// application object with widgets and shows the window.
inline constexpr char SessionWindowModule[] = "avtk-window.so";
inline constexpr char SessionWindowEntry[] = "avtk_open_session_window";
using OpenSessionWindow = SessionWindow* (*)(int& argc, char** argv, const QString& title);
