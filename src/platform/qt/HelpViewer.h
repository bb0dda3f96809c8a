#pragma once

#include "platform/Help.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class Prompts;
class QPushButton;
class QTextBrowser;

// The program's help viewer: a help file is an HTML document with a table of contents (anchor
// "contents") and one anchor per context number ("context-20"). A file of another format is
// handed to the desktop's opener; what cannot be shown is told through the prompts.
class HelpViewer : public HelpService {
    Q_DECLARE_TR_FUNCTIONS(HelpViewer)

public:
    // Opens a file that is not HTML elsewhere; false when nothing could open it.
    using Opener = std::function<bool(const QString& path)>;
    // The desktop's opener for the file's type.
    static bool OpenWithDesktop(const QString& path);

    // Viewer windows are owned by the window given.
    explicit HelpViewer(Prompts& prompts, QWidget* owner = nullptr,
                        Opener openElsewhere = OpenWithDesktop);
    void setOwner(QWidget* ownerWindow) { owner = ownerWindow; }
    void showHelp(const QString& helpFile, int command, int context) override;

    // The anchor a command shows: "contents" for the finder, "context-N" for a context.
    static QString AnchorFor(int command, int context);
    // A bare file name is the program's own: it is looked for in the program's data folder.
    static QString Locate(const QString& helpFile);
    // Whether the bytes begin like an HTML document.
    static bool LooksLikeHtml(const QByteArray& head);

    // The viewer window while it is open, and its parts (null when closed).
    QWidget* viewerWindow() const { return window; }
    QTextBrowser* viewerBrowser() const { return window ? browser : nullptr; }
    QPushButton* contentsButton() const { return window ? contents : nullptr; }
    QPushButton* backButton() const { return window ? back : nullptr; }
    QPushButton* forwardButton() const { return window ? forward : nullptr; }

private:
    void createWindow();

    Prompts& prompts;
    QWidget* owner;
    Opener openElsewhere;
    QPointer<QWidget> window;
    QTextBrowser* browser = nullptr;
    QPushButton* contents = nullptr;
    QPushButton* back = nullptr;
    QPushButton* forward = nullptr;
};
