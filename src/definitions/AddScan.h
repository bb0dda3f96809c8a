#pragma once

#include <QDialog>

#include <memory>

class QAbstractButton;
class QComboBox;
class TMainForm;

namespace Ui {
class AddScanForm;
}

// The "Add definition" dialog, for the scan page's or the integrity page's definition combo.
class TAddScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddScanForm(TMainForm& main);
    ~TAddScanForm() override;
    // Keeps the page's combo and remove button, centres the dialog and shows it modally.
    void Execute(QComboBox* combo, QAbstractButton* removeButton);

    // Why a name cannot become a definition (it names a store key and, on the integrity page,
    // a file), or empty when it can.
    static QString NameRefusal(const QString& name);

private:
    void btnOKClick();
    void btnCancelClick();

    TMainForm& main;
    std::unique_ptr<Ui::AddScanForm> ui;
    QComboBox* combo = nullptr;
    QAbstractButton* removeButton = nullptr;
};
