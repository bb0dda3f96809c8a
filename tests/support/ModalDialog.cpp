#include "ModalDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

ModalRun RunModal(const std::function<void()>& open, const std::function<bool(QWidget&)>& ofTheKind,
                  const std::function<void(QWidget&)>& act, std::chrono::milliseconds timeout) {
    ModalRun run;
    QElapsedTimer clock;
    bool timedOut = false;
    // A local timer polls inside the dialog's own event loop; it cannot fire into a later test.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!run.opened && modal && ofTheKind(*modal)) {
            run.opened = true;
            act(*modal);
            // The dialog may have freed itself on closing.
            if (modal && modal->isVisible()) {
                run.leftOpen = true;
                modal->close();
            }
            return;
        }
        if (clock.elapsed() < timeout.count())
            return;
        if (!timedOut) {
            timedOut = true;
            ADD_FAILURE() << (modal ? "a modal dialog of another kind stayed up"
                                    : "the dialog did not come up in time");
        }
        if (modal)
            modal->close();
    });
    clock.start();
    poll.start(5);
    open();
    poll.stop();
    if (!run.opened && !timedOut)
        ADD_FAILURE() << "the dialog did not open modally";
    return run;
}
