#pragma once

#include "platform/Help.h"

#include <QPointer>
#include <QWidget>

class QTextBrowser;

// The program's help viewer: a help file is an HTML document with a table of contents (anchor
// "contents") and one anchor per context number ("context-20").
class HelpViewer : public HelpService {
public:
    // Viewer windows are owned by the window given.
    explicit HelpViewer(QWidget* owner = nullptr) : owner(owner) {}
    void setOwner(QWidget* window) { owner = window; }
    void showHelp(const QString& helpFile, int command, int context) override;

    // The anchor a command shows: "contents" for the finder, "context-N" for a context.
    static QString AnchorFor(int command, int context);
    // A bare file name is looked for beside the program.
    static QString Locate(const QString& helpFile);

private:
    QWidget* owner;
    QPointer<QWidget> window;
    QTextBrowser* browser = nullptr;
};
