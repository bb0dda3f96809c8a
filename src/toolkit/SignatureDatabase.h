#pragma once

#include <QDateTime>
#include <QString>

// What the panel knows of the ClamAV database the toolkit's scanner reads beside its own test
// signatures. Without it a scan can find only the test files, and the panel says so. Nothing
// here loads a signature: the panel reads names, times and the signed files' headers.
namespace SignatureDatabase {

// The folder the scanner reads: the one AVTK_CLAMAV_DATABASE names, else ClamAV's on Debian.
QString Folder();

struct State {
    bool installed = false; // the folder holds ClamAV's signed databases (.cvd, .cld)
    QDateTime updated;      // the newest of them was written then
    qint64 signatures = -1; // their count as their headers give it; -1 when not read
};

// From the folder's names and times alone: cheap enough for the window's start-up.
State Look(const QString& folder);
// Also counts the signatures, from each database's header.
State Read(const QString& folder);

} // namespace SignatureDatabase
