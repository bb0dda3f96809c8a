#pragma once

#include <QDialog>

class QAbstractButton;
class QComboBox;
class TMainForm;

// The "Remove definitions" dialog, for the scan page's or the integrity page's definition combo.
class TRemoveScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemoveScanForm(TMainForm& main);
    ~TRemoveScanForm() override;
    // Copies the combo's entries into the list, centres the dialog and shows it modally.
    void Execute(QComboBox* combo, QAbstractButton* removeButton);
};
