#pragma once

#include "definitions/Dialogs.h"

#include <QDialog>

#include <memory>

class MainState;

namespace Ui {
class AddScanForm;
}

namespace Wordcap {
class TMSOfficeCaption;
}

// The "Add definition" dialog, for the scan page's or the integrity page's definition combo.
class TAddScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddScanForm(MainState& main);
    ~TAddScanForm() override;
    // Keeps the page it serves, centres the dialog and shows it modally.
    void Execute(const DefinitionPage& page);

    // Why a name cannot become a definition (it names a store key and, on the integrity page,
    // a file), or empty when it can.
    static QString NameRefusal(const QString& name);

private:
    void btnOKClick();
    void btnCancelClick();

    MainState& main;
    std::unique_ptr<Ui::AddScanForm> ui;
    DefinitionPage page;
    Wordcap::TMSOfficeCaption* AddCaption = nullptr; // the title bar
};

// The dialog's OK: adds name to the page's list and selects it, or tells the user why the name
// cannot be a definition. True when it was added.
bool AddDefinition(MainState& form, const DefinitionPage& page, const QString& name);
