#include "Launchers.h"

#include "shell/AVTKmain.h"

void ConnectLaunchers(TMainForm&) {}
