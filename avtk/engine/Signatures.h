#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace avtk {

class Engine;

// The 68-byte EICAR anti-virus test string, put together at run time so that the toolkit's own
// files do not hold it.
QByteArray EicarTestString();

// The system's ClamAV database folder: the one AVTK_CLAMAV_DATABASE names, otherwise the
// library's own (/var/lib/clamav on Debian).
QString SystemDatabaseFolder();

// The database files of a folder that the engine knows by their extension, in name order.
std::vector<std::string> DatabaseFiles(const QString& folder);

// An extra driver is a text file of ClamAV signatures in one line format; the engine knows a
// format only by the file's extension. Returns "ndb" or "hdb" from the shape of the lines
// (comment lines, "#" or ";", and blank lines aside), or nothing with the reason.
std::optional<QString> DriverFormat(const QByteArray& text, QString& reason);
// The driver's signature lines without its comment lines, as the engine reads them.
QByteArray DriverSignatures(const QByteArray& text);

// Loads, in order, the toolkit's own Signatures folder, the system database folder when it
// exists, and the extra driver when one is named (its path, empty for none). Each file that fails
// is told to `failed` (its name and the reason) and the rest go on.
struct LoadSummary {
    unsigned signatures = 0;
    int files = 0;
    bool systemDatabase = false;
};
// Said before a scan's summary, and by the guard at its start, when no system database was
// loaded: the toolkit's own signatures find only the test files, never a real virus.
inline const QString TestSignaturesOnly =
    "Only the toolkit's test signatures were used: this scan cannot find real viruses. Install "
    "clamav-freshclam for ClamAV's signature database.";
LoadSummary LoadSignatures(Engine& engine, const QString& toolkitFolder, const QString& driverPath,
                           const std::function<void(const QString&)>& failed);

} // namespace avtk
