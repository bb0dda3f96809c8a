#pragma once

class TMainForm;

// The encyclopedia, scheduler, help and About buttons below the pages.
void ConnectLaunchers(TMainForm& form);

void SBtnEncClick(TMainForm& form);
void SBtnScheduleClick(TMainForm& form);
void btnHelpClick(TMainForm& form);
void btnAboutClick(TMainForm& form);
