#pragma once

#include <QString>

// Help commands, numbered as WinHelp numbers them.
namespace HelpCommand {
inline constexpr int Context = 1; // show the topic of a context number
inline constexpr int Finder = 11; // show the help file's contents
} // namespace HelpCommand

// Opens help files: the program's own help viewer for HTML help files, the desktop's opener
// (or a clear refusal) for any other format.
class HelpService {
public:
    virtual ~HelpService() = default;
    // helpFile may be a bare name, which is looked for beside the program.
    virtual void showHelp(const QString& helpFile, int command, int context) = 0;
};
