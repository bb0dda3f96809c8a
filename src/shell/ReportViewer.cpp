#include "ReportViewer.h"

#include "shell/AVTKmain.h"

void ConnectViewPage(TMainForm&) {}

void RefreshReportButtons(TMainForm&) {}
