#include "lib/Session.h"

#include "lib/SessionWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>

Session::Session(int& argc, char** argv, const QString& title) {
    QString windowError;
    if (DisplayAvailable())
        window.reset(OpenWindow(argc, argv, title, windowError));
    if (!window) {
        app = std::make_unique<QCoreApplication>(argc, argv);
        std::printf("%s\n", qPrintable(title));
        if (!windowError.isEmpty())
            std::printf("The window could not be opened (%s): the run goes on here.\n",
                        qPrintable(windowError));
        return;
    }
    sinceEvents.start();
    breathe(true);
}

Session::~Session() = default;

SessionWindow* Session::OpenWindow(int& argc, char** argv, const QString& title, QString& error) {
    // The program's own folder, as the application object (not made yet) would give it.
    const QString folder = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    // Never unloaded: the window's code runs until the process ends.
    QLibrary module(folder + u'/' + QLatin1String(SessionWindowModule));
    const auto open = reinterpret_cast<OpenSessionWindow>(module.resolve(SessionWindowEntry));
    if (!open) {
        error = module.errorString();
        return nullptr;
    }
    return open(argc, argv, title);
}

bool Session::DisplayAvailable() {
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return display && qEnvironmentVariable("QT_QPA_PLATFORM") != u"offscreen";
}

void Session::asked(const QString& text) {
    if (window)
        window->setRequest(text);
    else
        std::printf("Asked: %s\n", qPrintable(text));
}

void Session::line(const QString& text) {
    if (window) {
        window->addLine(text);
        breathe(false);
    } else {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    }
}

void Session::progress(const QString& item) {
    if (window) {
        window->setCurrent(item);
        breathe(false);
    }
}

void Session::counts(qint64 done, qint64 total) {
    if (window)
        window->setProgress(done, total);
}

int Session::finding(const QString& file, const QString& virus, const QString& action) {
    return window ? window->addFinding(file, virus, action) : -1;
}

void Session::setFindingAction(int finding, const QString& action) {
    if (window)
        window->setFindingAction(finding, action);
}

void Session::setPreventExit(bool prevent) {
    if (window)
        window->setPreventExit(prevent);
}

bool Session::cancelled() {
    breathe(false);
    return window && window->stopRequested();
}

void Session::beep() {
    if (window)
        window->beep();
    else if (::isatty(STDOUT_FILENO))
        std::printf("\a");
}

bool Session::ask(const QString& question, bool pipedAnswer) {
    if (window)
        return window->ask(question);
    if (!pipedAnswer && !::isatty(STDIN_FILENO))
        return false;
    std::printf("%s [y/N] ", qPrintable(question));
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    if (!::isatty(STDIN_FILENO)) // the piped answer is not echoed: show it with its question
        std::printf("%s\n", answer.c_str());
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Session::finish(const QString& result, int exitCode, bool autoExit) {
    if (!window) {
        std::printf("%s\n", qPrintable(result));
        std::fflush(stdout);
        return exitCode;
    }
    window->setDone(result);
    if (autoExit) {
        breathe(true);
        return exitCode;
    }
    window->waitForClose();
    return exitCode;
}

void Session::breathe(bool now) {
    if (now || sinceEvents.elapsed() >= 40) {
        QCoreApplication::processEvents();
        sinceEvents.restart();
    }
}
