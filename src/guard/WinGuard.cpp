#include "WinGuard.h"

#include "core/GuardFile.h"
#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLock.h"
#include "platform/VallorinError.h"
#include "platform/qt/StyleIcons.h"

#include "ui_GuardSheet.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include <signal.h>

namespace {

// The texts this unit shows the user, translatable in the context "WinGuard".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(WinGuard)
};

const QByteArray FlagOn("\x01\x00\x00\x00", 4);

bool IsDriverKey(const MainState& form, const QString& path) {
    return path == form.GuardVxdKey;
}

// A text value of the open key. A value of another type under a text name counts as absent:
// the scanner reads these names as texts, so such a value means nothing to it either.
std::optional<QString> TextValue(SettingsStore& store, const QString& name) {
    const ValueType type = store.valueType(name);
    if (type != ValueType::String && type != ValueType::ExpandString)
        return std::nullopt;
    return store.readString(name);
}

// A flag is on while a value of its name exists, whatever its type and data; switching it on
// leaves an existing value as it is.
void WriteGuardFlag(SettingsStore& store, const QString& name, bool on) {
    if (!on)
        store.deleteValue(name);
    else if (!store.valueExists(name))
        store.writeBinary(name, FlagOn);
}

void SetEditText(QLineEdit* edit, const std::optional<QString>& text) {
    if (text)
        edit->setText(*text);
}

// The radio button that a stored "Drives" value chooses.
QRadioButton* DrivesChoice(MainState& form, const std::optional<QString>& drives) {
    auto& g = form.Guard;
    if (!drives)
        return g.RadBtnAll;
    const std::pair<const char*, QRadioButton*> named[] = {
        {"floppy", g.RadBtnFloppies}, {"local", g.RadBtnLocal}, {"remote", g.RadBtnNetwork}};
    for (const auto& [text, button] : named) {
        if (drives->compare(text, Qt::CaseInsensitive) == 0)
            return button;
    }
    return g.RadBtnDef;
}

void WarnCouldNotOpenKey(MainState& form) {
    form.prompts().message(MessageKind::Warning, CouldNotOpenKeyText(), MessageButtons::Ok);
}

// The text of a settings file, refusing what cannot be one before it is read whole.
QString ReadGuardFileText(const QString& fileName) {
    const QFileInfo info(FileSystem::ResolvePath(fileName));
    if (info.exists() && !info.isDir()) {
        if (!info.isFile())
            throw VallorinError(
                Texts::tr("The file %1 is not a WinGuard settings file").arg(fileName));
        if (info.size() > MaxGuardFileSize)
            throw VallorinError(
                Texts::tr("The file %1 is too large to be a WinGuard settings file").arg(fileName));
    }
    return DecodeGuardFile(FileSystem::ReadWholeFile(fileName), fileName);
}

} // namespace

QString GuardKeyPath(const MainState& form) {
    return form.ProgramKey + "\\Guard";
}

// ---- Settings and their persistence

void LoadGuardPage(MainState& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    const bool installed = store.keyExists(form.GuardVxdKey);
    ReadGuardSettings(form, RootKey::CurrentUser, GuardKeyPath(form));
    if (installed) {
        ReadGuardSettings(form, RootKey::LocalMachine, form.GuardVxdKey);
        form.Guard.ChkBoxEnable->setChecked(true);
    } else {
        form.Guard.ChkBoxEnable->setChecked(false);
        form.Guard.SBtnSave->setEnabled(false);
    }
    form.Guard.SBtnApply->setEnabled(false);
}

void ReadGuardSettings(MainState& form, RootKey root, const QString& path) {
    SettingsStore& store = form.store();
    store.setRootKey(root);
    if (!store.keyExists(path))
        return;
    auto& g = form.Guard;
    const bool driverKey = IsDriverKey(form, path);
    WithOpenKey(store, path, false, [&] {
        g.ChkBoxWrite->setChecked(store.valueExists("Writes"));

        if (const auto all = TextValue(store, "AllFiles")) {
            if (all->compare("True", Qt::CaseInsensitive) == 0) {
                g.ChkBoxAll->setChecked(true);
            } else {
                g.ChkBoxAll->setChecked(false);
                g.ChkBoxOLE->setChecked(true);
            }
        } else {
            g.ChkBoxAll->setChecked(false);
            g.ChkBoxOLE->setChecked(false);
        }

        g.ChkBoxProgH->setChecked(store.valueExists("NormalHeuristics"));
        g.ChkBoxWordH->setChecked(store.valueExists("MacroHeuristics"));
        g.ChkBoxDOS->setChecked(store.valueExists("Close"));

        // Only the chosen button is checked, so that a reload that keeps the choice changes
        // no state and leaves the restart notice as it was.
        const auto drives = TextValue(store, "Drives");
        QRadioButton* choice = DrivesChoice(form, drives);
        choice->setChecked(true);
        // Whole, whatever the typing limit: the filter, not the limit, decides what is kept.
        if (choice == g.RadBtnDef)
            SetLoadedText(g.EditGuardDrv, *drives);

        if (const auto repair = TextValue(store, "Repair")) {
            const bool withoutPrompt = repair->compare("True", Qt::CaseInsensitive) == 0;
            g.ChkBoxRepair->setChecked(true);
            g.ChkBoxPrompt->setChecked(!withoutPrompt);
        } else {
            g.ChkBoxRepair->setChecked(false);
            g.ChkBoxPrompt->setChecked(false);
        }

        if (!driverKey) {
            g.ChkBoxGuardX->setChecked(ReadFlag(store, "UseDrv", false));
            g.EditGuardX->setText(ReadText(store, "extra"));
            g.ChkBoxLog->setChecked(ReadFlag(store, "UseLog", false));
            g.EditLog->setText(ReadText(store, "Long_logfilename"));
            g.ChkBoxNet->setChecked(ReadFlag(store, "UseNet", false));
            g.EditWinsock->setText(ReadText(store, "winsock", "WSOCK32.DLL"));
        } else {
            const std::tuple<QCheckBox*, QLineEdit*, const char*> options[] = {
                {g.ChkBoxGuardX, g.EditGuardX, "extra"},
                {g.ChkBoxLog, g.EditLog, "Long_logfilename"},
                {g.ChkBoxNet, g.EditWinsock, "winsock"}};
            for (const auto& [box, edit, name] : options) {
                const auto text = TextValue(store, name);
                box->setChecked(text.has_value());
                SetEditText(edit, text);
            }
        }
    });
}

void WriteGuardSettings(MainState& form, RootKey root, const QString& path) {
    SettingsStore& store = form.store();
    store.setRootKey(root);
    auto& g = form.Guard;
    const bool opened = WithOpenKey(store, path, !IsDriverKey(form, path), [&] {
        WriteGuardFlag(store, "writes", g.ChkBoxWrite->isChecked());

        if (g.ChkBoxAll->isChecked())
            store.writeString("allfiles", "True");
        else if (g.ChkBoxOLE->isChecked())
            store.writeString("allfiles", "OLE");
        else
            store.deleteValue("allfiles");

        WriteGuardFlag(store, "NormalHeuristics", g.ChkBoxProgH->isChecked());
        WriteGuardFlag(store, "MacroHeuristics", g.ChkBoxWordH->isChecked());
        WriteGuardFlag(store, "close", g.ChkBoxDOS->isChecked());

        if (g.ChkBoxRepair->isChecked())
            store.writeString("repair", g.ChkBoxPrompt->isChecked() ? "PROMPT" : "True");
        else
            store.deleteValue("repair");

        if (g.RadBtnAll->isChecked())
            store.deleteValue("drives");
        else if (g.RadBtnFloppies->isChecked())
            store.writeString("drives", "floppy");
        else if (g.RadBtnLocal->isChecked())
            store.writeString("drives", "local");
        else if (g.RadBtnNetwork->isChecked())
            store.writeString("drives", "remote");
        else if (g.RadBtnDef->isChecked())
            store.writeString("drives", g.EditGuardDrv->text());

        WriteGuardTextOption(form, g.EditGuardX, g.ChkBoxGuardX, path, "extra", "UseDrv");
        WriteGuardTextOption(form, g.EditLog, g.ChkBoxLog, path, "logfile", "UseLog");
        WriteGuardTextOption(form, g.EditLog, g.ChkBoxLog, path, "long_logfilename", "UseLog");
        WriteGuardTextOption(form, g.EditWinsock, g.ChkBoxNet, path, "winsock", "UseNet");
    });
    if (!opened)
        WarnCouldNotOpenKey(form);
}

void WriteGuardTextOption(MainState& form, QLineEdit* edit, QAbstractButton* box,
                          const QString& path, const QString& textName,
                          const QString& booleanName) {
    SettingsStore& store = form.store();
    const QString text = edit->text();
    if (text.isEmpty()) {
        store.deleteValue(textName);
        store.deleteValue(booleanName);
        return;
    }
    if (IsDriverKey(form, path)) {
        if (box->isChecked())
            store.writeString(textName, text);
        else
            store.deleteValue(textName);
        return;
    }
    WriteFlag(store, booleanName, box->isChecked());
    store.writeString(textName, text);
}

void EnableGuard(MainState& form) {
    SettingsStore& store = form.store();
    QString messages[4];
    std::copy(std::begin(GuardMessageDefaults), std::end(GuardMessageDefaults), messages);
    store.setRootKey(RootKey::CurrentUser);
    if (store.keyExists(GuardKeyPath(form))) {
        WithOpenKey(store, GuardKeyPath(form), false, [&] {
            for (int i = 0; i < 4; ++i)
                messages[i] = ReadText(store, GuardMessageNames[i], GuardMessageDefaults[i]);
        });
    }

    store.setRootKey(RootKey::LocalMachine);
    // Nothing else on this platform makes the start-entry key, so it is created when missing
    // rather than leaving the guard installed without its start entry.
    WithOpenKey(store, form.RunServicesKey, true,
                [&] { store.writeString("WinGuard", form.ToolkitFolder + "WGFE95.EXE"); });

    // The short form of a path is the path itself here. An empty or missing toolkit folder
    // gives the same bare or dangling name as the start entry, so both name one folder.
    const QString shortFolder = form.ToolkitFolder;
    WithOpenKey(store, form.GuardVxdKey, true, [&] {
        store.writeString("StaticVxD", shortFolder + "WINGRD95.386");
        for (int i = 0; i < 4; ++i)
            store.writeString(GuardMessageNames[i], messages[i]);
    });
    WriteGuardSettings(form, RootKey::LocalMachine, form.GuardVxdKey);
}

void DisableGuard(MainState& form) {
    WriteGuardSettings(form, RootKey::CurrentUser, GuardKeyPath(form));
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    store.deleteKey(form.GuardVxdKey);
    WithOpenKey(store, form.RunServicesKey, false, [&] { store.deleteValue("WinGuard"); });
}

void FinishGuardApply(MainState& form) {
    form.Guard.SBtnApply->setEnabled(false);
    // A guard running for this prefix reads the settings again at once (and stops when it was
    // removed); it finds them applied, as Windows would at its next start.
    const qint64 guard = ProcessLock::Holder(QDir(form.prefixFolder()).filePath("WGFE95.pid"));
    const bool told = guard > 0 && ::kill(pid_t(guard), SIGHUP) == 0;
    if (form.RestartNotice) {
        // The notice stays as it was written for a guard that reads its settings only when it
        // starts; what the running one does now is added to it, so that it does not mislead.
        QString text = Texts::tr("Your new WinGuard settings will take effect the\r"
                                 "next time you restart Windows.");
        if (told)
            text += "\r\r" + (form.Guard.ChkBoxEnable->isChecked()
                                  ? Texts::tr("WinGuard, which runs now (process %1), reads them "
                                              "at once: its log says when they are in use.")
                                  : Texts::tr("WinGuard, which runs now (process %1), stops at "
                                              "once, as it was removed."))
                                 .arg(guard);
        form.prompts().message(MessageKind::Information, text, MessageButtons::Ok);
    }
    form.RestartNotice = false;
}

// ---- Settings files

void LoadGuardFile(MainState& form, const QString& fileName) {
    // Everything is read and checked before the first change.
    const QList<GuardFileEntry> entries = ParseGuardFile(ReadGuardFileText(fileName));

    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    if (!store.keyExists(form.GuardVxdKey)) {
        EnableGuard(form);
        form.Guard.ChkBoxEnable->setChecked(true);
        form.Guard.SBtnSave->setEnabled(true);
    }
    store.setRootKey(RootKey::LocalMachine);
    WithOpenKey(store, form.GuardVxdKey, true, [&] {
        for (const GuardFileEntry& entry : entries) {
            if (entry.flag)
                store.writeBinary(entry.name, FlagOn);
            else
                store.writeString(entry.name, entry.value);
        }
    });
    ReadGuardSettings(form, RootKey::LocalMachine, form.GuardVxdKey);
    form.RestartNotice = true;
    FinishGuardApply(form);
}

void SaveGuardFile(MainState& form, const QString& fileName) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    QList<GuardFileValue> values;
    const bool opened = WithOpenKey(store, form.GuardVxdKey, false, [&] {
        for (const QString& name : store.getValueNames()) {
            GuardFileValue value{name, store.valueType(name) == ValueType::String, {}};
            if (value.isText)
                value.text = store.readString(name);
            values << value;
        }
    });
    if (!opened)
        return;
    const QByteArray bytes = EncodeGuardFile(FormatGuardFile(values));
    try {
        FileSystem::WriteWholeFile(fileName, bytes);
    } catch (const VallorinError&) {
        throw VallorinError(Texts::tr("Cannot create file %1").arg(fileName));
    }
}

// ---- Page handlers

void ChkBoxEnableClick(MainState& form) {
    auto& g = form.Guard;
    g.ChkBoxOLE->setEnabled(!g.ChkBoxAll->isChecked());
    g.ChkBoxPrompt->setEnabled(g.ChkBoxRepair->isChecked());
    g.EditWinsock->setEnabled(g.ChkBoxNet->isChecked());
    // Nothing to apply into a store that was given up.
    g.SBtnApply->setEnabled(!form.StoreGivenUp);
    form.RestartNotice = true;
}

void EditGuardDrvChange(MainState& form) {
    QLineEdit* edit = form.Guard.EditGuardDrv;
    const qsizetype before = edit->text().size();
    FilterDriveEdit(edit);
    if (edit->text().size() != before)
        form.RestartNotice = true;
    form.Guard.SBtnApply->setEnabled(!form.StoreGivenUp);
}

void EditGuardXChange(MainState& form) {
    form.Guard.SBtnApply->setEnabled(!form.StoreGivenUp);
}

void SBtnApplyClick(MainState& form) {
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    const bool installed = store.keyExists(form.GuardVxdKey);
    store.setRootKey(RootKey::CurrentUser);
    const bool enable = form.Guard.ChkBoxEnable->isChecked();
    if (installed && !enable) {
        DisableGuard(form);
        form.Guard.SBtnSave->setEnabled(false);
        FinishGuardApply(form);
    } else if (!installed && enable) {
        EnableGuard(form);
        form.Guard.SBtnSave->setEnabled(true);
        FinishGuardApply(form);
    } else if (installed && enable) {
        WriteGuardSettings(form, RootKey::LocalMachine, form.GuardVxdKey);
        WriteGuardSettings(form, RootKey::CurrentUser, GuardKeyPath(form));
        FinishGuardApply(form);
    }
    // Not installed and not enabled: nothing to apply; the page stays changed.
}

void SBtnRestoreClick(MainState& form) {
    LoadGuardPage(form);
}

void SBtnLogBrowseClick(MainState& form) {
    form.SaveDialog.filterIndex = 3;
    form.SaveDialog.defaultExt = "log";
    if (form.prompts().saveFile(form.SaveDialog))
        form.Guard.EditLog->setText(form.SaveDialog.fileName);
}

void SBtnLoadClick(MainState& form) {
    form.OpenDialog.filterIndex = 2;
    form.OpenDialog.defaultExt = "txt";
    if (form.prompts().openFile(form.OpenDialog))
        LoadGuardFile(form, form.OpenDialog.fileName);
}

void SBtnSaveClick(MainState& form) {
    form.SaveDialog.filterIndex = 2;
    form.SaveDialog.defaultExt = "txt";
    if (form.prompts().saveFile(form.SaveDialog))
        SaveGuardFile(form, form.SaveDialog.fileName);
}

void SBtnMessagesClick(MainState& form) {
    form.dialogs().editGuardMessages(form);
}

// ---- Connections

void ConnectGuardPage(MainState& form) {
    auto& g = form.Guard;
    for (QCheckBox* box :
         {g.ChkBoxEnable, g.ChkBoxWrite, g.ChkBoxAll, g.ChkBoxOLE, g.ChkBoxProgH, g.ChkBoxWordH,
          g.ChkBoxDOS, g.ChkBoxRepair, g.ChkBoxPrompt, g.ChkBoxGuardX, g.ChkBoxLog, g.ChkBoxNet})
        form.onToggled(box, ChkBoxEnableClick);
    for (QAbstractButton* radio :
         {g.RadBtnAll, g.RadBtnFloppies, g.RadBtnNetwork, g.RadBtnLocal, g.RadBtnDef})
        form.onChecked(radio, ChkBoxEnableClick);
    form.onTextChanged(g.EditGuardDrv, EditGuardDrvChange);
    KeepTypingLimit(g.EditGuardDrv);
    for (QLineEdit* edit : {g.EditGuardX, g.EditLog, g.EditWinsock})
        form.onTextChanged(edit, EditGuardXChange);
    form.onClick(g.SBtnLogBrowse, SBtnLogBrowseClick);
    form.onClick(g.SBtnRestore, SBtnRestoreClick);
    form.onClick(g.SBtnLoad, SBtnLoadClick);
    form.onClick(g.SBtnSave, SBtnSaveClick);
    form.onClick(g.SBtnApply, SBtnApplyClick);
    form.onClick(g.SBtnMessages, SBtnMessagesClick);

    const QWidget* window = &form.owner();
    g.SBtnLogBrowse->setIcon(StylePicture(window, QStyle::SP_DirOpenIcon));
    g.SBtnRestore->setIcon(StylePicture(window, QStyle::SP_BrowserReload));
    g.SBtnLoad->setIcon(StylePicture(window, QStyle::SP_DialogOpenButton));
    g.SBtnSave->setIcon(StylePicture(window, QStyle::SP_DialogSaveButton));
    g.SBtnApply->setIcon(StylePicture(window, QStyle::SP_DialogApplyButton));
    g.SBtnMessages->setIcon(StylePicture(window, QStyle::SP_MessageBoxInformation));
}
