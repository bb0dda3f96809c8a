#include "ReportViewer.h"

#include "definitions/MainState.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "shell/ReportView.h"

#include "ui_GuardSheet.h"
#include "ui_ViewSheet.h"

namespace {

const QString ScanReport = "FindViru.Rep";
const QString RepairReport = "Repair.Rep";
const QString VerifyReport = "Verify.Rep";

// The guard log as a path of this system: the guard page may hold one with a drive letter.
QString GuardLogPath(MainState& form) {
    const QString text = form.Guard.EditLog->text();
    return text.isEmpty() ? text : Drives::NativePath(form.prefixFolder(), text);
}

} // namespace

void RefreshReportButtons(MainState& form) {
    const auto present = [&](const QString& name) {
        return FileSystem::FileExists(form.ProgramFolder + name);
    };
    form.View.btnFVrep->setEnabled(present(ScanReport));
    form.View.BtnRepairRep->setEnabled(present(RepairReport));
    form.View.btnViRep->setEnabled(present(VerifyReport));
    const QString log = GuardLogPath(form);
    form.View.btnGuardLog->setEnabled(!log.isEmpty() && FileSystem::FileExists(log));
}

void LoadFileIntoView(ReportView* view, const QString& path) {
    // The file is read whole and closed here; the view decodes and lays out only the lines
    // in sight, so a report of any size shows as soon as it is read.
    view->setReport(ReportText(FileSystem::ReadWholeFile(path)));
}

void ShowReport(MainState& form, QAbstractButton* button, const QString& fileName) {
    // The label changes first, also when the file then cannot be opened.
    form.View.LabViewName->setText(button->text() + " report:");
    LoadFileIntoView(form.View.ViewWin, form.ProgramFolder + fileName);
}

void btnFVrepClick(MainState& form) {
    ShowReport(form, form.View.btnFVrep, ScanReport);
}

void BtnRepairRepClick(MainState& form) {
    ShowReport(form, form.View.BtnRepairRep, RepairReport);
}

void btnViRepClick(MainState& form) {
    ShowReport(form, form.View.btnViRep, VerifyReport);
}

void btnGuardLogClick(MainState& form) {
    const QString log = GuardLogPath(form);
    if (log.isEmpty() || !FileSystem::FileExists(log))
        return;
    LoadFileIntoView(form.View.ViewWin, log);
    form.View.LabViewName->setText(FileSystem::FileNamePart(form.Guard.EditLog->text()) +
                                   " (WinGuard log file):");
}

void ConnectViewPage(MainState& form) {
    form.onClick(form.View.btnFVrep, btnFVrepClick);
    form.onClick(form.View.BtnRepairRep, BtnRepairRepClick);
    form.onClick(form.View.btnViRep, btnViRepClick);
    form.onClick(form.View.btnGuardLog, btnGuardLogClick);
}
