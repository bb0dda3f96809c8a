#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class QCoreApplication;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// One run of a toolkit program as the user sees it: a small window with the request, a log,
// the current item and a Cancel/Close button when a display is there, plain lines on standard
// output otherwise. The work runs on this thread and lets the window breathe between items.
class Session : public QObject {
public:
    // Creates the application object, with widgets only when a display is there.
    Session(int& argc, char** argv, const QString& title);
    ~Session() override;

    static bool DisplayAvailable();
    bool windowed() const { return window != nullptr; }

    // "What I was asked": the program and its arguments, shown at the top.
    void asked(const QString& request);
    void line(const QString& text);
    void progress(const QString& item);
    // While set, the user cannot cancel the run (the toolkit's "prevent user exit").
    void setPreventExit(bool prevent);
    // True once the user asked to cancel; gives the window its events first.
    bool cancelled();
    void beep();

    // Shows the result. Without auto-exit a window stays until the user closes it; with no
    // display the run always ends here. Returns the exit code to end with.
    int finish(const QString& result, int exitCode, bool autoExit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void breathe(bool now);

    std::unique_ptr<QCoreApplication> app;
    QWidget* window = nullptr;
    QLabel* request = nullptr;
    QPlainTextEdit* log = nullptr;
    QLabel* status = nullptr;
    QPushButton* button = nullptr;
    QElapsedTimer sinceEvents;
    bool preventExit = false;
    bool cancelRequested = false;
    bool done = false;
};
