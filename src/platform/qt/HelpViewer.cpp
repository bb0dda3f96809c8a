#include "HelpViewer.h"

#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

QString HelpViewer::AnchorFor(int command, int context) {
    return command == HelpCommand::Context ? QString("context-%1").arg(context)
                                           : QStringLiteral("contents");
}

QString HelpViewer::Locate(const QString& helpFile) {
    if (helpFile.contains('/'))
        return FileSystem::ResolvePath(helpFile);
    return FileSystem::ResolvePath(QCoreApplication::applicationDirPath() + '/' + helpFile);
}

void HelpViewer::showHelp(const QString& helpFile, int command, int context) {
    const QString path = Locate(helpFile);
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(owner, "Help", "Cannot find the help file " + helpFile + ".");
        return;
    }
    QByteArray head = FileSystem::ReadWholeFile(path).left(512).toLower();
    if (!head.contains("<html") && !head.contains("<!doctype html")) {
        // A help file of another format goes to the desktop's own opener.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            QMessageBox::warning(owner, "Help",
                                 helpFile + " is not in a help format this program can show.");
        return;
    }
    if (!window) {
        window = new QWidget(owner, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->resize(520, 480);
        browser = new QTextBrowser(window);
        browser->setOpenExternalLinks(false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
    }
    window->setWindowTitle(QFileInfo(path).completeBaseName() + " Help");
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(AnchorFor(command, context));
    browser->setSource(url);
    window->show();
    window->raise();
    window->activateWindow();
}
