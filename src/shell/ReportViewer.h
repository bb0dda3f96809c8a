#pragma once

#include <QString>

class QAbstractButton;
class MainState;
class ReportView;

// The report viewer page.

void ConnectViewPage(MainState& form);
// Enables each button by whether its file exists now.
void RefreshReportButtons(MainState& form);
// Shows ProgramFolder + fileName, labelled with the button's caption + " report:".
void ShowReport(MainState& form, QAbstractButton* button, const QString& fileName);
// Replaces the view's text with the whole file; throws "Cannot open file <path>" when it
// cannot be read, leaving the view as it was.
void LoadFileIntoView(ReportView* view, const QString& path);

// Page handlers.
void btnFVrepClick(MainState& form);
void BtnRepairRepClick(MainState& form);
void btnViRepClick(MainState& form);
void btnGuardLogClick(MainState& form);
