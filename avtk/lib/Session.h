#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class QCoreApplication;
class SessionWindow;

// One run of a toolkit program as the user sees it: a window when a display is there (from the
// window module beside the program), plain lines on standard output otherwise. The work's own
// thread lets the window breathe between items.
class Session : public QObject {
public:
    // Creates the application object, with widgets only when a display is there and the window
    // module loads; without it the run goes on in plain lines and says why.
    Session(int& argc, char** argv, const QString& title);
    ~Session() override;

    static bool DisplayAvailable();
    bool windowed() const { return window != nullptr; }

    // "What I was asked": the program and its arguments, shown at the top.
    void asked(const QString& request);
    void line(const QString& text);
    void progress(const QString& item);
    // Files done of files counted (window only).
    void counts(qint64 done, qint64 total);
    // A finding, and its number for a later word on what was done about it.
    int finding(const QString& file, const QString& virus, const QString& action);
    void setFindingAction(int finding, const QString& action);
    // While set, the user cannot stop the run (the toolkit's "prevent user exit").
    void setPreventExit(bool prevent);
    // True once the user asked to stop; gives the window its events first.
    bool cancelled();
    void beep();
    // Asks the user a yes/no question (the window's box, or the terminal); no one to ask
    // (neither a display nor a terminal) answers no. With `pipedAnswer`, a line on standard input
    // answers without a display even when it is no terminal (a script's "y"); its end answers no.
    bool ask(const QString& question, bool pipedAnswer = false);

    // Shows the result. Without auto-exit a window stays until the user closes it; with no
    // display the run always ends here. Returns the exit code to end with.
    int finish(const QString& result, int exitCode, bool autoExit);

private:
    void breathe(bool now);
    // Loads the window module from the program's folder; null with `error` set when it cannot.
    static SessionWindow* OpenWindow(int& argc, char** argv, const QString& title, QString& error);

    std::unique_ptr<QCoreApplication> app; // without a window
    std::unique_ptr<SessionWindow> window; // owns the application object with widgets
    QElapsedTimer sinceEvents;
};
