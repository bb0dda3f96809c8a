#include "Find.h"

#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/ProgramStart.h"

#include "definitions/DropDownCombo.h"
#include "toolkit/Toolkit.h"
#include "ui_FindSheet.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include <QCoreApplication>
#include <utility>

namespace {

// The texts this unit shows the user, translatable in the context "Find".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Find)
};

using P = Ui::FindSheet;

// The page's check boxes with the options they show.
const std::pair<bool ScanOptions::*, QCheckBox * P::*> Boxes[] = {
    {&ScanOptions::exe, &P::ChkBoxExe},
    {&ScanOptions::data, &P::ChkBoxData},
    {&ScanOptions::archives, &P::ChkBoxZIP},
    {&ScanOptions::compressed, &P::ChkBoxPK},
    {&ScanOptions::boot, &P::ChkBoxBoot},
    {&ScanOptions::partition, &P::ChkBoxPart},
    {&ScanOptions::memCheck, &P::ChkBoxMem},
    {&ScanOptions::floppies, &P::ChkBoxFloppies},
    {&ScanOptions::beep, &P::ChkBoxBeep},
    {&ScanOptions::extErr, &P::ChkBoxError},
    {&ScanOptions::programH, &P::ChkBoxProgramH},
    {&ScanOptions::macroH, &P::ChkBoxMacroH},
    {&ScanOptions::autoExit, &P::ChkBoxAutoExit},
    {&ScanOptions::preventExit, &P::ChkBoxPrevent},
    {&ScanOptions::detail, &P::ChkBoxDetail},
    {&ScanOptions::report, &P::ChkBoxFindReport},
    {&ScanOptions::appendReport, &P::ChkBoxAppReport},
    {&ScanOptions::print, &P::ChkBoxFindPrint}};

QString DefinitionPath(const MainState& form) {
    return form.ProgramKey + "\\Find\\" + form.Find.ScanCombo->currentText();
}

// The page's values, as they are saved and as the scanner's command line takes them; a disabled
// box counts as it is checked.
ScanOptions ScanOptionsOf(const P& page) {
    ScanOptions o;
    o.drives = DriveChoiceOf(page.RadBtnFindAll, page.RadBtnFindLocal);
    o.driveText = page.EditFindDrives->text();
    for (const auto& [option, box] : Boxes)
        o.*option = (page.*box)->isChecked();
    o.checkList = page.ChklistCombo->currentText();
    o.extraDrv = page.DrvCombo->currentText();
    return o;
}

void ShowScanOptions(P& page, const ScanOptions& o) {
    if (o.drives == DriveChoice::Listed) {
        page.RadBtnFindDef->setChecked(true);
        page.EditFindDrives->setText(o.driveText);
    } else {
        page.EditFindDrives->setText({});
        (o.drives == DriveChoice::All ? page.RadBtnFindAll : page.RadBtnFindLocal)
            ->setChecked(true);
    }
    for (const auto& [option, box] : Boxes)
        (page.*box)->setChecked(o.*option);
    SelectComboEntry(page.ChklistCombo, o.checkList);
    SelectComboEntry(page.DrvCombo, o.extraDrv);
}

} // namespace

void ConnectFindPage(MainState& form) {
    Ui::FindSheet& page = form.Find;
    SetDefinitionButtonIcons(page.SBtnAddScan, page.SBtnDelScan);

    form.onDropDown(page.ScanCombo, ScanComboDropDown);
    form.onActivated(page.ScanCombo, ScanComboChange);
    form.onClick(page.SBtnAddScan, SBtnAddScanClick);
    form.onClick(page.SBtnDelScan, SBtnDelScanClick);
    form.onClick(page.SBtnScan, SBtnScanClick);
    form.onToggled(page.ChkBoxExe, ChkBoxExeClick);
    form.onToggled(page.ChkBoxBoot, ChkBoxBootClick);
    form.onToggled(page.ChkBoxFindReport, ChkBoxFindReportClick);
    form.onTextChanged(page.EditFindDrives, EditFindDrivesChange);
    form.onDropDown(page.ChklistCombo, ChklistComboDropDown);
    form.onDropDown(page.DrvCombo, DrvComboDropDown);
}

void LoadScanDefinition(MainState& form) {
    // The page's next save writes the heuristics' own values, so "AHA" goes once read.
    const std::optional<StoredScan> scan =
        ReadStoredScan(form.store(), DefinitionPath(form), OlderValues::Drop);
    if (!scan) {
        ReportDefinitionNotFound(form);
        return;
    }
    ShowScanOptions(form.Find, scan->options);
    form.LastScanTime = scan->lastRun;
}

namespace {

void SaveScanDefinition(MainState& form, const ScanOptions& options) {
    if (!form.Find.ScanCombo->currentText().isEmpty())
        WriteStoredScan(form.store(), DefinitionPath(form), {options, form.LastScanTime});
}

} // namespace

void SaveScanDefinition(MainState& form) {
    SaveScanDefinition(form, ScanOptionsOf(form.Find));
}

void RunScan(MainState& form) {
    const Ui::FindSheet& page = form.Find;
    if (DefinitionMissing(form, page.ScanCombo))
        return;
    // The page is read once: what is saved is what runs.
    const ScanOptions options = ScanOptionsOf(page);
    SaveScanDefinition(form, options);

    if (page.RadBtnFindDef->isChecked()) {
        const QString drives = page.EditFindDrives->text();
        if (drives.isEmpty()) {
            form.prompts().message(MessageKind::Error, form.DriveMessagePrefix + Texts::tr("scan."),
                                   MessageButtons::Ok);
            return;
        }
        if (!ValidateDrives(form, drives))
            return;
    }

    const int result = StartProgram(form, ScanCommandLine(form.ToolkitFolder, options));
    if (result == StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning, Texts::tr("FindVirus not found."),
                               MessageButtons::Ok);
}

// ---- Handlers

void ScanComboDropDown(MainState& form) {
    SaveScanDefinition(form);
}

void ScanComboChange(MainState& form) {
    LoadScanDefinition(form);
    form.Find.LabLastScanDate->setText(LastRunText(form.LastScanTime, form.now()));
}

void SBtnScanClick(MainState& form) {
    const QDateTime now = form.now();
    form.LastScanTime = ToDateTime(now);
    form.Find.LabLastScanDate->setText(LastRunText(form.LastScanTime, now));
    RunScan(form);
}

DefinitionPage ScanDefinitionPage(MainState& form) {
    Ui::FindSheet& page = form.Find;
    return {
        .combo = page.ScanCombo,
        .removeButton = page.SBtnDelScan,
        .operation = QStringLiteral("Find"),
        .load = [&form] { ScanComboChange(form); },
        .showAdded =
            [&form] {
                form.Find.LabLastScanDate->setText(Texts::tr("Not scanned."));
                form.LastScanTime = 0;
            },
        .showNone =
            [&form] { form.Find.LabLastScanDate->setText(Texts::tr("No scans are defined.")); }};
}

void SBtnAddScanClick(MainState& form) {
    SaveScanDefinition(form);
    form.dialogs().addDefinition(form, ScanDefinitionPage(form));
}

void SBtnDelScanClick(MainState& form) {
    form.dialogs().removeDefinitions(form, ScanDefinitionPage(form));
}

void ChkBoxExeClick(MainState& form) {
    Ui::FindSheet& page = form.Find;
    const bool offered = FileKindsOffered(page.ChkBoxExe->isChecked());
    page.ChkBoxData->setEnabled(offered);
    page.ChkBoxZIP->setEnabled(offered);
    page.ChkBoxPK->setEnabled(offered);
}

void ChkBoxBootClick(MainState& form) {
    form.Find.ChkBoxPart->setEnabled(form.Find.ChkBoxBoot->isChecked());
}

void ChkBoxFindReportClick(MainState& form) {
    form.Find.ChkBoxAppReport->setEnabled(form.Find.ChkBoxFindReport->isChecked());
}

void EditFindDrivesChange(MainState& form) {
    FilterDriveEdit(form.Find.EditFindDrives);
    UpdateFloppiesOption(form.Find.EditFindDrives->text(), form.Find.ChkBoxFloppies);
}

void ChklistComboDropDown(MainState& form) {
    FillToolkitFileCombo(form, form.Find.ChklistCombo, "lst");
}

void DrvComboDropDown(MainState& form) {
    FillToolkitFileCombo(form, form.Find.DrvCombo, "drv");
}
