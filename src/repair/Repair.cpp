#include "Repair.h"

#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "store/SettingsStore.h"

#include "toolkit/Toolkit.h"
#include "ui_RepairSheet.h"

#include <QRadioButton>

#include <QCoreApplication>
#include <array>

namespace {

// The texts this unit shows the user, translatable in the context "Repair".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Repair)
};

struct DiskTypeButton {
    QRadioButton* button;
    DiskType type;
};

// The disk-type buttons in the order a stored "CleanType" is matched against them.
std::array<DiskTypeButton, 6> DiskTypes(MainState& form) {
    const Ui::RepairSheet& page = form.Repair;
    return {{{page.RadBtn360, DiskType::Kb360},
             {page.RadBtn12, DiskType::Mb12},
             {page.RadBtn720, DiskType::Kb720},
             {page.RadBtn144, DiskType::Mb144},
             {page.RadBtn288, DiskType::Mb288},
             {page.RadBtnAuto, DiskType::Auto}}};
}

QString RepairKey(const MainState& form) {
    return form.ProgramKey + "\\Repair";
}

// The flags in the order they are read and written, after "Drives" and "Delete".
std::array<std::pair<const char*, QCheckBox*>, 7> RepairFlags(MainState& form) {
    const Ui::RepairSheet& page = form.Repair;
    return {{{"Detail", page.ChkBoxRepairDetail},
             {"Print", page.ChkBoxRepairPrint},
             {"Report", page.ChkBoxRepairReport},
             {"+Report", page.ChkBoxRepAppend},
             {"PreventExit", page.ChkBoxRepPrevent},
             {"Exit", page.ChkBoxRepExit},
             {"ExtErr", page.ChkBoxRepError}}};
}

void ReadRepairValues(MainState& form, SettingsStore& store) {
    Ui::RepairSheet& page = form.Repair;
    const QString drives = ReadText(store, "Drives");
    const DriveChoice choice = StoredDriveChoice(drives);
    if (choice == DriveChoice::Listed) {
        page.RadBtnRepDef->setChecked(true);
        page.EditRepairDrives->setText(drives);
    } else {
        page.EditRepairDrives->clear();
        (choice == DriveChoice::All ? page.RadBtnRepAll : page.RadBtnRepLocal)->setChecked(true);
    }
    (ReadFlag(store, "Delete", false) ? page.RadBtnDelete : page.RadBtnRename)->setChecked(true);
    for (const auto& [name, box] : RepairFlags(form))
        box->setChecked(ReadFlag(store, name, false));
    SelectComboEntry(page.RChkCombo, ReadText(store, "CheckList", NoneEntry));
    SelectComboEntry(page.RDrvCombo, ReadText(store, "Extra Drv", NoneEntry));

    // A type that matches no caption exactly keeps the choice the page has.
    const QString cleanType = ReadText(store, "CleanType", page.RadBtnAuto->text());
    for (const DiskTypeButton& type : DiskTypes(form)) {
        if (type.button->text() == cleanType) {
            type.button->setChecked(true);
            break;
        }
    }
    (ReadText(store, "CleanDrive", "A") == "A" ? page.RadBtnA : page.RadBtnB)->setChecked(true);
}

void WriteRepairValues(MainState& form, SettingsStore& store) {
    const Ui::RepairSheet& page = form.Repair;
    store.writeString("Drives",
                      StoredDrivesText(DriveChoiceOf(page.RadBtnRepAll, page.RadBtnRepLocal),
                                       page.EditRepairDrives->text()));
    WriteFlag(store, "Delete", page.RadBtnDelete->isChecked());
    for (const auto& [name, box] : RepairFlags(form))
        WriteFlag(store, name, box->isChecked());
    store.writeString("CheckList", page.RChkCombo->currentText());
    store.writeString("Extra Drv", page.RDrvCombo->currentText());
    for (const DiskTypeButton& type : DiskTypes(form)) {
        if (type.button->isChecked()) {
            store.writeString("CleanType", type.button->text());
            break;
        }
    }
    store.writeString("CleanDrive", page.RadBtnA->isChecked() ? "A" : "B");
}

} // namespace

void LoadRepairSettings(MainState& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    if (store.keyExists(RepairKey(form)))
        WithOpenKey(store, RepairKey(form), false, [&] { ReadRepairValues(form, store); });
}

void SaveRepairSettings(MainState& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, RepairKey(form), true, [&] { WriteRepairValues(form, store); });
}

RepairOptions RepairOptionsOf(MainState& form) {
    const Ui::RepairSheet& page = form.Repair;
    RepairOptions o;
    o.drives = DriveChoiceOf(page.RadBtnRepAll, page.RadBtnRepLocal);
    o.driveText = page.EditRepairDrives->text();
    o.deleteFiles = page.RadBtnDelete->isChecked();
    o.detail = page.ChkBoxRepairDetail->isChecked();
    o.print = page.ChkBoxRepairPrint->isChecked();
    o.report = page.ChkBoxRepairReport->isChecked();
    o.appendReport = page.ChkBoxRepAppend->isChecked();
    o.preventExit = page.ChkBoxRepPrevent->isChecked();
    o.autoExit = page.ChkBoxRepExit->isChecked();
    o.extErr = page.ChkBoxRepError->isChecked();
    o.checkList = page.RChkCombo->currentText();
    o.extraDrv = page.RDrvCombo->currentText();
    return o;
}

std::optional<QString> RepairParameters(MainState& form) {
    const RepairOptions options = RepairOptionsOf(form);
    if (options.drives == DriveChoice::Listed) {
        if (options.driveText.isEmpty()) {
            form.prompts().message(MessageKind::Error,
                                   form.DriveMessagePrefix + Texts::tr("repair."),
                                   MessageButtons::Ok);
            return std::nullopt;
        }
        if (!ValidateDrives(form, options.driveText))
            return std::nullopt;
    }
    return RepairSwitches(options);
}

void RunRepair(MainState& form) {
    const std::optional<QString> parameters = RepairParameters(form);
    if (!parameters)
        return;
    if (StartProgram(form, form.ToolkitFolder + ToolkitFile::FindVirus + *parameters) ==
        StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning,
                               Texts::tr("FindVirus not found. Cannot repair disk(s)."),
                               MessageButtons::Ok);
}

CleanBootOptions CleanBootOptionsOf(MainState& form) {
    CleanBootOptions options;
    options.driveB = !form.Repair.RadBtnA->isChecked();
    for (const DiskTypeButton& type : DiskTypes(form)) {
        if (type.button->isChecked())
            options.type = type.type;
    }
    return options;
}

void CleanBootSector(MainState& form) {
    if (StartProgram(form, CleanBootCommandLine(form.ToolkitFolder, CleanBootOptionsOf(form))) ==
        StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning,
                               Texts::tr("CleanBoo.exe not found. Cannot clean boot sector."),
                               MessageButtons::Ok);
}

void EditRepairDrivesChange(MainState& form) {
    FilterDriveEdit(form.Repair.EditRepairDrives);
}

void ChkBoxRepairReportClick(MainState& form) {
    form.Repair.ChkBoxRepAppend->setEnabled(form.Repair.ChkBoxRepairReport->isChecked());
}

void RChkComboDropDown(MainState& form) {
    FillToolkitFileCombo(form, form.Repair.RChkCombo, "lst");
}

void RDrvComboDropDown(MainState& form) {
    FillToolkitFileCombo(form, form.Repair.RDrvCombo, "drv");
}

void SBtnRepairClick(MainState& form) {
    RunRepair(form);
}

void SBtnCleanClick(MainState& form) {
    CleanBootSector(form);
}

void ConnectRepairPage(MainState& form) {
    Ui::RepairSheet& page = form.Repair;
    form.onTextChanged(page.EditRepairDrives, EditRepairDrivesChange);
    form.onToggled(page.ChkBoxRepairReport, ChkBoxRepairReportClick);
    form.onDropDown(page.RChkCombo, RChkComboDropDown);
    form.onDropDown(page.RDrvCombo, RDrvComboDropDown);
    form.onClick(page.SBtnRepair, SBtnRepairClick);
    form.onClick(page.SBtnClean, SBtnCleanClick);
}
