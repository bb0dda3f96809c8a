#include "WinGuard.h"

#include "shell/AVTKmain.h"

void ConnectGuardPage(TMainForm&) {}

void LoadGuardPage(TMainForm& form) { form.Guard.SBtnApply->setEnabled(false); }

void SBtnApplyClick(TMainForm&) {}
