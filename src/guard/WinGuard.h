#pragma once

#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QAbstractButton;
class QLineEdit;
class MainState;

// The resident guard page: its settings in the program's guard key and the driver key, their
// installation, the page's change tracking and the guard settings file.

void ConnectGuardPage(MainState& form);

// ---- Settings and their persistence

// Fills the page from the store (guard key, then the driver key when installed) and leaves
// SBtnApply disabled.
void LoadGuardPage(MainState& form);
// Reads the page from a key; a missing key changes nothing.
void ReadGuardSettings(MainState& form, RootKey root, const QString& path);
// Writes the page into a key: the guard key is created when missing, the driver key only
// written when it exists.
void WriteGuardSettings(MainState& form, RootKey root, const QString& path);
// One text option (a box and its edit) into the open key.
void WriteGuardTextOption(MainState& form, QLineEdit* edit, QAbstractButton* box,
                          const QString& path, const QString& textName, const QString& booleanName);
// Installs the guard: the start entry, the driver key with its driver and messages, the page.
void EnableGuard(MainState& form);
// Removes the guard, keeping the page's settings in the guard key.
void DisableGuard(MainState& form);
// Ends an apply: Apply disabled, the restart notice shown once when pending.
void FinishGuardApply(MainState& form);

// ---- Settings files

// Merges a guard settings file into the driver key, installing the guard first when needed.
void LoadGuardFile(MainState& form, const QString& fileName);
// Writes the driver key's values to a guard settings file; nothing without a driver key.
void SaveGuardFile(MainState& form, const QString& fileName);

// ---- Page handlers

// Any of the page's check boxes or radio buttons changed.
void ChkBoxEnableClick(MainState& form);
void EditGuardDrvChange(MainState& form);
// EditGuardX, EditLog or EditWinsock changed.
void EditGuardXChange(MainState& form);
void SBtnApplyClick(MainState& form);
void SBtnRestoreClick(MainState& form);
void SBtnLogBrowseClick(MainState& form);
void SBtnLoadClick(MainState& form);
void SBtnSaveClick(MainState& form);
void SBtnMessagesClick(MainState& form);

// ---- Fixed texts shared with the messages dialog

inline const QString GuardMessageNames[4] = {"FILEALERT", "BOOTALERT", "FILEREPAIR", "BOOTREPAIR"};
inline const QString GuardMessageDefaults[4] = {
    "File <file> is infected with the <virus> virus!!!",
    "Disk <disk> is infected with the <virus> virus!!!",
    "The <virus> virus has been removed from the file <file>!!!",
    "The <virus> virus has been removed from disk <disk>!!!"};
inline QString CouldNotOpenKeyText() {
    return QCoreApplication::translate("WinGuard", "Could not open Registry key.");
}

// The guard key: the program's own copy of the settings.
QString GuardKeyPath(const MainState& form);
