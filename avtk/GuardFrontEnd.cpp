// WinGuard's front end ("WGFE95.EXE"): the toolkit's resident scanner. It reads the driver key
// that Vallorin's guard page writes, watches the drives it names and checks files as they are
// written, with the scanner's engine. Its settings and exit codes are described in the toolkit's
// help (veinfo95.hlp, "WinGuard").
#include "lib/DriveMap.h"
#include "lib/Program.h"
#include "lib/Session.h"
#include "platform/InstallLayout.h"
#include "platform/ProcessLock.h"
#include "platform/VallorinError.h"
#include "resident/Guard.h"
#include "store/Prefix.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QSystemTrayIcon>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr int ExitNotInstalled = 2;
constexpr int ExitAlreadyRunning = 3;
constexpr int ExitFailed = 4;

// Without a display: alerts on standard output, the repair question on standard input (a
// terminal, or the pipe of a program that answers for the user).
class ConsoleAlerts : public guard::Alerts {
public:
    void alert(const QString& text) override {
        std::printf("ALERT: %s\n", qPrintable(text));
        std::fflush(stdout);
    }
    bool askRepair(const QString& file, const QString& virus) override {
        std::printf("PROMPT: %s is infected with %s. Repair or Leave? [r/L]\n", qPrintable(file),
                    qPrintable(virus));
        std::fflush(stdout);
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false; // no one to ask: the file is left as it is
        return !answer.empty() && (answer[0] == 'r' || answer[0] == 'R');
    }
    void status(const QString& text) override {
        std::printf("STATUS: %s\n", qPrintable(text));
        std::fflush(stdout);
    }
};

// With a display: a desktop notification through the freedesktop service, or a small window
// when the session has none; the question in a box; a tray icon when there is a tray.
class DesktopAlerts : public guard::Alerts {
public:
    explicit DesktopAlerts(std::function<void()> quit) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        notifications = bus.isConnected() && bus.interface() &&
                        bus.interface()->isServiceRegistered("org.freedesktop.Notifications");
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            window = StatusWindow(std::move(quit), statusText);
            return;
        }
        tray = std::make_unique<QSystemTrayIcon>(
            QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
        menu = std::make_unique<QMenu>();
        menu->addAction("Open Vallorin", OpenPanel);
        alertsMenu = menu->addMenu("Last alerts");
        menu->addAction("Quit", std::move(quit));
        tray->setContextMenu(menu.get());
        tray->show();
    }
    void alert(const QString& text) override {
        if (alertsMenu) {
            alertsMenu->addAction(text)->setEnabled(false);
            while (alertsMenu->actions().size() > 10)
                alertsMenu->removeAction(alertsMenu->actions().constFirst());
        }
        if (notifications) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                "org.freedesktop.Notifications", "Notify");
            call << QString("WinGuard") << 0u << QString("dialog-warning") << QString("WinGuard")
                 << text << QStringList() << QVariantMap() << -1;
            // Not waited for: a slow notification service never holds the guard up.
            QDBusConnection::sessionBus().asyncCall(call);
            return;
        }
        auto* box = new QMessageBox(QMessageBox::Warning, "WinGuard", text, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        // Like a notification: in the screen's corner, without taking the keyboard from the
        // window the user works in.
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
        box->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            box->move(area.right() - box->width() - 16, area.bottom() - box->height() - 48);
        }
        box->show();
    }
    bool askRepair(const QString& file, const QString& virus) override {
        QMessageBox box(QMessageBox::Warning, "WinGuard",
                        QString("%1 is infected with the %2 virus.").arg(file, virus));
        QPushButton* repair = box.addButton("&Repair", QMessageBox::AcceptRole);
        box.addButton("&Leave", QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() == repair;
    }
    void status(const QString& text) override {
        if (tray)
            tray->setToolTip(text);
        if (window) {
            statusText->setText(text);
            window->adjustSize();
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                const QRect area = screen->availableGeometry();
                window->move(area.left() + 16, area.bottom() - window->height() - 48);
            }
            window->show();
        }
    }

private:
    // Without a tray, a small window says that the guard runs and how; closing it ends the guard
    // as the tray's Quit does.
    static std::unique_ptr<QWidget> StatusWindow(std::function<void()> quit, QLabel*& text) {
        auto widget = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
        widget->setWindowTitle("WinGuard");
        widget->setAttribute(Qt::WA_ShowWithoutActivating);
        auto* layout = new QHBoxLayout(widget.get());
        auto* icon = new QLabel;
        icon->setPixmap(
            QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32));
        layout->addWidget(icon);
        text = new QLabel;
        layout->addWidget(text);
        auto* open = new QPushButton("&Open Vallorin");
        QObject::connect(open, &QPushButton::clicked, OpenPanel);
        layout->addWidget(open);
        auto* stop = new QPushButton("&Quit");
        QObject::connect(stop, &QPushButton::clicked, std::move(quit));
        layout->addWidget(stop);
        return widget;
    }

    // The panel installed (or built) with this toolkit; it finds the prefix as the guard did.
    static void OpenPanel() {
        const QString panel = InstallLayout::ProgramFolder(Program::ToolkitFolder()) + "vallorin";
        if (!QProcess::startDetached(panel, {}))
            std::fprintf(stderr, "WinGuard: %s cannot be started.\n", qPrintable(panel));
    }

    std::unique_ptr<QWidget> window;
    QLabel* statusText = nullptr;
    bool notifications = false;
    std::unique_ptr<QSystemTrayIcon> tray;
    std::unique_ptr<QMenu> menu;
    QMenu* alertsMenu = nullptr;
};

int Run(QCoreApplication& app, const QString& prefix, bool windowed, int signalFd) {
    // Only read here: a prefix without a store has no guard installed, and none is made for it.
    if (!QFileInfo::exists(prefix + "/system.db")) {
        std::fprintf(stderr,
                     "WinGuard is not installed in %s: there is no settings store. "
                     "Install it on Vallorin's guard page.\n",
                     qPrintable(prefix));
        return ExitNotInstalled;
    }
    try {
        SettingsStore store(prefix);
        store.setRootKey(RootKey::LocalMachine);
        if (!store.keyExists(guard::DriverKey)) {
            std::fprintf(stderr,
                         "WinGuard is not installed in %s: there is no driver key. "
                         "Install it on Vallorin's guard page.\n",
                         qPrintable(prefix));
            return ExitNotInstalled;
        }
    } catch (const VallorinError& error) {
        std::fprintf(stderr, "WinGuard cannot read the settings store of %s: %s. It stops.\n",
                     qPrintable(prefix), qPrintable(error.message()));
        return ExitFailed;
    }
    // One guard per prefix, held until the guard is gone; the pid file goes with it.
    const ProcessLock lock(prefix + "/WGFE95.pid", true);
    if (!lock.held()) {
        if (!lock.busy()) {
            std::fprintf(stderr, "WinGuard cannot start for %s: %s.\n", qPrintable(prefix),
                         qPrintable(lock.why()));
            return ExitFailed;
        }
        std::fprintf(stderr, "WinGuard is already running for %s (%s): this one ends.\n",
                     qPrintable(prefix), qPrintable(lock.why()));
        return ExitAlreadyRunning;
    }

    std::unique_ptr<guard::Alerts> alerts;
    if (windowed) {
        QApplication::setQuitOnLastWindowClosed(false);
        alerts = std::make_unique<DesktopAlerts>([] { ::raise(SIGTERM); });
    } else {
        alerts = std::make_unique<ConsoleAlerts>();
    }
    guard::Guard guard(prefix, Program::ToolkitFolder(), *alerts);
    if (!guard.start()) {
        guard.stop("it could not start");
        return ExitFailed;
    }
    QString stopReason;
    QSocketNotifier onSignal(signalFd, QSocketNotifier::Read);
    QObject::connect(&onSignal, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
            if (info.ssi_signo == SIGHUP) {
                if (!guard.reload("SIGHUP")) {
                    stopReason = "it was removed";
                    QCoreApplication::exit(ExitFailed);
                }
            } else {
                stopReason = info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM";
                QCoreApplication::exit(0);
            }
        }
    });
    const int code = app.exec();
    guard.stop(stopReason.isEmpty() ? QString("the event loop ended") : stopReason);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    // SIGHUP and SIGTERM are read from a descriptor in the event loop; blocked before any thread
    // starts, so that every thread inherits the mask and none is interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    // Started by the services starter, its standard output may be a pipe whose reader has gone:
    // a line written there fails, it does not end the guard.
    ::signal(SIGPIPE, SIG_IGN);

    const bool windowed = Session::DisplayAvailable();
    std::unique_ptr<QCoreApplication> app = windowed
                                                ? std::make_unique<QApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    // The prefix as the panel and the services starter find it, whatever the working folder.
    const QString prefix = Prefix::Location();
    try {
        return Run(*app, prefix, windowed, signalFd);
    } catch (const std::exception& error) {
        // Nothing the guard meets ends it with an abort: what it could not go on with is told.
        std::fprintf(stderr, "WinGuard stops: %s\n", error.what());
        return ExitFailed;
    }
}
