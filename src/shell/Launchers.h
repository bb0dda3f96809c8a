#pragma once

class MainState;
class TMainForm;

// The encyclopedia, scheduler, help and About buttons below the pages.
void ConnectLaunchers(TMainForm& form);

void SBtnEncClick(MainState& form);
void SBtnScheduleClick(MainState& form);
void btnHelpClick(MainState& form);
void btnAboutClick(MainState& form);
