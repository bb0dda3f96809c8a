#include "Toolkit.h"

#include "shell/AVTKmain.h"

namespace {

bool HasBlank(const QString& text) {
    return text.contains(' ') || text.contains('\t');
}

// A command line that begins with the toolkit folder names its program there. When the folder
// holds a blank, the line is split word by word and a file named like the folder's first words
// ("/opt/Dr" for "/opt/Dr Solomon/") would be run instead: the program's path goes in quotes.
// A folder with a quote in its name cannot be quoted; the toolkit's file names hold neither.
QString WithProgramQuoted(const QString& folder, const QString& commandLine) {
    if (folder.isEmpty() || !commandLine.startsWith(folder) || !HasBlank(folder) ||
        folder.contains('"'))
        return commandLine;
    qsizetype end = folder.size();
    while (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t')
        ++end;
    return '"' + commandLine.left(end) + '"' + commandLine.mid(end);
}

} // namespace

QString ArgumentText(const QString& text) {
    if (!HasBlank(text) && !text.contains('"'))
        return text;
    // The quoting rules of CommandLineToArgvW: backslashes count only before a quote, where
    // they are doubled, and a quote of the text is escaped.
    QString quoted = "\"";
    qsizetype backslashes = 0;
    for (QChar c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted += QString(backslashes * 2 + 1, '\\') + '"';
        else
            quoted += QString(backslashes, '\\') + c;
        backslashes = 0;
    }
    return quoted + QString(backslashes * 2, '\\') + '"';
}

int StartProgram(TMainForm& form, const QString& commandLine) {
    return form.starter().start(WithProgramQuoted(form.ToolkitFolder, commandLine));
}
