#include "ReportViewer.h"

#include "definitions/MainState.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "shell/ReportView.h"

#include "ui_GuardSheet.h"
#include "ui_ViewSheet.h"

#include <QCoreApplication>

namespace {

// The texts this unit shows the user, translatable in the context "ReportViewer".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(ReportViewer)
};

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
    form.View.LabViewName->setText(Texts::tr("%1 report:").arg(button->text()));
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
    form.View.LabViewName->setText(Texts::tr("%1 (WinGuard log file):")
                                       .arg(FileSystem::FileNamePart(form.Guard.EditLog->text())));
}

void ConnectViewPage(MainState& form) {
    // Both scroll bars always show, overflowing or not, so the view's text area never changes size.
    form.View.ViewWin->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form.View.ViewWin->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form.onClick(form.View.btnFVrep, btnFVrepClick);
    form.onClick(form.View.BtnRepairRep, BtnRepairRepClick);
    form.onClick(form.View.btnViRep, btnViRepClick);
    form.onClick(form.View.btnGuardLog, btnGuardLogClick);
}
