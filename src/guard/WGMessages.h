#pragma once

#include "store/SettingsStore.h"

#include "ui_WGMessages.h"

#include <QDialog>
#include <QStringList>

class MainState;

namespace Wordcap {
class TMSOfficeCaption;
}

// "Edit WinGuard messages": the four alert texts of the resident scanner, kept in the driver
// key (which the scanner reads) and in the guard key (from which an install copies them).
// Created for one opening and gone when closed.
class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(MainState& form);
    ~TMessageForm() override;

    Ui::TMessageForm Ui;

    void ReadMessages(RootKey root, const QString& path);
    void WriteMessages(RootKey root, const QString& path);
    void BtnSaveClick();
    void BtnCancelClick();

private:
    void FormCreate();
    QLineEdit* edit(int index) const;
    QStringList texts() const;

    MainState& form;
    Wordcap::TMSOfficeCaption* MessageCaption = nullptr; // the title bar
};

// The four messages into a key, in GuardMessageNames' order; the driver key is only written when
// it exists ("Could not open Registry key." otherwise).
void WriteGuardMessages(MainState& form, RootKey root, const QString& path,
                        const QStringList& texts);
// The dialog's Save: the messages into the driver key, then into the guard key.
void SaveGuardMessages(MainState& form, const QStringList& texts);
