#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The folder walk that feeds the scanner. Paths are the file system's bytes, so that a name that
// is not UTF-8 is still opened, renamed or deleted as it is; names are shown to the user through
// ShownName.
namespace avtk {

// A file's name for the window and the report, one escaping that reads back to the name's bytes
// and keeps one name on one line: UTF-8 as it is, except that each byte of a control character (a
// newline, U+0080 to U+009F, the line and paragraph separators), each byte that is not UTF-8, and
// the characters that the report gives a meaning ("%" itself, "\\" between folders, ">" between
// an archive and its member) are written %XX, in upper-case hexadecimal.
QString ShownName(std::string_view bytes);

struct WalkEntry {
    enum Kind {
        File,       // a regular file to scan
        Skipped,    // something that is not scanned, with the reason: a device, a pipe, a name
                    // that vanished before it was looked at
        Link,       // a symbolic link, not followed
        NotEntered, // a folder not entered, with the reason: it cannot be read, it is on another
                    // file system, folders nested too deep; or one read only in part
    };
    Kind kind = File;
    std::string path; // the real path
    QString shown;    // as the toolkit names it: T:\folder\name.exe
    QString reason;   // for Skipped and NotEntered
    // The length of the start of `path` that is the folder the walk began in: the root, or for a
    // root that is a file, the folder it names. A repair reaches the file again from there.
    std::size_t rootLength = 0;
    std::int64_t size = 0; // of a File
    int error = 0;         // the errno of a folder that could not be read, or of a missing root
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
