#pragma once

#include <QString>

// Drive letters of the prefix: "dosdevices/<letter>:" inside the prefix folder is a symlink (or
// folder) to the directory that the letter means.
namespace Drives {

// The directory a drive letter (A to Z, either case) stands for, or empty when the letter is
// not mapped.
QString DriveRoot(const QString& prefixFolder, QChar letter);

// A drive is ready when its mapping resolves to a directory and statvfs on it succeeds. Never
// asks anything of the user; a dangling link or an unreadable mount is simply not ready.
bool DriveRootReady(const QString& prefixFolder, QChar letter);

// Maps a path written with a drive letter ("C:\avtk\") to the prefix's directory for it, with
// "/" separators; a path without a drive letter comes back with its "\" turned into "/".
QString NativePath(const QString& prefixFolder, const QString& path);

} // namespace Drives
