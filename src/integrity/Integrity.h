#pragma once

class TMainForm;

// The disk integrity page: one named check definition at a time and the fingerprint runs.

void ConnectCheckPage(TMainForm& form);
void LoadCheckDefinition(TMainForm& form);
// Writes the page into the selected definition; nothing when no name is selected.
void SaveCheckDefinition(TMainForm& form);
// Loads the selected definition and shows its dates.
void CheckComboChange(TMainForm& form);
