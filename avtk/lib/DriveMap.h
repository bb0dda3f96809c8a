#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The drives of the prefix: "dosdevices/<letter>:" links to the folder each letter stands for.
// Vallorin starts every toolkit program in the prefix folder, so the working directory is the
// prefix.
namespace DriveMap {

struct Drive {
    QChar letter;       // upper case
    QString root;       // the folder it stands for, resolved; or the disk or disk image file
    bool folder = true; // false for a block device or a disk image file
};

QString PrefixFolder();

// The mapped letters whose link resolves to a folder, A to Z; with `disks` also those that stand
// for a block device or a disk image file.
QList<Drive> MappedDrives(const QString& prefix, bool disks = false);
std::optional<Drive> Find(const QString& prefix, QChar letter, bool disks = false);

// Floppies (A:, B:) and network mounts are not local drives.
bool IsLocal(const Drive& drive);

// "C:;t:" into letters; an item that is not a letter and a colon is an error sentence.
QList<QChar> ParseDriveList(const QString& list, QStringList& errors);

// The drives that "/AD" (every ready drive), "/LOCAL" or "/D=" name; errors for letters that are
// not mapped.
QList<Drive> Select(const QString& prefix, bool all, bool local, const QString& list,
                    QStringList& errors, bool disks = false);

struct WalkLimits {
    int maxDepth = 32;
    qint64 maxFiles = 200000;
};

struct WalkedFile {
    QString path;      // the real path
    QString drivePath; // as the toolkit names it: T:\folder\name.exe
    qint64 size = 0;
};

struct WalkSummary {
    QStringList skipped;        // folders not entered, with the reason
    QStringList skippedFolders; // the same folders' drive paths
    qint64 files = 0;
    bool capped = false;  // stopped at maxFiles
    bool stopped = false; // the visitor asked to stop
};

// Visits the regular files of a drive in name order. Stays on the drive's own file system,
// follows no symbolic link, and skips folders it cannot read.
WalkSummary Walk(const Drive& drive, const WalkLimits& limits,
                 const std::function<bool(const WalkedFile&)>& visit);

} // namespace DriveMap
