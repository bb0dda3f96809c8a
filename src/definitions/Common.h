#pragma once

#include "platform/FileSystem.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class SettingsStore;
class TMainForm;

// Store conventions, definition lists, drive routines and the last-run date text shared by
// the pages.

// ---- Text forms of stored values

// An integer text: decimal after optional blanks and a sign, or hexadecimal after "$", or after
// "0x"/"0X" when the whole text is longer than two characters. Nothing for any other text or a
// number outside the 32-bit range.
std::optional<qint32> ParseIntegerText(const QString& text);
// A flag text: any non-zero number is on; an empty or non-numeric text gives the default.
bool FlagFromText(const QString& text, bool defaultValue);
QString FlagText(bool on);

// A number in the general format: up to 15 significant digits, no needless zeros or
// separator, fixed notation from 0.0001 up to 15 integer digits, otherwise "1E-5" style.
QString FloatText(double value);
// Reads both notations, blanks around the number, "." or "," as the separator.
std::optional<double> ParseFloatText(const QString& text);

// Date-times: days since 30 December 1899, the fraction being the time of day (local time).
double ToDateTime(const QDateTime& local);
QDateTime FromDateTime(double dateTime);
QString DateTimeText(double dateTime);
// A stored date-time; an absent or non-numeric text, or a day count outside the years 1 to
// 9999, reads as 0 (never).
double DateTimeFromText(const QString& text);

// Opens the key, runs body on it and closes it, also when body throws; false, without running
// body, when the key could not be opened.
bool WithOpenKey(SettingsStore& store, const QString& path, bool canCreate,
                 const std::function<void()>& body);

// Store helpers for the open key.
bool ReadFlag(SettingsStore& store, const QString& name, bool defaultValue);
void WriteFlag(SettingsStore& store, const QString& name, bool on);
// A text value; an absent one reads as the fallback.
QString ReadText(SettingsStore& store, const QString& name, const QString& fallback = {});

// ---- Definition lists

// Fills the combo from ProgramKey\operation ("Find" or "Verify") and selects the stored
// "Selected" name. The caller selects the current user's branch first.
void FillDefinitionCombo(TMainForm& form, const QString& operation, QComboBox* combo);
// The pictures of a definition list's add and remove buttons, the same on every page.
void SetDefinitionButtonIcons(QAbstractButton* add, QAbstractButton* remove);
// True, after telling the user why, when the combo has no definition selected.
bool DefinitionMissing(TMainForm& form, QComboBox* combo);
void ReportDefinitionNotFound(TMainForm& form);
// Rebuilds a checklist ("lst") or extra-driver ("drv") chooser from the toolkit folder.
void FillToolkitFileCombo(TMainForm& form, QComboBox* combo, const QString& extension);
// The toolkit folder's entries, listed once for several fills of the same moment, and a fill
// from them: the same result as the fill above.
FileSystem::FolderListing ListToolkitFolder(TMainForm& form);
void FillToolkitFileCombo(QComboBox* combo, const FileSystem::FolderListing& toolkit,
                          const QString& extension);
// Selects the entry equal to text without regard to case, else entry 0 ("(None)").
void SelectComboEntry(QComboBox* combo, const QString& text);
// The index of the entry equal to text without regard to case, or -1.
int FindComboEntry(const QComboBox* combo, const QString& text);
inline const QString NoneEntry = "(None)";

// ---- Drive lists

// Keeps a drive edit to drive letters; run first by every drive edit's change handler.
void FilterDriveEdit(QLineEdit* edit);
// Enables the "Multiple floppies" box exactly when the drive text holds A or B.
void UpdateFloppiesOption(const QString& driveText, QCheckBox* box);
// Whether the drive of an upper-case letter is ready; throws "Not a valid drive ID" for any
// other character.
bool DriveReady(TMainForm& form, QChar letter);
// True when every letter names a ready drive; otherwise shows the error listing the bad ones.
bool ValidateDrives(TMainForm& form, const QString& driveText);
// "cD" -> "c:;D:".
QString FormatDriveList(const QString& driveText);

// ---- Last-run text

// "Unknown.", "Today at 3:05pm", "Yesterday at ...", "Last Friday at ...", the full date, or
// empty for a date after today.
QString LastRunText(double dateTime, const QDateTime& now);
