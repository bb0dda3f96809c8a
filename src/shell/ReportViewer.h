#pragma once

#include <QString>

class QAbstractButton;
class QPlainTextEdit;
class TMainForm;

// The report viewer page.

void ConnectViewPage(TMainForm& form);
// Enables each button by whether its file exists now.
void RefreshReportButtons(TMainForm& form);
// Shows ProgramFolder + fileName, labelled with the button's caption + " report:".
void ShowReport(TMainForm& form, QAbstractButton* button, const QString& fileName);
// Replaces the view's text with the whole file; throws "Cannot open file <path>" when it
// cannot be read, leaving the view as it was.
void LoadFileIntoView(QPlainTextEdit* view, const QString& path);

// Page handlers.
void btnFVrepClick(TMainForm& form);
void BtnRepairRepClick(TMainForm& form);
void btnViRepClick(TMainForm& form);
void btnGuardLogClick(TMainForm& form);
