#pragma once

#include <QString>

class TMainForm;

// The disk integrity page: one named check definition at a time and the fingerprint runs.

// The keyword the page offers before any definition is loaded.
inline const QString DefaultKeyword = "Vallorin";

void ConnectCheckPage(TMainForm& form);

// Reads the definition named by CheckCombo into the page and LastCheckTime.
void LoadCheckDefinition(TMainForm& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveCheckDefinition(TMainForm& form);

// ---- Handlers
// Loads the selected definition and shows its dates.
void CheckComboChange(TMainForm& form);
// Stores the definition being left before another is picked.
void CheckComboDropDown(TMainForm& form);
void SBtnAddCheckClick(TMainForm& form);
void SBtnDelCheckClick(TMainForm& form);
void EditCheckDrivesChange(TMainForm& form);
// Keeps the byte interval to one digit 1 to 9, or empty.
void EditBytesChange(TMainForm& form);
void SBtnComputeClick(TMainForm& form);
void SBtnVerifyClick(TMainForm& form);

// Checks the page, builds the ViVerify command line for "compute" or "verify" and starts it.
void RunViVerify(TMainForm& form, QString action);

// ---- Fingerprint files

// The folder of the fingerprint files: the program folder's "Prints".
QString FingerprintFolder(const TMainForm& form);
// Whether a definition name can be used as one file name inside the fingerprint folder.
bool IsSafeFingerprintName(const QString& name);
// The fingerprint file's path without ".vvf"; throws VallorinError for a name that could
// leave the fingerprint folder.
QString FingerprintBaseName(const TMainForm& form, const QString& name);
