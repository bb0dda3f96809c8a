#include "RemoveScan.h"

#include "definitions/DialogPlacement.h"
#include "integrity/Integrity.h"
#include "platform/SettingsStore.h"
#include "scan/Find.h"
#include "shell/AVTKmain.h"

#include "ui_RemoveScan.h"

#include <QComboBox>

TRemoveScanForm::TRemoveScanForm(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      main(main), ui(std::make_unique<Ui::RemoveScanForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btnRemove, &QPushButton::clicked, this,
            [this] { this->main.guarded([this] { btnRemoveClick(); }); });
    connect(ui->btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
}

TRemoveScanForm::~TRemoveScanForm() = default;

void TRemoveScanForm::Execute(QComboBox* pageCombo, QAbstractButton* pageRemoveButton) {
    combo = pageCombo;
    removeButton = pageRemoveButton;
    ui->ListBox->clear();
    for (int i = 0; i < combo->count(); ++i)
        ui->ListBox->addItem(combo->itemText(i));
    CentreDialogOnScreen(this, &main);
    exec();
}

void TRemoveScanForm::btnRemoveClick() {
    QListWidget* list = ui->ListBox;
    if (list->selectedItems().isEmpty())
        return;
    const bool scanPage = combo == main.Find.ScanCombo;
    const QString definitions = main.ProgramKey + (scanPage ? "\\Find" : "\\Verify");
    SettingsStore& store = main.store();
    store.setRootKey(RootKey::CurrentUser);
    // Names are deleted only below the page's own definitions key; without it nothing in the
    // store is touched.
    const bool open = store.openKey(definitions, false);
    try {
        // From the end, so that entry k of the list stays entry k of the combo.
        for (int k = list->count() - 1; k >= 0; --k) {
            if (!list->item(k)->isSelected())
                continue;
            if (open)
                store.deleteKey(definitions + '\\' + list->item(k)->text());
            combo->removeItem(k);
            delete list->takeItem(k);
        }
    } catch (...) {
        store.closeKey();
        throw;
    }
    store.closeKey();

    if (list->count() == 0) {
        ui->btnRemove->setEnabled(false);
        removeButton->setEnabled(false);
        combo->setEnabled(false);
    }
    if (combo->count() == 0) {
        if (scanPage) {
            main.Find.LabLastScanDate->setText("No scans are defined.");
        } else {
            main.Check.LabLastCompDate->setText("No checks are defined.");
            main.Check.LabLastCheckDate->setText({});
        }
        return;
    }
    // The page always ends on the first remaining definition, as stored.
    combo->setCurrentIndex(0);
    scanPage ? ScanComboChange(main) : CheckComboChange(main);
}

void TRemoveScanForm::btnCloseClick() {
    close();
}
