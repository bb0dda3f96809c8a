#include "WGMessages.h"

#include "guard/WinGuard.h"
#include "shell/AVTKmain.h"

#include <QGuiApplication>
#include <QScreen>

TMessageForm::TMessageForm(TMainForm& owner) : QDialog(&owner), form(owner) {
    Ui.setupUi(this);
    setFixedSize(size());
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
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + area.width() / 2 - width() / 2,
             area.y() + area.height() / 2 - height() / 2);
    }
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
    SettingsStore& store = form.store();
    store.setRootKey(root);
    const bool opened = WithOpenKey(store, path, path != form.GuardVxdKey, [&] {
        for (int i = 0; i < 4; ++i)
            store.writeString(GuardMessageNames[i], edit(i)->text());
    });
    if (!opened)
        form.prompts().message(MessageKind::Warning, CouldNotOpenKeyText, MessageButtons::Ok);
}

void TMessageForm::BtnSaveClick() {
    WriteMessages(RootKey::LocalMachine, form.GuardVxdKey);
    WriteMessages(RootKey::CurrentUser, GuardKeyPath(form));
    accept();
}

void TMessageForm::BtnCancelClick() {
    reject();
}
