#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

// Prompts that record every call and answer from a script. An unscripted question answers
// Cancel (a message) or false (a dialog), so a test never hangs.
class ScriptedPrompts : public Prompts {
public:
    struct Message {
        MessageKind kind;
        QString text;
        MessageButtons buttons;
    };
    QList<Message> messages; // every message box, in order (error boxes included)
    QStringList errors;      // texts of the general error box
    std::deque<MessageAnswer> answers;
    // Each file dialog takes the next entry: empty means the user cancelled.
    std::deque<QString> files;
    QList<FileDialogOptions> dialogs; // what each file dialog was given

    MessageAnswer message(MessageKind kind, const QString& text, MessageButtons buttons) override;
    void errorBox(const QString& text) override;
    bool openFile(FileDialogOptions& options) override;
    bool saveFile(FileDialogOptions& options) override;

    // The texts of every message box shown, error boxes included.
    QStringList texts() const;
    void clear();
};
