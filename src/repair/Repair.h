#pragma once

#include "core/CommandLines.h"

#include <QString>

#include <optional>

class MainState;

// The repair page: its single set of repair settings, the repair and boot-sector cleaning.

void ConnectRepairPage(MainState& form);
// Reads ProgramKey\Repair into the page; a missing key leaves the page as it is.
void LoadRepairSettings(MainState& form);
// Writes the page into ProgramKey\Repair, creating the key.
void SaveRepairSettings(MainState& form);
// Starts FindVirus with the repair command line the page describes now.
void RunRepair(MainState& form);
// Starts the boot-sector cleaner on the chosen floppy drive and disk type.
void CleanBootSector(MainState& form);

// The switch part of the repair command line, or nothing when the drive choice was refused
// (the user has been told why).
std::optional<QString> RepairParameters(MainState& form);
// The page's values as the repair's and the cleaner's command lines take them.
RepairOptions RepairOptionsOf(MainState& form);
CleanBootOptions CleanBootOptionsOf(MainState& form);

// Page handlers.
void EditRepairDrivesChange(MainState& form);
void ChkBoxRepairReportClick(MainState& form);
void RChkComboDropDown(MainState& form);
void RDrvComboDropDown(MainState& form);
void SBtnRepairClick(MainState& form);
void SBtnCleanClick(MainState& form);
