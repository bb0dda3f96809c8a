#include "lib/Session.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include <unistd.h>

Session::Session(int& argc, char** argv, const QString& title) {
    if (!DisplayAvailable()) {
        app = std::make_unique<QCoreApplication>(argc, argv);
        std::printf("%s\n", qPrintable(title));
        return;
    }
    app = std::make_unique<QApplication>(argc, argv);
    window = new QWidget;
    window->setWindowTitle(title);
    window->resize(520, 340);
    auto* layout = new QVBoxLayout(window);
    request = new QLabel(window);
    request->setWordWrap(true);
    request->setTextInteractionFlags(Qt::TextSelectableByMouse);
    log = new QPlainTextEdit(window);
    log->setReadOnly(true);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    status = new QLabel("Working...", window);
    button = new QPushButton("&Cancel", window);
    layout->addWidget(request);
    layout->addWidget(log, 1);
    layout->addWidget(status);
    layout->addWidget(button, 0, Qt::AlignRight);
    connect(button, &QPushButton::clicked, this, [this] {
        if (done)
            window->close();
        else
            cancelRequested = true;
    });
    window->installEventFilter(this);
    window->show();
    sinceEvents.start();
    breathe(true);
}

Session::~Session() {
    delete window;
}

bool Session::DisplayAvailable() {
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return display && qEnvironmentVariable("QT_QPA_PLATFORM") != u"offscreen";
}

void Session::asked(const QString& text) {
    if (window)
        request->setText("Asked: " + text);
    else
        std::printf("Asked: %s\n", qPrintable(text));
}

void Session::line(const QString& text) {
    if (window) {
        log->appendPlainText(text);
        breathe(false);
    } else {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    }
}

void Session::progress(const QString& item) {
    if (window) {
        status->setText(item);
        breathe(false);
    }
}

void Session::setPreventExit(bool prevent) {
    preventExit = prevent;
    if (button && !done)
        button->setEnabled(!prevent);
}

bool Session::cancelled() {
    breathe(false);
    return cancelRequested;
}

void Session::beep() {
    if (window)
        QApplication::beep();
    else if (::isatty(STDOUT_FILENO))
        std::printf("\a");
}

int Session::finish(const QString& result, int exitCode, bool autoExit) {
    done = true;
    if (!window) {
        std::printf("%s\n", qPrintable(result));
        std::fflush(stdout);
        return exitCode;
    }
    status->setText(result);
    button->setText("&Close");
    button->setEnabled(true);
    button->setDefault(true);
    button->setFocus();
    if (autoExit) {
        breathe(true);
        return exitCode;
    }
    app->exec(); // until the window is closed
    return exitCode;
}

bool Session::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window && event->type() == QEvent::Close && !done) {
        // Closing the window while the work runs cancels it, unless that is prevented.
        if (!preventExit)
            cancelRequested = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void Session::breathe(bool now) {
    if (now || sinceEvents.elapsed() >= 40) {
        QCoreApplication::processEvents();
        sinceEvents.restart();
    }
}
