#include "ReportViewer.h"

#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "shell/AVTKmain.h"

#include <QPlainTextEdit>

namespace {

const QString ScanReport = "FindViru.Rep";
const QString RepairReport = "Repair.Rep";
const QString VerifyReport = "Verify.Rep";

// The guard log as a path of this system: the guard page may hold one with a drive letter.
QString GuardLogPath(TMainForm& form) {
    const QString text = form.Guard.EditLog->text();
    return text.isEmpty() ? text : Drives::NativePath(form.prefixFolder(), text);
}

} // namespace

void RefreshReportButtons(TMainForm& form) {
    const auto present = [&](const QString& name) {
        return FileSystem::FileExists(form.ProgramFolder + name);
    };
    form.View.btnFVrep->setEnabled(present(ScanReport));
    form.View.BtnRepairRep->setEnabled(present(RepairReport));
    form.View.btnViRep->setEnabled(present(VerifyReport));
    const QString log = GuardLogPath(form);
    form.View.btnGuardLog->setEnabled(!log.isEmpty() && FileSystem::FileExists(log));
}

void LoadFileIntoView(QPlainTextEdit* view, const QString& path) {
    // One decoded text handed over in one call: the document builds its blocks once and lays
    // them out lazily, so even a report of many megabytes shows at once.
    const QString text = FileSystem::DecodeText(FileSystem::ReadWholeFile(path));
    view->setPlainText(text);
}

void ShowReport(TMainForm& form, QAbstractButton* button, const QString& fileName) {
    // The label changes first, also when the file then cannot be opened.
    form.View.LabViewName->setText(button->text() + " report:");
    LoadFileIntoView(form.View.ViewWin, form.ProgramFolder + fileName);
}

void btnFVrepClick(TMainForm& form) {
    ShowReport(form, form.View.btnFVrep, ScanReport);
}

void BtnRepairRepClick(TMainForm& form) {
    ShowReport(form, form.View.BtnRepairRep, RepairReport);
}

void btnViRepClick(TMainForm& form) {
    ShowReport(form, form.View.btnViRep, VerifyReport);
}

void btnGuardLogClick(TMainForm& form) {
    const QString log = GuardLogPath(form);
    if (log.isEmpty() || !FileSystem::FileExists(log))
        return;
    LoadFileIntoView(form.View.ViewWin, log);
    form.View.LabViewName->setText(FileSystem::FileNamePart(form.Guard.EditLog->text()) +
                                   " (WinGuard log file):");
}

void ConnectViewPage(TMainForm& form) {
    // A read-only view needs no undo history; keeping one would double a large report's memory.
    form.View.ViewWin->setUndoRedoEnabled(false);
    form.onClick(form.View.btnFVrep, btnFVrepClick);
    form.onClick(form.View.BtnRepairRep, BtnRepairRepClick);
    form.onClick(form.View.btnViRep, btnViRepClick);
    form.onClick(form.View.btnGuardLog, btnGuardLogClick);
}
