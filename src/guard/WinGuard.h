#pragma once

class TMainForm;

// The resident guard page: its settings in the program's guard key and the driver key.

void ConnectGuardPage(TMainForm& form);
// Fills the page from the store and leaves SBtnApply disabled.
void LoadGuardPage(TMainForm& form);
// Applies the page's settings (installing, removing or rewriting the guard).
void SBtnApplyClick(TMainForm& form);
