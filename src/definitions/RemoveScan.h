#pragma once

#include <QDialog>

#include <memory>

class QAbstractButton;
class QComboBox;
class TMainForm;

namespace Ui {
class RemoveScanForm;
}

// The "Remove definitions" dialog, for the scan page's or the integrity page's definition combo.
class TRemoveScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemoveScanForm(TMainForm& main);
    ~TRemoveScanForm() override;
    // Copies the combo's entries into the list, centres the dialog and shows it modally.
    void Execute(QComboBox* combo, QAbstractButton* removeButton);

private:
    void btnRemoveClick();
    void btnCloseClick();

    TMainForm& main;
    std::unique_ptr<Ui::RemoveScanForm> ui;
    QComboBox* combo = nullptr;
    QAbstractButton* removeButton = nullptr;
};
