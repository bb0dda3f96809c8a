#include "Common.h"

#include "definitions/MainState.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/VallorinError.h"
#include "platform/qt/StyleIcons.h"
#include "store/SettingsStore.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPalette>
#include <QSet>
#include <QStringListModel>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace {

// The texts this unit shows the user, translatable in the context "Common".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Common)
};

// Puts the entries into the combo as one list: a string list model takes them in one go (and can
// share the list with other combos filled from it), where the combo's own model makes an item
// object of each. The callers choose the current entry afterwards.
void SetComboEntries(QComboBox* combo, const QStringList& entries) {
    auto* model = qobject_cast<QStringListModel*>(combo->model());
    if (!model) {
        model = new QStringListModel(combo);
        combo->setModel(model); // the combo deletes the model it made itself
    }
    model->setStringList(entries);
}

} // namespace

// ---- Definition lists

int FindComboEntry(const QComboBox* combo, const QString& text) {
    // A chooser on a string list is searched in the list itself: its thousands of entries each
    // cost a look-up through the model's data otherwise, many times the comparison.
    if (const auto* model = qobject_cast<const QStringListModel*>(combo->model())) {
        const QStringList entries = model->stringList();
        for (int i = 0; i < entries.size(); ++i) {
            if (entries[i].compare(text, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void SelectComboEntry(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(std::max(0, FindComboEntry(combo, text)));
}

void FillDefinitionCombo(MainState& form, const QString& operation, QComboBox* combo) {
    SettingsStore& store = form.store();
    const QString path = form.ProgramKey + '\\' + operation;
    if (!store.keyExists(path))
        return;
    QString selected;
    WithOpenKey(store, path, false, [&] {
        // The names listed so far, folded as a comparison without case folds them: one look-up
        // per name, where searching the combo for each would grow with the square of the count.
        QStringList entries;
        QSet<QString> listed;
        for (int i = 0; i < combo->count(); ++i) {
            entries << combo->itemText(i);
            listed.insert(entries.last().toCaseFolded());
        }
        const qsizetype before = entries.size();
        for (const QString& name : store.getKeyNames()) {
            QString folded = name.toCaseFolded();
            if (!listed.contains(folded)) {
                listed.insert(std::move(folded));
                entries << name;
            }
        }
        if (entries.size() > before)
            SetComboEntries(combo, entries);
        if (combo->count() > 0)
            combo->setEnabled(true);
        selected = ReadText(store, "Selected");
    });
    combo->setCurrentIndex(FindComboEntry(combo, selected));
}

void SetDefinitionButtonIcons(QAbstractButton* add, QAbstractButton* remove) {
    add->setIcon(StylePicture(add, QStyle::SP_FileDialogNewFolder));
    remove->setIcon(StylePicture(remove, QStyle::SP_TrashIcon));
}

void ShowAsWarning(QWidget* control) {
    // A palette rather than a style sheet: one style sheet brings the whole style-sheet engine
    // into the start-up, half a megabyte of memory, for a colour. Text is the check mark's.
    QPalette palette = control->palette();
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(QPalette::All, role, QColor(0x80, 0x00, 0x00));
    control->setPalette(palette);
}

bool DefinitionMissing(MainState& form, QComboBox* combo) {
    if (!combo->currentText().isEmpty())
        return false;
    form.prompts().message(MessageKind::Information,
                           combo->count() == 0
                               ? Texts::tr("There are no definitions for this operation.\r"
                                           "Click the add button to create one.")
                               : Texts::tr("You must select a definition for this operation."),
                           MessageButtons::Ok);
    return true;
}

void ReportDefinitionNotFound(MainState& form) {
    form.prompts().message(MessageKind::Information,
                           Texts::tr("Information for this definition not found.\r\r"
                                     "Choose your settings and they will be saved."),
                           MessageButtons::Ok);
}

FileSystem::FolderListing ListToolkitFolder(MainState& form) {
    return FileSystem::FolderListing(form.ToolkitFolder);
}

QStringList ToolkitFileEntries(const FileSystem::FolderListing& toolkit, const QString& extension) {
    static const QStringList reserved = {"messages", "mem", "guard", "names", "find", "repair"};
    // Lengths first: of a thousand names, those of a reserved name's length are few.
    const auto isReserved = [](const QString& base) {
        return std::any_of(reserved.begin(), reserved.end(), [&](const QString& name) {
            return base.size() == name.size() && base.compare(name, Qt::CaseInsensitive) == 0;
        });
    };
    QStringList entries = {NoneEntry};
    QStringList names = toolkit.byExtension(extension);
    for (QString& name : names) {
        name.chop(4); // the extension, in place: the name is this list's alone
        if (!isReserved(name))
            entries << std::move(name);
    }
    return entries;
}

void FillToolkitFileCombo(QComboBox* combo, const QStringList& entries) {
    SetComboEntries(combo, entries);
    combo->setCurrentIndex(0);
}

void FillToolkitFileCombo(MainState& form, QComboBox* combo, const QString& extension) {
    FillToolkitFileCombo(combo, ToolkitFileEntries(ListToolkitFolder(form), extension));
}

// ---- Edits

void KeepTypingLimit(QLineEdit* edit) {
    const int limit = edit->maxLength();
    // Never below the text's length: setting a limit below it would cut the text. The edit's
    // text, not the signal's: a change handler before this one may have changed it since.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, limit] {
        edit->setMaxLength(std::max(limit, int(edit->text().size())));
    });
}

void SetLoadedText(QLineEdit* edit, const QString& text) {
    // QLineEdit cuts a text longer than its limit; the change of text sets the limit again.
    edit->setMaxLength(std::max(edit->maxLength(), int(text.size())));
    edit->setText(text);
}

// ---- Drive lists

DriveChoice DriveChoiceOf(const QAbstractButton* all, const QAbstractButton* local) {
    return all->isChecked()     ? DriveChoice::All
           : local->isChecked() ? DriveChoice::Local
                                : DriveChoice::Listed;
}

void FilterDriveEdit(QLineEdit* edit) {
    // A text set by code counts as having its caret at the start, as the original edit control
    // put it there: only a user's edit leaves the edit modified.
    const DriveTextEdit filtered =
        FilterDriveText(edit->text(), edit->isModified() ? edit->cursorPosition() : 0);
    if (!filtered.changed)
        return;
    const bool modified = edit->isModified();
    edit->setText(filtered.text); // runs the change handler again, which finds nothing to delete
    edit->setModified(modified);
    edit->setCursorPosition(filtered.caret);
}

void UpdateFloppiesOption(const QString& driveText, QCheckBox* box) {
    box->setEnabled(HoldsFloppyDrive(driveText));
}

bool DriveReady(MainState& form, QChar letter) {
    if (letter < 'A' || letter > 'Z')
        throw VallorinError(Texts::tr("Not a valid drive ID"));
    return Drives::DriveRootReady(form.prefixFolder(), letter);
}

bool ValidateDrives(MainState& form, const QString& driveText) {
    QString bad;
    for (QChar c : driveText) {
        const QChar letter = AsciiUpper(c);
        if (!DriveReady(form, letter))
            bad += ' ' + QString(letter);
    }
    if (bad.isEmpty())
        return true;
    form.prompts().message(MessageKind::Error,
                           Texts::tr("The following drives you have chosen\rare not ready or are "
                                     "not valid:\r\r%1")
                               .arg(bad),
                           MessageButtons::Ok);
    return false;
}
