#pragma once

#include "platform/Prompts.h"

#include <QCoreApplication>

class QWidget;

// The real message boxes and file dialogs.
class QtPrompts : public Prompts {
    Q_DECLARE_TR_FUNCTIONS(QtPrompts)

public:
    // Boxes are owned by the window given (may be null before it exists).
    void setOwner(QWidget* window) { owner = window; }

    MessageAnswer message(MessageKind kind, const QString& text, MessageButtons buttons) override;
    void errorBox(const QString& text) override;
    bool openFile(FileDialogOptions& options) override;
    bool saveFile(FileDialogOptions& options) override;

private:
    bool runFileDialog(FileDialogOptions& options, bool save);
    QWidget* owner = nullptr;
};
