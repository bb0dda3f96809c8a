#include "Integrity.h"

#include "core/DefinitionNames.h"
#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/FileSystem.h"
#include "platform/ProgramStart.h"
#include "platform/VallorinError.h"

#include "toolkit/Toolkit.h"
#include "ui_CheckSheet.h"

#include <QSignalBlocker>
#include <QStyle>

#include <QCoreApplication>
#include <algorithm>
#include <utility>

namespace {

// The texts this unit shows the user, translatable in the context "Integrity".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Integrity)
};

using Sheet = Ui::CheckSheet;

const char* const NotComputedText =
    QT_TRANSLATE_NOOP("Integrity", "Fingerprints haven't been computed.");
const char* const ShortKeywordText =
    QT_TRANSLATE_NOOP("Integrity", "The keyword must be at least 8 characters long.");

// The page's check boxes with the options they show.
const std::pair<bool CheckOptions::*, QCheckBox * Sheet::*> Boxes[] = {
    {&CheckOptions::boot, &Sheet::ChkBoxChkBoot},
    {&CheckOptions::partition, &Sheet::ChkBoxChkPart},
    {&CheckOptions::preventExit, &Sheet::ChkBoxVPrevent},
    {&CheckOptions::useKeyword, &Sheet::ChkBoxKeyword},
    {&CheckOptions::turbo, &Sheet::ChkBoxTurbo},
    {&CheckOptions::beep, &Sheet::ChkBoxChkBeep},
    {&CheckOptions::detail, &Sheet::ChkBoxChkDetail},
    {&CheckOptions::print, &Sheet::ChkBoxChkPrint},
    {&CheckOptions::report, &Sheet::ChkBoxChkReport}};
// In the order in which the ticked button is looked for.
const std::pair<FingerprintAlgorithm, QRadioButton * Sheet::*> AlgorithmButtons[] = {
    {FingerprintAlgorithm::Sizes, &Sheet::RadBtnSizes},
    {FingerprintAlgorithm::Checksum, &Sheet::RadBtnChecksum},
    {FingerprintAlgorithm::CcittCrc, &Sheet::RadBtnCCITT},
    {FingerprintAlgorithm::Des, &Sheet::RadBtnDES}};

// The page's values, as they are saved and as ViVerify's command line takes them.
CheckOptions CheckOptionsOf(const Sheet& check) {
    CheckOptions o;
    o.driveText = check.EditCheckDrives->text();
    o.keyword = check.EditKeyword->text();
    o.bytes = check.EditBytes->text();
    for (const auto& [option, box] : Boxes)
        o.*option = (check.*box)->isChecked();
    for (const auto& [algorithm, button] : AlgorithmButtons) {
        if ((check.*button)->isChecked()) {
            o.algorithm = algorithm;
            break;
        }
    }
    return o;
}

// An unknown algorithm leaves the buttons as they are.
void ShowCheckOptions(Sheet& check, const CheckOptions& o) {
    check.EditCheckDrives->setText(o.driveText);
    // Loaded whole; the byte interval's change handler then applies its rule.
    SetLoadedText(check.EditKeyword, o.keyword);
    SetLoadedText(check.EditBytes, o.bytes);
    for (const auto& [option, box] : Boxes)
        (check.*box)->setChecked(o.*option);
    for (const auto& [algorithm, button] : AlgorithmButtons)
        if (o.algorithm == algorithm)
            (check.*button)->setChecked(true);
    // Show loaded texts from their start, as a fresh edit does.
    for (QLineEdit* edit : {check.EditCheckDrives, check.EditKeyword, check.EditBytes})
        edit->setCursorPosition(0);
}

// The definition's key; a "\" in the name would address another key of the store.
QString CheckKeyPath(const MainState& form, const QString& name) {
    if (name.contains('\\'))
        throw VallorinError(Texts::tr("The check name \"%1\" cannot hold a \"\\\"").arg(name));
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

QString FingerprintFolder(const MainState& form) {
    return form.ProgramFolder + "Prints";
}

QString FingerprintBaseName(const MainState& form, const QString& name) {
    const QString refusal = DefinitionNameRefusal(name, DefinitionNameUse::KeyAndFile);
    if (!refusal.isEmpty())
        throw VallorinError(Texts::tr("The check name \"%1\" cannot name a fingerprint file. %2")
                                .arg(PrintableName(name), refusal));
    // The folder as it exists on disk, since names resolve without regard to case.
    return FileSystem::ResolvePath(FingerprintFolder(form)) + '/' + name;
}

// ---- Storage

void LoadCheckDefinition(MainState& form) {
    const QString name = form.Check.CheckCombo->currentText();
    if (name.isEmpty())
        return;
    const std::optional<StoredCheck> stored =
        ReadStoredCheck(form.store(), CheckKeyPath(form, name));
    if (!stored) {
        ReportDefinitionNotFound(form);
        return;
    }
    ShowCheckOptions(form.Check, stored->options);
    form.LastCheckTime = stored->lastRun;
}

void SaveCheckDefinition(MainState& form) {
    const QString name = form.Check.CheckCombo->currentText();
    if (!name.isEmpty())
        WriteStoredCheck(form.store(), CheckKeyPath(form, name),
                         {CheckOptionsOf(form.Check), form.LastCheckTime});
}

// ---- Handlers

void CheckComboChange(MainState& form) {
    Sheet& check = form.Check;
    const QString name = check.CheckCombo->currentText();
    if (name.isEmpty())
        return;
    LoadCheckDefinition(form);
    check.LabLastCheckDate->setText(LastRunText(form.LastCheckTime, form.now()));

    // "Last computed" comes from the fingerprint file itself. A name that cannot name a file in
    // the fingerprint folder has none; the runs refuse it with an error.
    if (!DefinitionNameRefusal(name, DefinitionNameUse::KeyAndFile).isEmpty()) {
        check.LabLastCompDate->setText(Texts::tr(NotComputedText));
        return;
    }
    const QString file = FingerprintBaseName(form, name) + ".vvf";
    if (!FileSystem::FileExists(file)) {
        check.LabLastCompDate->setText(Texts::tr(NotComputedText));
        return;
    }
    // The file system keeps the time in UTC; the page shows every date in local time.
    if (const auto written = FileSystem::LastWriteTime(file))
        check.LabLastCompDate->setText(LastRunText(ToDateTime(written->toLocalTime()), form.now()));
}

void CheckComboDropDown(MainState& form) {
    SaveCheckDefinition(form);
}

DefinitionPage CheckDefinitionPage(MainState& form) {
    Sheet& check = form.Check;
    return {.combo = check.CheckCombo,
            .removeButton = check.SBtnDelCheck,
            .operation = QStringLiteral("Verify"),
            .load = [&form] { CheckComboChange(form); },
            .showAdded =
                [&form] {
                    form.Check.LabLastCompDate->setText(Texts::tr(NotComputedText));
                    form.Check.LabLastCheckDate->setText({});
                    form.LastCheckTime = 0;
                },
            .showNone =
                [&form] {
                    form.Check.LabLastCompDate->setText(Texts::tr("No checks are defined."));
                    form.Check.LabLastCheckDate->setText({});
                },
            .nameUse = DefinitionNameUse::KeyAndFile};
}

void SBtnAddCheckClick(MainState& form) {
    SaveCheckDefinition(form);
    form.dialogs().addDefinition(form, CheckDefinitionPage(form));
}

void SBtnDelCheckClick(MainState& form) {
    form.dialogs().removeDefinitions(form, CheckDefinitionPage(form));
}

void EditCheckDrivesChange(MainState& form) {
    FilterDriveEdit(form.Check.EditCheckDrives);
}

void EditBytesChange(MainState& form) {
    QLineEdit* edit = form.Check.EditBytes;
    if (AcceptedByteInterval(edit->text()).isEmpty())
        edit->clear();
}

void SBtnComputeClick(MainState& form) {
    const QDateTime now = form.now();
    form.Check.LabLastCompDate->setText(LastRunText(ToDateTime(now), now));
    SaveCheckDefinition(form);
    RunViVerify(form, "compute");
}

void SBtnVerifyClick(MainState& form) {
    const QDateTime now = form.now();
    form.LastCheckTime = ToDateTime(now);
    form.Check.LabLastCheckDate->setText(LastRunText(form.LastCheckTime, now));
    SaveCheckDefinition(form);
    RunViVerify(form, "verify");
}

void RunViVerify(MainState& form, QString action) {
    const Sheet& check = form.Check;
    Prompts& prompts = form.prompts();
    if (DefinitionMissing(form, check.CheckCombo))
        return;
    const QString baseName = FingerprintBaseName(form, check.CheckCombo->currentText());

    if (action == "verify" && !FileSystem::FileExists(baseName + ".vvf")) {
        if (prompts.message(MessageKind::Warning,
                            Texts::tr("Fingerprint file for this check not found.\r"
                                      "Do you want to compute new fingerprints?"),
                            MessageButtons::YesNo) == MessageAnswer::No)
            return;
        action = "compute";
    }

    if (action == "compute") {
        const QString folder = FingerprintFolder(form);
        if (!FileSystem::DirectoryExists(folder) && !FileSystem::CreateDirectory(folder)) {
            prompts.message(MessageKind::Warning,
                            Texts::tr("Could not create folder for fingerprint files."),
                            MessageButtons::Ok);
            return;
        }
    }

    const CheckOptions options = CheckOptionsOf(check);
    const bool noDrives = options.driveText.isEmpty();
    if (!noDrives && !ValidateDrives(form, options.driveText))
        return;
    const bool shortKeyword = options.useKeyword && options.keyword.size() < MinKeywordLength;
    if (noDrives) {
        prompts.message(MessageKind::Information,
                        form.DriveMessagePrefix + Texts::tr("check.") +
                            (shortKeyword ? "\r" + Texts::tr(ShortKeywordText) : QString()),
                        MessageButtons::Ok);
        return;
    }
    if (shortKeyword) {
        prompts.message(MessageKind::Information, Texts::tr(ShortKeywordText), MessageButtons::Ok);
        return;
    }

    const QString commandLine = ViVerifyCommandLine(
        form.ToolkitFolder, action == "compute" ? CheckAction::Compute : CheckAction::Verify,
        options, baseName);
    if (StartProgram(form, commandLine) == StartResult::FileNotFound)
        prompts.message(MessageKind::Warning,
                        action == "compute"
                            ? Texts::tr("ViVerify not found. Cannot compute fingerprints.")
                            : Texts::tr("ViVerify not found. Cannot verify fingerprints."),
                        MessageButtons::Ok);
}

// ---- Connections

void ConnectCheckPage(MainState& form) {
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
    KeepTypingLimit(check.EditKeyword);
    KeepTypingLimit(check.EditBytes);
}
