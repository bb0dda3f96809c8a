// The Windows command-line splitter: any text, as the argument part alone and as a whole
// command line after a folder holding programs whose names contain blanks.
#include "core/CommandLines.h"
#include "platform/ProgramStart.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QString& ProgramFolder() {
    static QTemporaryDir folder;
    static const bool made = [] {
        for (const char* name : {"prog.exe", "my prog.exe", "a", "a b", "a b c.exe"}) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::WriteOnly);
        }
        QDir(folder.path()).mkdir("dir.exe");
        return true;
    }();
    static const QString path = made ? folder.path() + '/' : QString();
    return path;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

qsizetype TotalSize(const QStringList& parts) {
    qsizetype size = 0;
    for (const QString& part : parts)
        size += part.size();
    return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // Splitting only ever removes characters (blanks, quotes, half of the backslashes).
    const QStringList arguments = SplitArguments(text);
    Check(TotalSize(arguments) <= text.size());

    // A text put on a command line as one argument comes back whole, whatever it holds.
    Check(SplitArguments(" /X=" + ArgumentText(text) + " /NEXT") ==
          QStringList({"/X=" + text, "/NEXT"}));

    const QString commandLine = ProgramFolder() + text;
    const SplitCommand split = SplitCommandLine(commandLine);
    Check(TotalSize(split.arguments) + split.program.size() <= commandLine.size() + 2);
    return 0;
}
