#pragma once

#include "platform/SettingsStore.h"

#include <QString>

#include <functional>

class QAbstractButton;
class QLineEdit;
class TMainForm;

// The resident guard page: its settings in the program's guard key and the driver key, their
// installation, the page's change tracking and the guard settings file.

void ConnectGuardPage(TMainForm& form);

// ---- Settings and their persistence

// Fills the page from the store (guard key, then the driver key when installed) and leaves
// SBtnApply disabled.
void LoadGuardPage(TMainForm& form);
// Reads the page from a key; a missing key changes nothing.
void ReadGuardSettings(TMainForm& form, RootKey root, const QString& path);
// Writes the page into a key: the guard key is created when missing, the driver key only
// written when it exists.
void WriteGuardSettings(TMainForm& form, RootKey root, const QString& path);
// One text option (a box and its edit) into the open key.
void WriteGuardTextOption(TMainForm& form, QLineEdit* edit, QAbstractButton* box,
                          const QString& path, const QString& textName, const QString& booleanName);
// Installs the guard: the start entry, the driver key with its driver and messages, the page.
void EnableGuard(TMainForm& form);
// Removes the guard, keeping the page's settings in the guard key.
void DisableGuard(TMainForm& form);
// Ends an apply: Apply disabled, the restart notice shown once when pending.
void FinishGuardApply(TMainForm& form);

// ---- Settings files

// Merges a guard settings file into the driver key, installing the guard first when needed.
void LoadGuardFile(TMainForm& form, const QString& fileName);
// Writes the driver key's values to a guard settings file; nothing without a driver key.
void SaveGuardFile(TMainForm& form, const QString& fileName);

// ---- Page handlers

// Any of the page's check boxes or radio buttons changed.
void ChkBoxEnableClick(TMainForm& form);
void EditGuardDrvChange(TMainForm& form);
// EditGuardX, EditLog or EditWinsock changed.
void EditGuardXChange(TMainForm& form);
void SBtnApplyClick(TMainForm& form);
void SBtnRestoreClick(TMainForm& form);
void SBtnLogBrowseClick(TMainForm& form);
void SBtnLoadClick(TMainForm& form);
void SBtnSaveClick(TMainForm& form);
void SBtnMessagesClick(TMainForm& form);

// ---- Fixed texts shared with the messages dialog

inline const QString GuardMessageNames[4] = {"FILEALERT", "BOOTALERT", "FILEREPAIR", "BOOTREPAIR"};
inline const QString GuardMessageDefaults[4] = {
    "File <file> is infected with the <virus> virus!!!",
    "Disk <disk> is infected with the <virus> virus!!!",
    "The <virus> virus has been removed from the file <file>!!!",
    "The <virus> virus has been removed from disk <disk>!!!"};
inline const QString CouldNotOpenKeyText = "Could not open Registry key.";

// The guard key: the program's own copy of the settings.
QString GuardKeyPath(const TMainForm& form);
// Runs body with the key at path open (closing it also when body throws); false, without
// running body, when the key could not be opened.
bool WithOpenKey(SettingsStore& store, const QString& path, bool canCreate,
                 const std::function<void()>& body);
