#pragma once

#include <QString>

// The four kinds of message box, titled "Warning", "Error", "Information" and "Confirm".
enum class MessageKind { Warning, Error, Information, Confirm };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Closing a box by its close box answers Cancel.
enum class MessageAnswer { Ok, Cancel, Yes, No };

// What a file dialog offers and, after it ran, what the user chose: the file name and the
// filter index persist between runs, as in a dialog object kept by the window.
struct FileDialogOptions {
    QString filter;      // "All files (*.*)|*.*|Text files (*.txt)|*.txt" pairs
    int filterIndex = 1; // 1-based, as Windows counts filters
    QString defaultExt;  // appended when the typed name has none
    QString fileName;    // in: offered name; out: the chosen path
    QString title;
    bool mustExist = false; // open dialog: only an existing file is accepted
    bool showHelp = false;  // a Help button
};

// Every modal question the program asks goes through here: the Qt implementation shows real
// boxes and dialogs, the tests' implementation records and answers from a script.
class Prompts {
public:
    virtual ~Prompts() = default;
    // "\r" in the text is a line break.
    virtual MessageAnswer message(MessageKind kind, const QString& text,
                                  MessageButtons buttons) = 0;
    // The general error box: error icon, the application title as caption.
    virtual void errorBox(const QString& text) = 0;
    // True when the user chose a file; options.fileName then holds it.
    virtual bool openFile(FileDialogOptions& options) = 0;
    virtual bool saveFile(FileDialogOptions& options) = 0;
};
