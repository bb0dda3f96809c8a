#pragma once

#include <QString>

#include <optional>

class TMainForm;

// The repair page: its single set of repair settings, the repair and boot-sector cleaning.

void ConnectRepairPage(TMainForm& form);
// Reads ProgramKey\Repair into the page; a missing key leaves the page as it is.
void LoadRepairSettings(TMainForm& form);
// Writes the page into ProgramKey\Repair, creating the key.
void SaveRepairSettings(TMainForm& form);
// Starts FindVirus with the repair command line the page describes now.
void RunRepair(TMainForm& form);
// Starts the boot-sector cleaner on the chosen floppy drive and disk type.
void CleanBootSector(TMainForm& form);

// The switch part of the repair command line, or nothing when the drive choice was refused
// (the user has been told why).
std::optional<QString> RepairParameters(TMainForm& form);
// The arguments of the cleaner: " a: /4" and the like.
QString CleanBootArguments(TMainForm& form);

// Page handlers.
void EditRepairDrivesChange(TMainForm& form);
void ChkBoxRepairReportClick(TMainForm& form);
void RChkComboDropDown(TMainForm& form);
void RDrvComboDropDown(TMainForm& form);
void SBtnRepairClick(TMainForm& form);
void SBtnCleanClick(TMainForm& form);
