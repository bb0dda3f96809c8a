#pragma once

#include <QString>

#include "definitions/Dialogs.h"

class MainState;

// The disk integrity page: one named check definition at a time and the fingerprint runs.

// The keyword the page offers before any definition is loaded.
inline const QString DefaultKeyword = "Vallorin";

void ConnectCheckPage(MainState& form);

// The page as the Add and Remove dialogs serve it.
DefinitionPage CheckDefinitionPage(MainState& form);

// Reads the definition named by CheckCombo into the page and LastCheckTime.
void LoadCheckDefinition(MainState& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveCheckDefinition(MainState& form);

// ---- Handlers
// Loads the selected definition and shows its dates.
void CheckComboChange(MainState& form);
// Stores the definition being left before another is picked.
void CheckComboDropDown(MainState& form);
void SBtnAddCheckClick(MainState& form);
void SBtnDelCheckClick(MainState& form);
void EditCheckDrivesChange(MainState& form);
// Keeps the byte interval to one digit 1 to 9, or empty.
void EditBytesChange(MainState& form);
void SBtnComputeClick(MainState& form);
void SBtnVerifyClick(MainState& form);

// Checks the page, builds the ViVerify command line for "compute" or "verify" and starts it.
void RunViVerify(MainState& form, QString action);

// ---- Fingerprint files

// The folder of the fingerprint files: the program folder's "Prints".
QString FingerprintFolder(const MainState& form);
// Whether a definition name can be used as one file name inside the fingerprint folder.
bool IsSafeFingerprintName(const QString& name);
// The fingerprint file's path without ".vvf"; throws VallorinError for a name that could
// leave the fingerprint folder.
QString FingerprintBaseName(const MainState& form, const QString& name);
