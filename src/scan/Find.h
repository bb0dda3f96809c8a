#pragma once

class TMainForm;

// The scan page: one named scan definition at a time, and the scanner's command line.

// Connects the scan page's controls to their handlers.
void ConnectFindPage(TMainForm& form);

// Loads the definition named by ScanCombo into the page and LastScanTime; a missing key is
// reported and leaves the page as it is.
void LoadScanDefinition(TMainForm& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveScanDefinition(TMainForm& form);
// Saves the definition, checks the drives and starts FindVirus with the page's switches.
void RunScan(TMainForm& form);

// Handlers of the page.
void ScanComboDropDown(TMainForm& form);
// Loads the selected definition and shows when it last ran.
void ScanComboChange(TMainForm& form);
void SBtnScanClick(TMainForm& form);
void SBtnAddScanClick(TMainForm& form);
void SBtnDelScanClick(TMainForm& form);
void ChkBoxExeClick(TMainForm& form);
void ChkBoxBootClick(TMainForm& form);
void ChkBoxFindReportClick(TMainForm& form);
void EditFindDrivesChange(TMainForm& form);
void ChklistComboDropDown(TMainForm& form);
void DrvComboDropDown(TMainForm& form);
