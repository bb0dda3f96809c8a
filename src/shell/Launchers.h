#pragma once

class TMainForm;

// The encyclopedia, scheduler, help and About buttons below the pages.
void ConnectLaunchers(TMainForm& form);
