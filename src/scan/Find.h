#pragma once

#include "definitions/Dialogs.h"

class MainState;

// The scan page: one named scan definition at a time, and the scanner's command line.

// Connects the scan page's controls to their handlers.
void ConnectFindPage(MainState& form);

// Loads the definition named by ScanCombo into the page and LastScanTime; a missing key is
// reported and leaves the page as it is.
void LoadScanDefinition(MainState& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveScanDefinition(MainState& form);
// Saves the definition, checks the drives and starts FindVirus with the page's switches.
void RunScan(MainState& form);

// The page as the Add and Remove dialogs serve it.
DefinitionPage ScanDefinitionPage(MainState& form);

// Handlers of the page.
void ScanComboDropDown(MainState& form);
// Loads the selected definition and shows when it last ran.
void ScanComboChange(MainState& form);
void SBtnScanClick(MainState& form);
void SBtnAddScanClick(MainState& form);
void SBtnDelScanClick(MainState& form);
void ChkBoxExeClick(MainState& form);
void ChkBoxBootClick(MainState& form);
void ChkBoxFindReportClick(MainState& form);
void EditFindDrivesChange(MainState& form);
void ChklistComboDropDown(MainState& form);
void DrvComboDropDown(MainState& form);
