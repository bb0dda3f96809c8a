#pragma once

class TMainForm;

// The scan page: one named scan definition at a time, and the scanner's command line.

// Connects the scan page's controls to their handlers.
void ConnectFindPage(TMainForm& form);

void LoadScanDefinition(TMainForm& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveScanDefinition(TMainForm& form);
// Loads the selected definition and shows when it last ran.
void ScanComboChange(TMainForm& form);
