#include "Find.h"

#include "definitions/AddScan.h"
#include "definitions/Common.h"
#include "definitions/RemoveScan.h"
#include "platform/ProgramStart.h"
#include "platform/SettingsStore.h"
#include "shell/AVTKmain.h"
#include "shell/DropDownCombo.h"
#include "toolkit/Toolkit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include <functional>
#include <span>

namespace {

// The captions that the "Drives" value holds for the two choices without a drive text.
const QString DrivesAll = "All";
const QString DrivesLocal = "Local";

// One check box of the page with its flag value and the default an absent or unreadable value
// reads as.
struct FlagBox {
    const char* name;
    QCheckBox* Ui::FindSheet::*box;
    bool defaultValue = false;
};

using P = Ui::FindSheet;

// The flags in the order a load reads them, in three runs around the other values.
const FlagBox CheckFlags[] = {
    {"Exe", &P::ChkBoxExe, true},      {"Data", &P::ChkBoxData},
    {"Archives", &P::ChkBoxZIP},       {"Compressed", &P::ChkBoxPK},
    {"Boot", &P::ChkBoxBoot, true},    {"Partition", &P::ChkBoxPart, true},
    {"MemCheck", &P::ChkBoxMem, true}, {"Floppies", &P::ChkBoxFloppies},
    {"Beep", &P::ChkBoxBeep, true},    {"ExtErr", &P::ChkBoxError},
    {"PrgH", &P::ChkBoxProgramH},      {"MacH", &P::ChkBoxMacroH},
};
const FlagBox ExitFlags[] = {{"Exit", &P::ChkBoxAutoExit}, {"PreventExit", &P::ChkBoxPrevent}};
const FlagBox ReportFlags[] = {
    {"Detail", &P::ChkBoxDetail},
    {"Report", &P::ChkBoxFindReport},
    {"+Report", &P::ChkBoxAppReport},
    {"Print", &P::ChkBoxFindPrint},
};
// The flags before the combos in the order a save writes them, which is not the load's.
const FlagBox SavedFlags[] = {
    {"Exe", &P::ChkBoxExe},       {"Data", &P::ChkBoxData},
    {"Archives", &P::ChkBoxZIP},  {"Compressed", &P::ChkBoxPK},
    {"Boot", &P::ChkBoxBoot},     {"Partition", &P::ChkBoxPart},
    {"MemCheck", &P::ChkBoxMem},  {"Floppies", &P::ChkBoxFloppies},
    {"Beep", &P::ChkBoxBeep},     {"PrgH", &P::ChkBoxProgramH},
    {"MacH", &P::ChkBoxMacroH},   {"PreventExit", &P::ChkBoxPrevent},
    {"Exit", &P::ChkBoxAutoExit}, {"ExtErr", &P::ChkBoxError},
};

void ReadFlags(TMainForm& form, SettingsStore& store, std::span<const FlagBox> flags) {
    for (const FlagBox& flag : flags)
        (form.Find.*flag.box)->setChecked(ReadFlag(store, flag.name, flag.defaultValue));
}

void WriteFlags(TMainForm& form, SettingsStore& store, std::span<const FlagBox> flags) {
    for (const FlagBox& flag : flags)
        WriteFlag(store, flag.name, (form.Find.*flag.box)->isChecked());
}

QString DefinitionPath(const TMainForm& form) {
    return form.ProgramKey + "\\Find\\" + form.Find.ScanCombo->currentText();
}

bool Active(const QCheckBox* box) {
    return box->isEnabled() && box->isChecked();
}

// Rows 4 to 24 of the command line: everything after the drive switch, in its fixed order.
QString OptionSwitches(const Ui::FindSheet& page) {
    QString s;
    if (!page.ChkBoxExe->isChecked())
        s += " /NOFILES";
    if (Active(page.ChkBoxData))
        s += " /DOALLFILES";
    if (Active(page.ChkBoxZIP))
        s += " /U";
    s += Active(page.ChkBoxPK) ? " /PACK" : " /NOPACK";
    if (!page.ChkBoxBoot->isChecked())
        s += " /NOBOOT";
    else if (!page.ChkBoxPart->isChecked())
        s += " /NOPART";
    if (!page.ChkBoxMem->isChecked())
        s += " /NM";
    if (page.ChkBoxFloppies->isEnabled() && !page.ChkBoxFloppies->isChecked())
        s += " /ONEONLY";
    if (page.ChkBoxBeep->isChecked())
        s += " /BEEP";
    if (page.ChkBoxError->isChecked())
        s += " /EXTERROR";
    const bool program = page.ChkBoxProgramH->isChecked();
    const bool macro = page.ChkBoxMacroH->isChecked();
    if (program && macro)
        s += " /ANALYSE";
    else if (program)
        s += " /PANALYSE";
    else if (macro)
        s += " /MANALYSE";
    if (page.ChkBoxAutoExit->isChecked())
        s += " /AUTOEXIT";
    if (page.ChkBoxPrevent->isChecked())
        s += " /NOEXIT";
    // Each name is one argument of the scanner, quoted when it holds a blank or a quote; the
    // starter never hands the line to a shell.
    if (page.ChklistCombo->currentText() != NoneEntry)
        s += " /C=" + ArgumentText(page.ChklistCombo->currentText() + ".lst");
    if (page.DrvCombo->currentText() != NoneEntry)
        s += " /EXTRA=" + ArgumentText(page.DrvCombo->currentText() + ".drv");
    if (page.ChkBoxDetail->isChecked())
        s += " /LOUD";
    if (page.ChkBoxFindReport->isChecked())
        s += " /REPORT=FindViru.Rep";
    if (Active(page.ChkBoxAppReport))
        s += " /APPEND";
    if (page.ChkBoxFindPrint->isChecked())
        s += " /P";
    return s;
}

} // namespace

void ConnectFindPage(TMainForm& form) {
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

void LoadScanDefinition(TMainForm& form) {
    Ui::FindSheet& page = form.Find;
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    const QString path = DefinitionPath(form);
    if (!store.keyExists(path)) {
        ReportDefinitionNotFound(form);
        return;
    }
    WithOpenKey(store, path, false, [&] {
        // Only the exact captions choose "All" or "Local"; any other text is a drive text.
        const QString drives = ReadText(store, "Drives");
        if (drives == DrivesAll || drives == DrivesLocal) {
            page.EditFindDrives->setText({});
            (drives == DrivesAll ? page.RadBtnFindAll : page.RadBtnFindLocal)->setChecked(true);
        } else {
            page.RadBtnFindDef->setChecked(true);
            page.EditFindDrives->setText(drives);
        }
        ReadFlags(form, store, CheckFlags);
        // The older single switch for both heuristics wins over the new ones, once.
        if (store.valueExists("AHA")) {
            const bool both = ReadFlag(store, "AHA", false);
            page.ChkBoxProgramH->setChecked(both);
            page.ChkBoxMacroH->setChecked(both);
            store.deleteValue("AHA");
        }
        ReadFlags(form, store, ExitFlags);
        SelectComboEntry(page.ChklistCombo, ReadText(store, "CheckList", NoneEntry));
        SelectComboEntry(page.DrvCombo, ReadText(store, "Extra Drv", NoneEntry));
        ReadFlags(form, store, ReportFlags);
        // A text that is not a number counts as never run, as an absent one does.
        form.LastScanTime = DateTimeFromText(ReadText(store, "LastScan", "0.0"));
    });
}

void SaveScanDefinition(TMainForm& form) {
    const Ui::FindSheet& page = form.Find;
    if (page.ScanCombo->currentText().isEmpty())
        return;
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, DefinitionPath(form), true, [&] {
        store.writeString("Drives", page.RadBtnFindAll->isChecked() ? DrivesAll
                                    : page.RadBtnFindLocal->isChecked()
                                        ? DrivesLocal
                                        : page.EditFindDrives->text());
        WriteFlags(form, store, SavedFlags);
        store.writeString("CheckList", page.ChklistCombo->currentText());
        store.writeString("Extra Drv", page.DrvCombo->currentText());
        WriteFlags(form, store, ReportFlags);
        store.writeString("LastScan", DateTimeText(form.LastScanTime));
    });
}

void RunScan(TMainForm& form) {
    const Ui::FindSheet& page = form.Find;
    if (DefinitionMissing(form, page.ScanCombo))
        return;
    SaveScanDefinition(form);

    QString switches;
    if (page.RadBtnFindAll->isChecked())
        switches = " /AD";
    else if (page.RadBtnFindLocal->isChecked())
        switches = " /LOCAL";
    if (page.RadBtnFindDef->isChecked()) {
        const QString drives = page.EditFindDrives->text();
        if (drives.isEmpty()) {
            form.prompts().message(MessageKind::Error, form.DriveMessagePrefix + "scan.",
                                   MessageButtons::Ok);
            return;
        }
        if (!ValidateDrives(form, drives))
            return;
        switches = " /D=" + FormatDriveList(drives);
    }
    switches += OptionSwitches(page);

    const int result = StartProgram(form, form.ToolkitFolder + ToolkitFile::FindVirus + switches);
    if (result == StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning, "FindVirus not found.", MessageButtons::Ok);
}

// ---- Handlers

void ScanComboDropDown(TMainForm& form) {
    SaveScanDefinition(form);
}

void ScanComboChange(TMainForm& form) {
    LoadScanDefinition(form);
    form.Find.LabLastScanDate->setText(LastRunText(form.LastScanTime, form.now()));
}

void SBtnScanClick(TMainForm& form) {
    const QDateTime now = form.now();
    form.LastScanTime = ToDateTime(now);
    form.Find.LabLastScanDate->setText(LastRunText(form.LastScanTime, now));
    RunScan(form);
}

void SBtnAddScanClick(TMainForm& form) {
    SaveScanDefinition(form);
    TAddScanForm dialog(form);
    dialog.Execute(form.Find.ScanCombo, form.Find.SBtnDelScan);
}

void SBtnDelScanClick(TMainForm& form) {
    TRemoveScanForm dialog(form);
    dialog.Execute(form.Find.ScanCombo, form.Find.SBtnDelScan);
}

void ChkBoxExeClick(TMainForm& form) {
    Ui::FindSheet& page = form.Find;
    const bool files = page.ChkBoxExe->isChecked();
    page.ChkBoxData->setEnabled(files);
    page.ChkBoxZIP->setEnabled(files);
    page.ChkBoxPK->setEnabled(files);
}

void ChkBoxBootClick(TMainForm& form) {
    form.Find.ChkBoxPart->setEnabled(form.Find.ChkBoxBoot->isChecked());
}

void ChkBoxFindReportClick(TMainForm& form) {
    form.Find.ChkBoxAppReport->setEnabled(form.Find.ChkBoxFindReport->isChecked());
}

void EditFindDrivesChange(TMainForm& form) {
    FilterDriveEdit(form.Find.EditFindDrives);
    UpdateFloppiesOption(form.Find.EditFindDrives->text(), form.Find.ChkBoxFloppies);
}

void ChklistComboDropDown(TMainForm& form) {
    FillToolkitFileCombo(form, form.Find.ChklistCombo, "lst");
}

void DrvComboDropDown(TMainForm& form) {
    FillToolkitFileCombo(form, form.Find.DrvCombo, "drv");
}
