#pragma once

#include "definitions/Dialogs.h"

#include <QDialog>
#include <QList>

#include <memory>

class MainState;

namespace Ui {
class RemoveScanForm;
}

namespace Wordcap {
class TMSOfficeCaption;
}

// The "Remove definitions" dialog, for the scan page's or the integrity page's definition combo.
class TRemoveScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemoveScanForm(MainState& main);
    ~TRemoveScanForm() override;
    // Copies the page's entries into the list, centres the dialog and shows it modally.
    void Execute(const DefinitionPage& page);

private:
    void btnRemoveClick();
    void btnCloseClick();

    MainState& main;
    std::unique_ptr<Ui::RemoveScanForm> ui;
    DefinitionPage page;
    Wordcap::TMSOfficeCaption* RemoveCaption = nullptr; // the title bar
};

// The dialog's Remove: deletes the definitions at the given rows of the page's list (ascending)
// from the store and the list, from the last, telling removed of each row as it goes; then the
// page shows its first remaining definition, or that none is left.
void RemoveDefinitions(MainState& form, const DefinitionPage& page, const QList<int>& rows,
                       const std::function<void(int)>& removed);
