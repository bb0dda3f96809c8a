#include "ScriptedPrompts.h"

MessageAnswer ScriptedPrompts::message(MessageKind kind, const QString& text,
                                       MessageButtons buttons) {
    messages.append({kind, text, buttons});
    if (answers.empty())
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedPrompts::errorBox(const QString& text) {
    errors.append(text);
    messages.append({MessageKind::Error, text, MessageButtons::Ok});
}

bool ScriptedPrompts::openFile(FileDialogOptions& options) {
    dialogs.append(options);
    if (files.empty())
        return false;
    const QString file = files.front();
    files.pop_front();
    if (file.isEmpty())
        return false;
    options.fileName = file;
    return true;
}

bool ScriptedPrompts::saveFile(FileDialogOptions& options) {
    return openFile(options);
}

QStringList ScriptedPrompts::texts() const {
    QStringList all;
    for (const Message& m : messages)
        all << m.text;
    return all;
}

void ScriptedPrompts::clear() {
    messages.clear();
    errors.clear();
    dialogs.clear();
}
