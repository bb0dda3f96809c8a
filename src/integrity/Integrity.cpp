#include "Integrity.h"

#include "shell/AVTKmain.h"

void ConnectCheckPage(TMainForm&) {}

void LoadCheckDefinition(TMainForm&) {}

void SaveCheckDefinition(TMainForm&) {}

void CheckComboChange(TMainForm&) {}
