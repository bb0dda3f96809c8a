#include "Repair.h"

#include "shell/AVTKmain.h"

void ConnectRepairPage(TMainForm&) {}

void LoadRepairSettings(TMainForm&) {}

void SaveRepairSettings(TMainForm&) {}
