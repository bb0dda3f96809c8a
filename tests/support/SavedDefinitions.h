#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Definitions as the store tests save them: a key below the program's "Find" key holding the
// 23 text values of a scan definition, every one carrying the serial number of its save, so
// that a save that was cut in half shows as values of different serials.
namespace SavedDefinitions {

// The value names of one scan definition and a serial.
const QStringList& valueNames();
// The key of a definition below the current user's branch.
QString keyOf(const QString& name);
// The definition the crash loop writes on save number serial (50 keys, overwritten in turn).
QString crashName(long serial);
inline constexpr int CrashKeys = 50;

// Saves the definition with every value set to the serial: open with creation, write, close.
void save(SettingsStore& store, const QString& name, long serial);
// The serial that every value of the stored definition holds: -1 when the key is missing,
// -2 when the values disagree or one is missing.
long storedSerial(SettingsStore& store, const QString& name);
// Empty when the definition holds serial, else what is wrong.
QString check(SettingsStore& store, const QString& name, long serial);

} // namespace SavedDefinitions
