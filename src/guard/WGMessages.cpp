#include "WGMessages.h"

#include "caption/Wordcap.h"
#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "guard/WinGuard.h"
#include "platform/qt/ScreenPlacement.h"

#include <QGuiApplication>

TMessageForm::TMessageForm(MainState& owner) : QDialog(&owner.owner()), form(owner) {
    Ui.setupUi(this);
    setFixedSize(size());
    MessageCaption = Wordcap::TMSOfficeCaption::attach(
        this, {.appName = "Vallorin -",
               .appNameColor = Wordcap::clAqua,
               .caption = "Edit WinGuard messages",
               .borderStyle = Wordcap::TFormBorderStyle::bsDialog});
    connect(Ui.BtnSave, &QPushButton::clicked, this,
            [this] { form.guarded([this] { BtnSaveClick(); }); });
    connect(Ui.BtnCancel, &QPushButton::clicked, this,
            [this] { form.guarded([this] { BtnCancelClick(); }); });
    form.guarded([this] { FormCreate(); });
}

TMessageForm::~TMessageForm() = default;

QLineEdit* TMessageForm::edit(int index) const {
    QLineEdit* const edits[] = {Ui.EditFileMsg, Ui.EditBootMsg, Ui.EditFileRepMsg,
                                Ui.EditBootRepMsg};
    return edits[index];
}

void TMessageForm::FormCreate() {
    CentreOnScreen(this, &form.owner());
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    const bool installed = store.keyExists(form.GuardVxdKey);
    ReadMessages(RootKey::CurrentUser, GuardKeyPath(form));
    if (installed)
        ReadMessages(RootKey::LocalMachine, form.GuardVxdKey);
    else
        Ui.BtnSave->setEnabled(false);
    for (int i = 0; i < 4; ++i)
        edit(i)->setCursorPosition(0); // show each message from its start
    // The first control of the tab order that can take the focus.
    (Ui.BtnSave->isEnabled() ? Ui.BtnSave : Ui.BtnCancel)->setFocus();
}

void TMessageForm::ReadMessages(RootKey root, const QString& path) {
    SettingsStore& store = form.store();
    store.setRootKey(root);
    if (!store.keyExists(path))
        return;
    WithOpenKey(store, path, false, [&] {
        for (int i = 0; i < 4; ++i) {
            // A value of another type than text is no message; the edit keeps its text.
            const ValueType type = store.valueType(GuardMessageNames[i]);
            if (type == ValueType::String || type == ValueType::ExpandString)
                edit(i)->setText(store.readString(GuardMessageNames[i]));
        }
    });
}

void TMessageForm::WriteMessages(RootKey root, const QString& path) {
    WriteGuardMessages(form, root, path, texts());
}

QStringList TMessageForm::texts() const {
    QStringList all;
    for (int i = 0; i < 4; ++i)
        all << edit(i)->text();
    return all;
}

void WriteGuardMessages(MainState& form, RootKey root, const QString& path,
                        const QStringList& texts) {
    SettingsStore& store = form.store();
    store.setRootKey(root);
    const bool opened = WithOpenKey(store, path, path != form.GuardVxdKey, [&] {
        for (int i = 0; i < 4; ++i)
            store.writeString(GuardMessageNames[i], texts.value(i));
    });
    if (!opened)
        form.prompts().message(MessageKind::Warning, CouldNotOpenKeyText, MessageButtons::Ok);
}

void SaveGuardMessages(MainState& form, const QStringList& texts) {
    WriteGuardMessages(form, RootKey::LocalMachine, form.GuardVxdKey, texts);
    WriteGuardMessages(form, RootKey::CurrentUser, GuardKeyPath(form), texts);
}

void TMessageForm::BtnSaveClick() {
    SaveGuardMessages(form, texts());
    accept();
}

void TMessageForm::BtnCancelClick() {
    reject();
}
