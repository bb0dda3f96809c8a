#pragma once

#include <QString>

#include <optional>

// The command lines of the toolkit's programs, as pure functions of plain option values. The
// pages read their controls into these values; a program that reads a definition from the
// store fills the same fields from the stored values (StoredDefinitions names them for a scan and
// a check, a repair field's comment for a repair).

// File names of the toolkit's programs and files, appended directly to the toolkit folder.
namespace ToolkitFile {
inline const QString FindVirus = QStringLiteral("WFindV32.exe");
inline const QString Encyclopedia = QStringLiteral("veinfo95.hlp");
inline const QString SchedulerTest = QStringLiteral("tk_Sched.exe"); // tested under this name...
inline const QString Scheduler = QStringLiteral("TK_Sched.exe");     // ...and started as this
inline const QString Cleaner = QStringLiteral("CleanBoo.exe");
inline const QString ViVerify = QStringLiteral("WViVer32.exe");
} // namespace ToolkitFile

// The checklist and extra-driver choosers' entry for none.
inline const QString NoneEntry = QStringLiteral("(None)");

// A text from the page or the store (a checklist name, a keyword) as one argument of a command
// line: as it is when it holds no blank, tab or quote, otherwise quoted so that the command-line
// splitter gives it back whole. Unquoted, "mine /DELETE.lst" would hand the toolkit a switch.
QString ArgumentText(const QString& text);

// A command line that begins with the toolkit folder names its program there. When the folder
// holds a blank, the program's path goes in quotes, or the line's first word would name a file
// like the folder's first words ("/opt/Dr" for "/opt/Dr Solomon/").
QString WithProgramQuoted(const QString& folder, const QString& commandLine);

// The drives an operation covers: the stored "All" and "Local", or the drive text's letters.
enum class DriveChoice { All, Local, Listed };

// A scan definition. Options that the page offers only with another count as off without it,
// as the page disables them: "Data", "Archives" and "Compressed" need "Exe", "+Report" needs
// "Report", and "Floppies" is offered only while the drive text names A or B.
struct ScanOptions {
    DriveChoice drives = DriveChoice::All;
    QString driveText; // the drive edit's letters, whatever the choice
    bool exe = true;
    bool data = false;
    bool archives = false;
    bool compressed = false;
    bool boot = true;
    bool partition = true;
    bool memCheck = true;
    bool floppies = false;
    bool beep = true;
    bool extErr = false;
    bool programH = false;
    bool macroH = false;
    bool autoExit = false;
    bool preventExit = false;
    QString checkList = NoneEntry;
    QString extraDrv = NoneEntry;
    bool detail = false;
    bool report = false;
    bool appendReport = false;
    bool print = false;
};
// FindVirus with the scan's switches. A listed drive text must not be empty (the page refuses
// that before).
// Data files, archives and compressed files are kinds of the files a scan looks at, which
// "Program files" switches on: without it the page does not offer them and the command line does
// not ask for them.
inline bool FileKindsOffered(bool programFiles) {
    return programFiles;
}

QString ScanCommandLine(const QString& toolkitFolder, const ScanOptions& options);

// The repair settings; "+Report" counts only with "Report", as the page offers it.
struct RepairOptions {
    DriveChoice drives = DriveChoice::All; // "Drives"
    QString driveText;                     // the drive edit's letters
    bool deleteFiles = false;              // "Delete": delete, rather than rename, what is lost
    bool detail = false;                   // "Detail"
    bool print = false;                    // "Print"
    bool report = false;                   // "Report"
    bool appendReport = false;             // "+Report"
    bool preventExit = false;              // "PreventExit"
    bool autoExit = false;                 // "Exit"
    bool extErr = false;                   // "ExtErr"
    QString checkList = NoneEntry;         // "CheckList"
    QString extraDrv = NoneEntry;          // "Extra Drv"
};
// The repair's switches after FindVirus's name.
QString RepairSwitches(const RepairOptions& options);
QString RepairCommandLine(const QString& toolkitFolder, const RepairOptions& options);

// The floppy disk types of the boot-sector cleaner, each with its switch.
enum class DiskType { Kb360, Mb12, Kb720, Mb144, Mb288, Auto };
struct CleanBootOptions {
    bool driveB = false;            // "CleanDrive": "A" or "B"
    DiskType type = DiskType::Auto; // "CleanType"
};
// The cleaner's arguments: " a: /4" and the like.
QString CleanBootArguments(const CleanBootOptions& options);
QString CleanBootCommandLine(const QString& toolkitFolder, const CleanBootOptions& options);

// The shortest keyword ViVerify takes.
constexpr int MinKeywordLength = 8;

enum class FingerprintAlgorithm { Sizes, Checksum, CcittCrc, Des };
enum class CheckAction { Compute, Verify };
// A check definition.
struct CheckOptions {
    QString driveText;
    bool boot = true;
    bool partition = true;
    bool preventExit = false;
    bool useKeyword = true;
    QString keyword;
    std::optional<FingerprintAlgorithm> algorithm;
    bool turbo = true;
    QString bytes = QStringLiteral("5");
    bool beep = true;
    bool detail = false;
    bool print = false;
    bool report = false;
};
// The byte interval as the check page keeps it: a whole number above zero, or nothing. A stored
// text longer than the page's edit is kept when it obeys that rule.
QString AcceptedByteInterval(const QString& text);
// ViVerify computing or verifying the fingerprints of fingerprintBase + ".vvf". Without drives
// the line has no "/D=", and a keyword shorter than MinKeywordLength is left out: the page
// refuses both before it starts anything.
QString ViVerifyCommandLine(const QString& toolkitFolder, CheckAction action,
                            const CheckOptions& options, const QString& fingerprintBase);
