#include "Find.h"

#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/ProgramStart.h"
#include "platform/SettingsStore.h"

#include "definitions/DropDownCombo.h"
#include "toolkit/Toolkit.h"
#include "ui_FindSheet.h"

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

void ReadFlags(MainState& form, SettingsStore& store, std::span<const FlagBox> flags) {
    for (const FlagBox& flag : flags)
        (form.Find.*flag.box)->setChecked(ReadFlag(store, flag.name, flag.defaultValue));
}

void WriteFlags(MainState& form, SettingsStore& store, std::span<const FlagBox> flags) {
    for (const FlagBox& flag : flags)
        WriteFlag(store, flag.name, (form.Find.*flag.box)->isChecked());
}

QString DefinitionPath(const MainState& form) {
    return form.ProgramKey + "\\Find\\" + form.Find.ScanCombo->currentText();
}

// The page's values as the scanner's command line takes them.
ScanOptions ScanOptionsOf(const Ui::FindSheet& page) {
    ScanOptions o;
    o.drives = DriveChoiceOf(page.RadBtnFindAll, page.RadBtnFindLocal);
    o.driveText = page.EditFindDrives->text();
    o.exe = page.ChkBoxExe->isChecked();
    o.data = page.ChkBoxData->isChecked();
    o.archives = page.ChkBoxZIP->isChecked();
    o.compressed = page.ChkBoxPK->isChecked();
    o.boot = page.ChkBoxBoot->isChecked();
    o.partition = page.ChkBoxPart->isChecked();
    o.memCheck = page.ChkBoxMem->isChecked();
    o.floppies = page.ChkBoxFloppies->isChecked();
    o.beep = page.ChkBoxBeep->isChecked();
    o.extErr = page.ChkBoxError->isChecked();
    o.programH = page.ChkBoxProgramH->isChecked();
    o.macroH = page.ChkBoxMacroH->isChecked();
    o.autoExit = page.ChkBoxAutoExit->isChecked();
    o.preventExit = page.ChkBoxPrevent->isChecked();
    o.checkList = page.ChklistCombo->currentText();
    o.extraDrv = page.DrvCombo->currentText();
    o.detail = page.ChkBoxDetail->isChecked();
    o.report = page.ChkBoxFindReport->isChecked();
    o.appendReport = page.ChkBoxAppReport->isChecked();
    o.print = page.ChkBoxFindPrint->isChecked();
    return o;
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

void SaveScanDefinition(MainState& form) {
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

void RunScan(MainState& form) {
    const Ui::FindSheet& page = form.Find;
    if (DefinitionMissing(form, page.ScanCombo))
        return;
    SaveScanDefinition(form);

    if (page.RadBtnFindDef->isChecked()) {
        const QString drives = page.EditFindDrives->text();
        if (drives.isEmpty()) {
            form.prompts().message(MessageKind::Error, form.DriveMessagePrefix + "scan.",
                                   MessageButtons::Ok);
            return;
        }
        if (!ValidateDrives(form, drives))
            return;
    }

    const int result = StartProgram(form, ScanCommandLine(form.ToolkitFolder, ScanOptionsOf(page)));
    if (result == StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning, "FindVirus not found.", MessageButtons::Ok);
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
    return {.combo = page.ScanCombo,
            .removeButton = page.SBtnDelScan,
            .operation = QStringLiteral("Find"),
            .load = [&form] { ScanComboChange(form); },
            .showAdded =
                [&form] {
                    form.Find.LabLastScanDate->setText(QStringLiteral("Not scanned."));
                    form.LastScanTime = 0;
                },
            .showNone =
                [&form] {
                    form.Find.LabLastScanDate->setText(QStringLiteral("No scans are defined."));
                }};
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
    const bool files = page.ChkBoxExe->isChecked();
    page.ChkBoxData->setEnabled(files);
    page.ChkBoxZIP->setEnabled(files);
    page.ChkBoxPK->setEnabled(files);
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
