#include "Integrity.h"

#include "definitions/AddScan.h"
#include "definitions/Common.h"
#include "definitions/RemoveScan.h"
#include "platform/FileSystem.h"
#include "platform/ProgramStart.h"
#include "platform/SettingsStore.h"
#include "platform/VallorinError.h"
#include "shell/AVTKmain.h"
#include "toolkit/Toolkit.h"

#include <QFile>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>

namespace {

using Sheet = Ui::CheckSheet;

const QString NotComputedText = "Fingerprints haven't been computed.";
const QString ShortKeywordText = "The keyword must be at least 8 characters long.";
constexpr int MinKeywordLength = 8;
// The longest file name the file system takes, in bytes.
constexpr int MaxFileNameBytes = 255;

struct Algorithm {
    QRadioButton* Sheet::*button;
    const char* caption; // the stored text
    const char* option;  // ViVerify's switch
};
// In the order in which a stored text is compared and the ticked button is looked for.
const Algorithm Algorithms[] = {
    {&Sheet::RadBtnSizes, "File size", " /SIZES"},
    {&Sheet::RadBtnChecksum, "Checksum", " /WHOLESUM"},
    {&Sheet::RadBtnCCITT, "CCITT CRC", " /CRC"},
    {&Sheet::RadBtnDES, "DES", " /DES"},
};

struct Flag {
    const char* name;
    QCheckBox* Sheet::*box;
    bool defaultValue;
};
// The flags stored between "Drives" and "Key", and those after "Bytes", in storage order.
const Flag LeadingFlags[] = {
    {"Boot", &Sheet::ChkBoxChkBoot, true},
    {"Partition", &Sheet::ChkBoxChkPart, true},
    {"PreventExit", &Sheet::ChkBoxVPrevent, false},
    {"Keyword", &Sheet::ChkBoxKeyword, true},
};
const Flag TrailingFlags[] = {
    {"Beep", &Sheet::ChkBoxChkBeep, true},
    {"Detail", &Sheet::ChkBoxChkDetail, false},
    {"Print", &Sheet::ChkBoxChkPrint, false},
    {"Report", &Sheet::ChkBoxChkReport, false},
};

const Algorithm* TickedAlgorithm(const Sheet& check) {
    for (const Algorithm& algorithm : Algorithms) {
        if ((check.*algorithm.button)->isChecked())
            return &algorithm;
    }
    return nullptr;
}

// The definition's key; a "\" in the name would address another key of the store.
QString CheckKeyPath(const TMainForm& form, const QString& name) {
    if (name.contains('\\'))
        throw VallorinError("The check name \"" + name + "\" cannot hold a \"\\\"");
    return form.ProgramKey + "\\Verify\\" + name;
}

QString PrintableName(QString name) {
    std::replace_if(
        name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; },
        QChar('?'));
    return name;
}

// The up-down's position follows a digit typed into its edit; a step writes the edit.
void BindUpDown(QSpinBox* upDown, QLineEdit* edit) {
    QObject::connect(upDown, &QSpinBox::valueChanged, edit, [edit](int value) {
        const QString text = QString::number(value);
        if (edit->text() != text)
            edit->setText(text);
    });
    QObject::connect(edit, &QLineEdit::textChanged, upDown, [upDown](const QString& text) {
        const auto value = ParseIntegerText(text);
        if (value && *value >= upDown->minimum() && *value <= upDown->maximum()) {
            const QSignalBlocker quiet(upDown);
            upDown->setValue(*value);
        }
    });
}

} // namespace

// ---- Fingerprint files

QString FingerprintFolder(const TMainForm& form) {
    return form.ProgramFolder + "Prints";
}

bool IsSafeFingerprintName(const QString& name) {
    if (name.isEmpty() || std::all_of(name.begin(), name.end(), [](QChar c) { return c == '.'; }))
        return false;
    for (QChar c : name) {
        // A quote would end the quoted "/FF=" path of the command line.
        if (c == '/' || c == '\\' || c == '"' || c.category() == QChar::Other_Control)
            return false;
    }
    return QFile::encodeName(name).size() + 4 <= MaxFileNameBytes;
}

QString FingerprintBaseName(const TMainForm& form, const QString& name) {
    if (!IsSafeFingerprintName(name))
        throw VallorinError("The check name \"" + PrintableName(name) +
                            "\" cannot name a fingerprint file: a name must not hold \"/\", "
                            "\"\\\", quotes or control characters, nor be dots alone or "
                            "longer than 250 characters");
    // The folder as it exists on disk, since names resolve without regard to case.
    return FileSystem::ResolvePath(FingerprintFolder(form)) + '/' + name;
}

// ---- Storage

void LoadCheckDefinition(TMainForm& form) {
    Sheet& check = form.Check;
    const QString name = check.CheckCombo->currentText();
    if (name.isEmpty())
        return;
    const QString path = CheckKeyPath(form, name);
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    if (!store.keyExists(path)) {
        ReportDefinitionNotFound(form);
        return;
    }
    WithOpenKey(store, path, false, [&] {
        check.EditCheckDrives->setText(ReadText(store, "Drives"));
        for (const Flag& flag : LeadingFlags)
            (check.*flag.box)->setChecked(ReadFlag(store, flag.name, flag.defaultValue));
        const QString keyword = ReadText(store, "Key");
        check.EditKeyword->setText(keyword.isEmpty() ? QStringLiteral("None") : keyword);
        const QString algorithm = ReadText(store, "Algorithm");
        for (const Algorithm& choice : Algorithms) {
            if (algorithm == choice.caption) {
                (check.*choice.button)->setChecked(true);
                break;
            }
        }
        check.ChkBoxTurbo->setChecked(ReadFlag(store, "Turbo", true));
        // The edit holds one character: a longer stored text is no interval it can show, and
        // cutting it would make another number of it.
        const QString bytes = ReadText(store, "Bytes", "5");
        check.EditBytes->setText(bytes.size() <= 1 ? bytes : QString());
        for (const Flag& flag : TrailingFlags)
            (check.*flag.box)->setChecked(ReadFlag(store, flag.name, flag.defaultValue));
        // A date that is no number reads as never checked.
        form.LastCheckTime = DateTimeFromText(ReadText(store, "CheckDate", "0.0"));
    });
    // Show loaded texts from their start, as a fresh edit does.
    for (QLineEdit* edit : {check.EditCheckDrives, check.EditKeyword, check.EditBytes})
        edit->setCursorPosition(0);
}

void SaveCheckDefinition(TMainForm& form) {
    const Sheet& check = form.Check;
    const QString name = check.CheckCombo->currentText();
    if (name.isEmpty())
        return;
    const QString path = CheckKeyPath(form, name);
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, path, true, [&] {
        store.writeString("Drives", check.EditCheckDrives->text());
        for (const Flag& flag : LeadingFlags)
            WriteFlag(store, flag.name, (check.*flag.box)->isChecked());
        store.writeString("Key", check.EditKeyword->text());
        if (const Algorithm* algorithm = TickedAlgorithm(check))
            store.writeString("Algorithm", algorithm->caption);
        WriteFlag(store, "Turbo", check.ChkBoxTurbo->isChecked());
        store.writeString("Bytes", check.EditBytes->text());
        for (const Flag& flag : TrailingFlags)
            WriteFlag(store, flag.name, (check.*flag.box)->isChecked());
        store.writeString("CheckDate", DateTimeText(form.LastCheckTime));
    });
}

// ---- Handlers

void CheckComboChange(TMainForm& form) {
    Sheet& check = form.Check;
    const QString name = check.CheckCombo->currentText();
    if (name.isEmpty())
        return;
    LoadCheckDefinition(form);
    check.LabLastCheckDate->setText(LastRunText(form.LastCheckTime, form.now()));

    // "Last computed" comes from the fingerprint file itself. A name that cannot name a file in
    // the fingerprint folder has none; the runs refuse it with an error.
    if (!IsSafeFingerprintName(name)) {
        check.LabLastCompDate->setText(NotComputedText);
        return;
    }
    const QString file = FingerprintBaseName(form, name) + ".vvf";
    if (!FileSystem::FileExists(file)) {
        check.LabLastCompDate->setText(NotComputedText);
        return;
    }
    // The file system keeps the time in UTC; the page shows every date in local time.
    if (const auto written = FileSystem::LastWriteTime(file))
        check.LabLastCompDate->setText(LastRunText(ToDateTime(written->toLocalTime()), form.now()));
}

void CheckComboDropDown(TMainForm& form) {
    SaveCheckDefinition(form);
}

void SBtnAddCheckClick(TMainForm& form) {
    SaveCheckDefinition(form);
    // The dialog may free itself when it closes; the guard sees to it either way.
    QPointer<TAddScanForm> dialog = new TAddScanForm(form);
    dialog->Execute(form.Check.CheckCombo, form.Check.SBtnDelCheck);
    delete dialog.data();
}

void SBtnDelCheckClick(TMainForm& form) {
    QPointer<TRemoveScanForm> dialog = new TRemoveScanForm(form);
    dialog->Execute(form.Check.CheckCombo, form.Check.SBtnDelCheck);
    delete dialog.data();
}

void EditCheckDrivesChange(TMainForm& form) {
    FilterDriveEdit(form.Check.EditCheckDrives);
}

void EditBytesChange(TMainForm& form) {
    QLineEdit* edit = form.Check.EditBytes;
    const QString text = edit->text();
    if (text.isEmpty())
        return;
    if (!ParseIntegerText(text) || text == "0")
        edit->clear();
}

void SBtnComputeClick(TMainForm& form) {
    const QDateTime now = form.now();
    form.Check.LabLastCompDate->setText(LastRunText(ToDateTime(now), now));
    SaveCheckDefinition(form);
    RunViVerify(form, "compute");
}

void SBtnVerifyClick(TMainForm& form) {
    const QDateTime now = form.now();
    form.LastCheckTime = ToDateTime(now);
    form.Check.LabLastCheckDate->setText(LastRunText(form.LastCheckTime, now));
    SaveCheckDefinition(form);
    RunViVerify(form, "verify");
}

void RunViVerify(TMainForm& form, QString action) {
    const Sheet& check = form.Check;
    Prompts& prompts = form.prompts();
    if (DefinitionMissing(form, check.CheckCombo))
        return;
    const QString baseName = FingerprintBaseName(form, check.CheckCombo->currentText());

    if (action == "verify" && !FileSystem::FileExists(baseName + ".vvf")) {
        if (prompts.message(MessageKind::Warning,
                            "Fingerprint file for this check not found.\r"
                            "Do you want to compute new fingerprints?",
                            MessageButtons::YesNo) == MessageAnswer::No)
            return;
        action = "compute";
    }

    QString parameters;
    if (action == "compute") {
        parameters = " /CREATE";
        const QString folder = FingerprintFolder(form);
        if (!FileSystem::DirectoryExists(folder) && !FileSystem::CreateDirectory(folder)) {
            prompts.message(MessageKind::Warning, "Could not create folder for fingerprint files.",
                            MessageButtons::Ok);
            return;
        }
    }

    const QString drives = check.EditCheckDrives->text();
    const bool noDrives = drives.isEmpty();
    if (!noDrives) {
        if (!ValidateDrives(form, drives))
            return;
        parameters += " /D=" + FormatDriveList(drives);
    }
    if (!check.ChkBoxChkBoot->isChecked())
        parameters += " /NOBOOT";
    if (!check.ChkBoxChkPart->isChecked())
        parameters += " /NOPART";
    if (check.ChkBoxVPrevent->isChecked())
        parameters += " /NOCANCEL";
    bool shortKeyword = false;
    if (check.ChkBoxKeyword->isChecked()) {
        shortKeyword = check.EditKeyword->text().size() < MinKeywordLength;
        if (!shortKeyword)
            parameters += " /X=" + ArgumentText(check.EditKeyword->text());
    } else {
        parameters += " /NOPSW";
    }
    parameters += " /FF=\"" + baseName + '"';

    if (noDrives) {
        prompts.message(MessageKind::Information,
                        form.DriveMessagePrefix + "check." +
                            (shortKeyword ? "\r" + ShortKeywordText : QString()),
                        MessageButtons::Ok);
        return;
    }
    if (shortKeyword) {
        prompts.message(MessageKind::Information, ShortKeywordText, MessageButtons::Ok);
        return;
    }

    if (const Algorithm* algorithm = TickedAlgorithm(check))
        parameters += algorithm->option;
    if (!check.ChkBoxTurbo->isChecked())
        parameters += " /NT";
    parameters += " /N=" + check.EditBytes->text();
    if (check.ChkBoxChkBeep->isChecked())
        parameters += " /BEEP";
    if (check.ChkBoxChkDetail->isChecked())
        parameters += " /LOUD";
    if (check.ChkBoxChkPrint->isChecked())
        parameters += " /PRINTOUT";
    if (check.ChkBoxChkReport->isChecked())
        parameters += " /REPORT=Verify.Rep";

    const QString commandLine = form.ToolkitFolder + ToolkitFile::ViVerify + parameters;
    if (StartProgram(form, commandLine) == StartResult::FileNotFound)
        prompts.message(MessageKind::Warning,
                        "ViVerify not found. Cannot " + action + " fingerprints.",
                        MessageButtons::Ok);
}

// ---- Connections

void ConnectCheckPage(TMainForm& form) {
    Sheet& check = form.Check;
    SetDefinitionButtonIcons(check.SBtnAddCheck, check.SBtnDelCheck);
    form.onActivated(check.CheckCombo, CheckComboChange);
    form.onDropDown(check.CheckCombo, CheckComboDropDown);
    form.onClick(check.SBtnAddCheck, SBtnAddCheckClick);
    form.onClick(check.SBtnDelCheck, SBtnDelCheckClick);
    form.onTextChanged(check.EditCheckDrives, EditCheckDrivesChange);
    form.onTextChanged(check.EditBytes, EditBytesChange);
    form.onClick(check.SBtnCompute, SBtnComputeClick);
    form.onClick(check.SBtnVerify, SBtnVerifyClick);
    BindUpDown(check.UDBytes, check.EditBytes);
}
