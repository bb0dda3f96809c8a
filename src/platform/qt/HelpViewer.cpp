#include "HelpViewer.h"

#include "platform/FileSystem.h"
#include "platform/InstallLayout.h"
#include "platform/Prompts.h"
#include "platform/qt/ScreenPlacement.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer(Prompts& prompts, QWidget* owner, Opener openElsewhere)
    : prompts(prompts), owner(owner), openElsewhere(std::move(openElsewhere)) {}

bool HelpViewer::OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString HelpViewer::AnchorFor(int command, int context) {
    return command == HelpCommand::Context ? QString("context-%1").arg(context)
                                           : QStringLiteral("contents");
}

QString HelpViewer::Locate(const QString& helpFile) {
    if (helpFile.contains('/'))
        return FileSystem::ResolvePath(helpFile);
    return FileSystem::ResolvePath(
        InstallLayout::DataFolder(QCoreApplication::applicationDirPath()) + helpFile);
}

bool HelpViewer::LooksLikeHtml(const QByteArray& head) {
    const QByteArray start = head.left(1024).toLower();
    return start.contains("<html") || start.contains("<!doctype html");
}

void HelpViewer::createWindow() {
    window = new QWidget(owner, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(560, 500);
    CentreOnScreen(window, owner);
    contents = new QPushButton(tr("&Contents"), window);
    back = new QPushButton(tr("&Back"), window);
    forward = new QPushButton(tr("&Forward"), window);
    back->setEnabled(false);
    forward->setEnabled(false);
    browser = new QTextBrowser(window);
    browser->setOpenExternalLinks(false);
    browser->setOpenLinks(true);
    // Escape closes the viewer, as it closes a dialog: the window has no Close button of its
    // own, only the title bar's.
    QObject::connect(new QShortcut(Qt::Key_Escape, window), &QShortcut::activated, window,
                     &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 6, 6, 0);
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addWidget(browser);

    QTextBrowser* view = browser;
    QObject::connect(contents, &QPushButton::clicked, view, [view] {
        QUrl url = view->source();
        url.setFragment("contents");
        view->setSource(url, QTextDocument::HtmlResource);
    });
    QObject::connect(back, &QPushButton::clicked, view, &QTextBrowser::backward);
    QObject::connect(forward, &QPushButton::clicked, view, &QTextBrowser::forward);
    QObject::connect(view, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    QObject::connect(view, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
}

void HelpViewer::showHelp(const QString& helpFile, int command, int context) {
    const QString path = Locate(helpFile);
    if (!FileSystem::FileExists(path)) {
        // The program's own help file (a bare name) belongs to the install: say where it was
        // looked for and what brings it back.
        const bool own = !helpFile.contains('/');
        prompts.message(
            MessageKind::Warning,
            own ? tr("Cannot find the help file %1.\rThe installation is incomplete: reinstall "
                     "Vallorin.")
                      .arg(path)
                : tr("Cannot find the help file %1.").arg(path),
            MessageButtons::Ok);
        return;
    }
    const QByteArray bytes = FileSystem::ReadWholeFile(path);
    if (!LooksLikeHtml(bytes)) {
        // A help file of another format (a WinHelp file of the toolkit) goes to the desktop.
        if (!openElsewhere || !openElsewhere(path))
            prompts.message(MessageKind::Warning,
                            tr("%1 is not in a help format this program can show.").arg(helpFile),
                            MessageButtons::Ok);
        return;
    }
    // A context the file has no topic for opens the contents rather than an arbitrary place.
    QString anchor = AnchorFor(command, context);
    if (!bytes.contains(("\"" + anchor + "\"").toUtf8()))
        anchor = "contents";

    if (!window)
        createWindow();
    window->setWindowTitle(tr("%1 Help").arg(QFileInfo(path).completeBaseName()));
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(anchor);
    browser->setSource(url, QTextDocument::HtmlResource);
    browser->scrollToAnchor(anchor);
    window->show();
    window->raise();
    window->activateWindow();
}
