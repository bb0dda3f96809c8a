#include "Find.h"

#include "shell/AVTKmain.h"

void ConnectFindPage(TMainForm&) {}

void LoadScanDefinition(TMainForm&) {}

void SaveScanDefinition(TMainForm&) {}

void ScanComboChange(TMainForm&) {}
