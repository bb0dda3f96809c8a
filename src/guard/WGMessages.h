#pragma once

#include "platform/SettingsStore.h"

#include "ui_WGMessages.h"

#include <QDialog>

class TMainForm;

// "Edit WinGuard messages": the four alert texts of the resident scanner, kept in the driver
// key (which the scanner reads) and in the guard key (from which an install copies them).
// Created for one opening and gone when closed.
class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(TMainForm& form);
    ~TMessageForm() override;

    Ui::TMessageForm Ui;

    void ReadMessages(RootKey root, const QString& path);
    void WriteMessages(RootKey root, const QString& path);
    void BtnSaveClick();
    void BtnCancelClick();

private:
    void FormCreate();
    QLineEdit* edit(int index) const;

    TMainForm& form;
};
