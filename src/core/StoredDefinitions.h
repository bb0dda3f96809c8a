#pragma once

#include "core/CommandLines.h"

#include <QString>

#include <functional>
#include <optional>

class SettingsStore;

// Stored values as the pages and the toolkit's scheduler read them, and the scan and check
// definitions read from the store into the command-line builders' options.

// Opens the key, runs body on it and closes it, also when body throws; false, without running
// body, when the key could not be opened.
bool WithOpenKey(SettingsStore& store, const QString& path, bool canCreate,
                 const std::function<void()>& body);

// Values of the open key. A flag is text, "1" or "0"; a value of another type, or text that is
// no number, reads as the default.
bool ReadFlag(SettingsStore& store, const QString& name, bool defaultValue);
void WriteFlag(SettingsStore& store, const QString& name, bool on);
// A text value; an absent one, or one of another type, reads as the fallback.
QString ReadText(SettingsStore& store, const QString& name, const QString& fallback = {});

// "Drives" as a scan or repair stores it: "All", "Local" or the drive text.
DriveChoice StoredDriveChoice(const QString& stored);
QString StoredDrivesText(DriveChoice drives, const QString& driveText);

// The program's key in the current user's branch, which holds the "Find" and "Verify"
// definitions.
inline const QString VallorinProgramKey = QStringLiteral("Software\\Tesmarine\\Vallorin");

// A definition as its key stores it: the options, the choosers' entries as stored, and the
// date-time (TextForms) of its last run, 0 for never.
template <typename Options> struct StoredDefinition {
    Options options;
    double lastRun = 0;
};
using StoredScan = StoredDefinition<ScanOptions>;
using StoredCheck = StoredDefinition<CheckOptions>;

// "AHA", the single switch for both heuristics that older versions stored, wins over "PrgH" and
// "MacH" while it is stored. Drop deletes it once read, for a reader whose next save writes
// them; a reader that saves nothing keeps it.
enum class OlderValues { Keep, Drop };

// The definition at path in the current user's branch; nothing when it is not stored. An absent
// or unreadable value reads as its field's initial value, an empty "Key" as "None", a date that
// is no number as never. The writes create the key and write every value, in the order the
// pages have always written them. Each selects the current user's branch and leaves no key open.
std::optional<StoredScan> ReadStoredScan(SettingsStore& store, const QString& path,
                                         OlderValues older);
void WriteStoredScan(SettingsStore& store, const QString& path, const StoredScan& scan);
std::optional<StoredCheck> ReadStoredCheck(SettingsStore& store, const QString& path);
void WriteStoredCheck(SettingsStore& store, const QString& path, const StoredCheck& check);

// The scan definition "<program key>\Find\<name>" as ReadStoredScan reads it, into options. A
// checklist or extra driver that the page would not find among the toolkit's files is its
// chooser's "(None)", as the page shows it.
std::optional<ScanOptions> ReadScanDefinition(SettingsStore& store, const QString& name,
                                              const QString& toolkitFolder);
// The check definition "<program key>\Verify\<name>" likewise, its byte interval checked by the
// page's rule. An absent or unknown "Algorithm" is none (ViVerify's own default).
std::optional<CheckOptions> ReadCheckDefinition(SettingsStore& store, const QString& name);
