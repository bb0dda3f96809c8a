#pragma once

#include <QString>
#include <QStringList>

// Results of a program start, as WinExec reports them.
namespace StartResult {
inline constexpr int OutOfResources = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int BadFormat = 11;
// Any result above this one means the program was started.
inline constexpr int LastError = 31;
} // namespace StartResult

// A command line taken apart the way Windows takes it apart.
struct SplitCommand {
    QString program;       // path of the program file, as found on disk
    QStringList arguments; // argv[1..], by the CommandLineToArgvW rules
};

// Splits a command line: the program path is the shortest prefix ending at a blank (or at the
// end) that names an existing regular file, tried word by word as CreateProcess does; when no
// prefix names a file, the first blank-separated word is the program. The rest is split into
// arguments: blanks separate, quotes group and are removed, 2n backslashes before a quote give
// n and a quoting quote, 2n+1 give n and a literal quote.
SplitCommand SplitCommandLine(const QString& commandLine);

// The argument part alone, by the CommandLineToArgvW rules.
QStringList SplitArguments(const QString& arguments);

// Starts programs without waiting for them. Implementations: the real one below, and the
// recording one of the tests.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // Starts the command line with its window shown, in the working directory the starter was
    // made for, and returns at once with a WinExec-style result.
    virtual int start(const QString& commandLine) = 0;
};

// The real starter: posix_spawn, never a shell; children are reaped so none stays a zombie.
class SpawnProgramStarter : public ProgramStarter {
public:
    explicit SpawnProgramStarter(QString workingDirectory);
    int start(const QString& commandLine) override;

private:
    QString workingDirectory;
};
