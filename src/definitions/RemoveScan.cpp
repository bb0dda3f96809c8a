#include "RemoveScan.h"

#include "caption/Wordcap.h"
#include "definitions/MainState.h"
#include "platform/qt/ScreenPlacement.h"
#include "store/SettingsStore.h"

#include "ui_RemoveScan.h"

#include <QComboBox>

TRemoveScanForm::TRemoveScanForm(MainState& main)
    : QDialog(&main.owner(), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowCloseButtonHint),
      main(main), ui(std::make_unique<Ui::RemoveScanForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    RemoveCaption = Wordcap::TMSOfficeCaption::attach(
        this, {.appName = tr("Vallorin -"),
               .appNameColor = Wordcap::clAqua,
               .caption = tr("Remove definitions"),
               .borderStyle = Wordcap::TFormBorderStyle::bsDialog});
    connect(ui->btnRemove, &QPushButton::clicked, this,
            [this] { this->main.guarded([this] { btnRemoveClick(); }); });
    connect(ui->btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
}

TRemoveScanForm::~TRemoveScanForm() = default;

void TRemoveScanForm::Execute(const DefinitionPage& servedPage) {
    page = servedPage;
    ui->ListBox->clear();
    for (int i = 0; i < page.combo->count(); ++i)
        ui->ListBox->addItem(page.combo->itemText(i));
    CentreOnScreen(this, &main.owner());
    exec();
}

void TRemoveScanForm::btnRemoveClick() {
    QListWidget* list = ui->ListBox;
    QList<int> rows;
    for (int k = 0; k < list->count(); ++k) {
        if (list->item(k)->isSelected())
            rows << k;
    }
    // The list mirrors the combo: each row removed from one goes from the other.
    RemoveDefinitions(main, page, rows, [list](int row) { delete list->takeItem(row); });
    if (list->count() == 0)
        ui->btnRemove->setEnabled(false);
}

void RemoveDefinitions(MainState& form, const DefinitionPage& page, const QList<int>& rows,
                       const std::function<void(int)>& removed) {
    if (rows.isEmpty())
        return;
    QComboBox* combo = page.combo;
    const QString definitions = form.ProgramKey + '\\' + page.operation;
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::CurrentUser);
    // Names are deleted only below the page's own definitions key; without it nothing in the
    // store is touched.
    const bool open = store.openKey(definitions, false);
    try {
        // From the end, so that entry k of the list stays entry k of the combo.
        for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
            if (open)
                store.deleteKey(definitions + '\\' + combo->itemText(*row));
            combo->removeItem(*row);
            removed(*row);
        }
    } catch (...) {
        store.closeKey();
        throw;
    }
    store.closeKey();

    if (combo->count() == 0) {
        page.removeButton->setEnabled(false);
        combo->setEnabled(false);
        page.showNone();
        return;
    }
    // The page always ends on the first remaining definition, as stored.
    combo->setCurrentIndex(0);
    page.load();
}

void TRemoveScanForm::btnCloseClick() {
    close();
}
