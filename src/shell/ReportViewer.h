#pragma once

class TMainForm;

// The report viewer page.

void ConnectViewPage(TMainForm& form);
// Enables each button by whether its file exists now.
void RefreshReportButtons(TMainForm& form);
