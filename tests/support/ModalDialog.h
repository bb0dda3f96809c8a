#pragma once

#include <QWidget>

#include <chrono>
#include <functional>

// The one way a test drives a real modal dialog. open() shows it (a click, a handler); while
// it is up, act runs on it. A dialog that act leaves open is closed, and a dialog of another
// kind, or none, within the timeout fails the test and is closed: a failing check never hangs
// the test.
struct ModalRun {
    bool opened = false;   // a dialog of the kind came up and act ran on it
    bool leftOpen = false; // act left it open (it was closed afterwards)
};

using namespace std::chrono_literals;

ModalRun RunModal(const std::function<void()>& open, const std::function<bool(QWidget&)>& ofTheKind,
                  const std::function<void(QWidget&)>& act,
                  std::chrono::milliseconds timeout = 10s);

template <class Dialog>
ModalRun DriveModal(const std::function<void()>& open, const std::function<void(Dialog&)>& act,
                    std::chrono::milliseconds timeout = 10s) {
    return RunModal(
        open, [](QWidget& modal) { return qobject_cast<Dialog*>(&modal) != nullptr; },
        [&act](QWidget& modal) { act(*qobject_cast<Dialog*>(&modal)); }, timeout);
}
