#pragma once

#include "core/CommandLines.h"
#include "core/LastRun.h"
#include "core/StoredDefinitions.h"
#include "core/TextForms.h"
#include "platform/FileSystem.h"

#include <QString>

#include <functional>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;
class SettingsStore;
class MainState;

// Store conventions, definition lists, drive routines and the last-run date text shared by
// the pages.

// WithOpenKey and the store helpers for the open key (ReadFlag, WriteFlag, ReadText):
// core/StoredDefinitions.h.

// ---- Definition lists

// Fills the combo from ProgramKey\operation ("Find" or "Verify") and selects the stored
// "Selected" name. The caller selects the current user's branch first.
void FillDefinitionCombo(MainState& form, const QString& operation, QComboBox* combo);
// The pictures of a definition list's add and remove buttons, the same on every page.
void SetDefinitionButtonIcons(QAbstractButton* add, QAbstractButton* remove);
// Gives a control the pages' warning colour, maroon, in every state.
void ShowAsWarning(QWidget* control);
// True, after telling the user why, when the combo has no definition selected.
bool DefinitionMissing(MainState& form, QComboBox* combo);
void ReportDefinitionNotFound(MainState& form);
// Rebuilds a checklist ("lst") or extra-driver ("drv") chooser from the toolkit folder.
void FillToolkitFileCombo(MainState& form, QComboBox* combo, const QString& extension);
// The toolkit folder's entries, listed once for several fills of the same moment; the entries
// of a chooser from them ("(None)" and the files' base names), and a fill with such entries
// ("(None)" selected): together the same result as the fill above.
FileSystem::FolderListing ListToolkitFolder(MainState& form);
QStringList ToolkitFileEntries(const FileSystem::FolderListing& toolkit, const QString& extension);
void FillToolkitFileCombo(QComboBox* combo, const QStringList& entries);
// Selects the entry equal to text without regard to case, else entry 0 ("(None)").
void SelectComboEntry(QComboBox* combo, const QString& text);
// The index of the entry equal to text without regard to case, or -1.
int FindComboEntry(const QComboBox* combo, const QString& text);

// ---- Edits

// Makes the edit's present length limit bound only what the user types: a longer text loaded
// by SetLoadedText stays whole, and the limit returns once the user's edits bring the text back
// within it.
void KeepTypingLimit(QLineEdit* edit);
// Shows a stored text whole in an edit whose limit KeepTypingLimit keeps.
void SetLoadedText(QLineEdit* edit, const QString& text);

// ---- Drive lists

// The drive choice of a page's "All" and "Local" buttons; neither ticked lists drives.
DriveChoice DriveChoiceOf(const QAbstractButton* all, const QAbstractButton* local);
// Keeps a drive edit to drive letters; run first by every drive edit's change handler.
void FilterDriveEdit(QLineEdit* edit);
// Enables the "Multiple floppies" box exactly when the drive text holds A or B.
void UpdateFloppiesOption(const QString& driveText, QCheckBox* box);
// Whether the drive of an upper-case letter is ready; throws "Not a valid drive ID" for any
// other character.
bool DriveReady(MainState& form, QChar letter);
// True when every letter names a ready drive; otherwise shows the error listing the bad ones.
bool ValidateDrives(MainState& form, const QString& driveText);
