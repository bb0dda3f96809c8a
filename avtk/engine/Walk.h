#pragma once

#include <QString>

#include <functional>
#include <string>
#include <string_view>

// The folder walk that feeds the scanner. Paths are the file system's bytes, so that a name that
// is not UTF-8 is still opened, renamed or deleted as it is; names are shown to the user through
// ShownName.
namespace avtk {

// A file's name for the window and the report: UTF-8 as it is; a control character (a newline in
// a name) or a byte that is not UTF-8 as \xNN, so that one name stays on one line.
QString ShownName(std::string_view bytes);

struct WalkEntry {
    enum Kind {
        File,    // a regular file to scan
        Skipped, // something that is not scanned, with the reason: a device, a pipe, a folder
                 // that cannot be read, another file system, folders nested too deep
        Link,    // a symbolic link, not followed
    };
    Kind kind = File;
    std::string path; // the real path
    QString shown;    // as the toolkit names it: T:\folder\name.exe
    QString reason;   // for Skipped
    // The length of the start of `path` that is the folder the walk began in: the root, or for a
    // root that is a file, the folder it names. A repair reaches the file again from there.
    std::size_t rootLength = 0;
};

struct WalkLimits {
    int maxDepth = 64;
};

// Visits the entries below a folder (or the one file a path names) in name order. Stays on the
// root's file system and follows no symbolic link below the root. `visit` returns false to end
// the walk; Walk then returns false.
bool Walk(const std::string& root, const QString& shownRoot, const WalkLimits& limits,
          const std::function<bool(WalkEntry&&)>& visit);

} // namespace avtk
