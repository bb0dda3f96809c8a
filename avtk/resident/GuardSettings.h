#pragma once

#include "lib/DriveMap.h"
#include "store/StoreKeys.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;

// The resident guard's settings, as the driver key holds them. Read once at start and again on
// SIGHUP; every value the guard cannot use is a problem sentence, never a stop.
namespace guard {

inline const QString DriverKey = StoreKeys::GuardDriver;

enum class FileChoice { ProgramFiles, ProgramAndOleFiles, AllFiles };
enum class RepairChoice { AlertOnly, Repair, Prompt };

struct Settings {
    bool writes = false;
    FileChoice files = FileChoice::ProgramFiles;
    bool programHeuristics = false;
    bool macroHeuristics = false;
    RepairChoice repair = RepairChoice::AlertOnly;
    bool hasDrives = false; // no "drives" value: every letter
    QString drives;
    QString extra;   // the extra driver's text, empty for none
    QString logFile; // as stored: a path of this system or one with a drive letter
    QString fileAlert = "File <file> is infected with the <virus> virus!!!";
    QString bootAlert = "Disk <disk> is infected with the <virus> virus!!!";
    QString fileRepair = "The <virus> virus has been removed from the file <file>!!!";
    QString bootRepair = "The <virus> virus has been removed from disk <disk>!!!";
};

// Reads the driver key of the machine-wide branch; false when there is none (not installed).
// A value of the wrong type is left at its default, with a sentence in `problems`.
bool ReadSettings(SettingsStore& store, Settings& settings, QStringList& problems);

// The drives that the "drives" text chooses: no value every mapped folder drive; "floppy" A: and
// B:; "remote" network file systems and floppies; "local" local file systems and floppies; any
// other text the letters it holds. A letter that does not resolve is a problem sentence.
QList<DriveMap::Drive> ChosenDrives(const QString& prefix, const Settings& settings,
                                    QStringList& problems);

// An alert text with "<file>", "<virus>" and "<disk>" filled in (each placeholder ignoring case).
QString FillAlert(QString text, const QString& file, const QString& virus, const QString& disk);

// What the settings mean, in a few words each, for the log.
QString DescribeFiles(const Settings& settings);
QString DescribeRepair(const Settings& settings);

} // namespace guard
