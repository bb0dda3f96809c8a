#include "Repair.h"

#include "definitions/Common.h"
#include "platform/SettingsStore.h"
#include "shell/AVTKmain.h"
#include "toolkit/Toolkit.h"

#include <QRadioButton>

#include <array>

namespace {

const QString DrivesAll = "All";
const QString DrivesLocal = "Local";
const QString ReportName = "Repair.Rep";

struct DiskType {
    QRadioButton* button;
    const char* typeSwitch;
};

// The disk-type buttons in the order a stored "CleanType" is matched against them.
std::array<DiskType, 6> DiskTypes(TMainForm& form) {
    const Ui::RepairSheet& page = form.Repair;
    return {{{page.RadBtn360, "/1"},
             {page.RadBtn12, "/2"},
             {page.RadBtn720, "/3"},
             {page.RadBtn144, "/4"},
             {page.RadBtn288, "/5"},
             {page.RadBtnAuto, "/A"}}};
}

QString RepairKey(const TMainForm& form) {
    return form.ProgramKey + "\\Repair";
}

// The flags in the order they are read and written, after "Drives" and "Delete".
std::array<std::pair<const char*, QCheckBox*>, 7> RepairFlags(TMainForm& form) {
    const Ui::RepairSheet& page = form.Repair;
    return {{{"Detail", page.ChkBoxRepairDetail},
             {"Print", page.ChkBoxRepairPrint},
             {"Report", page.ChkBoxRepairReport},
             {"+Report", page.ChkBoxRepAppend},
             {"PreventExit", page.ChkBoxRepPrevent},
             {"Exit", page.ChkBoxRepExit},
             {"ExtErr", page.ChkBoxRepError}}};
}

void ReadRepairValues(TMainForm& form, SettingsStore& store) {
    Ui::RepairSheet& page = form.Repair;
    // Only the exact captions choose All or Local; anything else is a drive text.
    const QString drives = ReadText(store, "Drives");
    if (drives == DrivesAll || drives == DrivesLocal) {
        page.EditRepairDrives->clear();
        (drives == DrivesAll ? page.RadBtnRepAll : page.RadBtnRepLocal)->setChecked(true);
    } else {
        page.RadBtnRepDef->setChecked(true);
        page.EditRepairDrives->setText(drives);
    }
    (ReadFlag(store, "Delete", false) ? page.RadBtnDelete : page.RadBtnRename)->setChecked(true);
    for (const auto& [name, box] : RepairFlags(form))
        box->setChecked(ReadFlag(store, name, false));
    SelectComboEntry(page.RChkCombo, ReadText(store, "CheckList", NoneEntry));
    SelectComboEntry(page.RDrvCombo, ReadText(store, "Extra Drv", NoneEntry));

    // A type that matches no caption exactly keeps the choice the page has.
    const QString cleanType = ReadText(store, "CleanType", page.RadBtnAuto->text());
    for (const DiskType& type : DiskTypes(form)) {
        if (type.button->text() == cleanType) {
            type.button->setChecked(true);
            break;
        }
    }
    (ReadText(store, "CleanDrive", "A") == "A" ? page.RadBtnA : page.RadBtnB)->setChecked(true);
}

void WriteRepairValues(TMainForm& form, SettingsStore& store) {
    const Ui::RepairSheet& page = form.Repair;
    QString drives = page.EditRepairDrives->text();
    if (page.RadBtnRepAll->isChecked())
        drives = DrivesAll;
    else if (page.RadBtnRepLocal->isChecked())
        drives = DrivesLocal;
    store.writeString("Drives", drives);
    WriteFlag(store, "Delete", page.RadBtnDelete->isChecked());
    for (const auto& [name, box] : RepairFlags(form))
        WriteFlag(store, name, box->isChecked());
    store.writeString("CheckList", page.RChkCombo->currentText());
    store.writeString("Extra Drv", page.RDrvCombo->currentText());
    for (const DiskType& type : DiskTypes(form)) {
        if (type.button->isChecked()) {
            store.writeString("CleanType", type.button->text());
            break;
        }
    }
    store.writeString("CleanDrive", page.RadBtnA->isChecked() ? "A" : "B");
}

} // namespace

void LoadRepairSettings(TMainForm& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    if (store.keyExists(RepairKey(form)))
        WithOpenKey(store, RepairKey(form), false, [&] { ReadRepairValues(form, store); });
}

void SaveRepairSettings(TMainForm& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, RepairKey(form), true, [&] { WriteRepairValues(form, store); });
}

std::optional<QString> RepairParameters(TMainForm& form) {
    const Ui::RepairSheet& page = form.Repair;
    QString parameters;
    if (page.RadBtnRepAll->isChecked()) {
        parameters = " /AD";
    } else if (page.RadBtnRepLocal->isChecked()) {
        parameters = " /LOCAL";
    } else if (page.RadBtnRepDef->isChecked()) {
        const QString drives = page.EditRepairDrives->text();
        if (drives.isEmpty()) {
            form.prompts().message(MessageKind::Error, form.DriveMessagePrefix + "repair.",
                                   MessageButtons::Ok);
            return std::nullopt;
        }
        if (!ValidateDrives(form, drives))
            return std::nullopt;
        parameters = " /D=" + FormatDriveList(drives) + " /REPAIR";
    }
    if (page.RadBtnDelete->isChecked())
        parameters += " /DELETE";
    if (page.ChkBoxRepairDetail->isChecked())
        parameters += " /LOUD";
    if (page.ChkBoxRepairPrint->isChecked())
        parameters += " /PRINTOUT";
    if (page.ChkBoxRepairReport->isChecked())
        parameters += " /REPORT=" + ReportName;
    // A tick left in the disabled box does not count.
    if (page.ChkBoxRepAppend->isEnabled() && page.ChkBoxRepAppend->isChecked())
        parameters += " /APPEND";
    if (page.ChkBoxRepPrevent->isChecked())
        parameters += " /NOEXIT";
    if (page.ChkBoxRepExit->isChecked())
        parameters += " /AUTOEXIT";
    if (page.ChkBoxRepError->isChecked())
        parameters += " /EXTERROR";
    if (page.RChkCombo->currentText() != NoneEntry)
        parameters += " /C=" + ArgumentText(page.RChkCombo->currentText() + ".lst");
    if (page.RDrvCombo->currentText() != NoneEntry)
        parameters += " /EXTRA=" + ArgumentText(page.RDrvCombo->currentText() + ".drv");
    return parameters;
}

void RunRepair(TMainForm& form) {
    const std::optional<QString> parameters = RepairParameters(form);
    if (!parameters)
        return;
    if (StartProgram(form, form.ToolkitFolder + ToolkitFile::FindVirus + *parameters) ==
        StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning, "FindVirus not found. Cannot repair disk(s).",
                               MessageButtons::Ok);
}

QString CleanBootArguments(TMainForm& form) {
    QString typeSwitch;
    for (const DiskType& type : DiskTypes(form)) {
        if (type.button->isChecked())
            typeSwitch = type.typeSwitch;
    }
    return (form.Repair.RadBtnA->isChecked() ? " a: " : " b: ") + typeSwitch;
}

void CleanBootSector(TMainForm& form) {
    if (StartProgram(form, form.ToolkitFolder + ToolkitFile::Cleaner + CleanBootArguments(form)) ==
        StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning,
                               "CleanBoo.exe not found. Cannot clean boot sector.",
                               MessageButtons::Ok);
}

void EditRepairDrivesChange(TMainForm& form) {
    FilterDriveEdit(form.Repair.EditRepairDrives);
}

void ChkBoxRepairReportClick(TMainForm& form) {
    form.Repair.ChkBoxRepAppend->setEnabled(form.Repair.ChkBoxRepairReport->isChecked());
}

void RChkComboDropDown(TMainForm& form) {
    FillToolkitFileCombo(form, form.Repair.RChkCombo, "lst");
}

void RDrvComboDropDown(TMainForm& form) {
    FillToolkitFileCombo(form, form.Repair.RDrvCombo, "drv");
}

void SBtnRepairClick(TMainForm& form) {
    RunRepair(form);
}

void SBtnCleanClick(TMainForm& form) {
    CleanBootSector(form);
}

void ConnectRepairPage(TMainForm& form) {
    Ui::RepairSheet& page = form.Repair;
    form.onTextChanged(page.EditRepairDrives, EditRepairDrivesChange);
    form.onToggled(page.ChkBoxRepairReport, ChkBoxRepairReportClick);
    form.onDropDown(page.RChkCombo, RChkComboDropDown);
    form.onDropDown(page.RDrvCombo, RDrvComboDropDown);
    form.onClick(page.SBtnRepair, SBtnRepairClick);
    form.onClick(page.SBtnClean, SBtnCleanClick);
}
