#pragma once

#include <QDialog>

class QAbstractButton;
class QComboBox;
class TMainForm;

// The "Add definition" dialog, for the scan page's or the integrity page's definition combo.
class TAddScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddScanForm(TMainForm& main);
    ~TAddScanForm() override;
    // Keeps the page's combo and remove button, centres the dialog and shows it modally.
    void Execute(QComboBox* combo, QAbstractButton* removeButton);
    // (members, the .ui and the handlers are the dialog's own)
};
