#pragma once

class TMainForm;

// The repair page: its single set of repair settings, the repair and boot-sector cleaning.

void ConnectRepairPage(TMainForm& form);
void LoadRepairSettings(TMainForm& form);
void SaveRepairSettings(TMainForm& form);
