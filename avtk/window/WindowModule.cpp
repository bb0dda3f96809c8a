// The module that gives a toolkit program its window: the application object with widgets and the
// ProgressWindow, behind the QtCore-only SessionWindow that the program's Session talks to.
#include "lib/SessionWindow.h"
#include "window/ProgressWindow.h"

#include <QApplication>
#include <QMessageBox>

#include <type_traits>

namespace {

class WidgetWindow final : public SessionWindow {
public:
    WidgetWindow(int& argc, char** argv, const QString& title) : app(argc, argv), window(title) {
        window.show();
    }

    void setRequest(const QString& text) override { window.setRequest(text); }
    void addLine(const QString& text) override { window.addLine(text); }
    void setCurrent(const QString& item) override { window.setCurrent(item); }
    void setProgress(qint64 done, qint64 total) override { window.setProgress(done, total); }
    int addFinding(const QString& file, const QString& virus, const QString& action) override {
        return window.addFinding(file, virus, action);
    }
    void setFindingAction(int row, const QString& action) override {
        window.setFindingAction(row, action);
    }
    void setPreventExit(bool prevent) override { window.setPreventExit(prevent); }
    bool stopRequested() const override { return window.stopRequested(); }
    void beep() override { QApplication::beep(); }
    bool ask(const QString& question) override {
        return QMessageBox::question(&window, window.windowTitle(), question) == QMessageBox::Yes;
    }
    void setDone(const QString& result) override { window.setDone(result); }
    void waitForClose() override { app.exec(); }

private:
    // The window goes before the application object it needs.
    QApplication app;
    ProgressWindow window;
};

} // namespace

extern "C" Q_DECL_EXPORT SessionWindow* avtk_open_session_window(int& argc, char** argv,
                                                                 const QString& title) {
    // The entry point's type is the one the program resolves it as.
    static_assert(std::is_same_v<decltype(&avtk_open_session_window), OpenSessionWindow>);
    return new WidgetWindow(argc, argv, title);
}
