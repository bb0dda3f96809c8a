#include "AddScan.h"

#include "caption/Wordcap.h"
#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/qt/ScreenPlacement.h"

#include "ui_AddScan.h"

#include <QComboBox>

TAddScanForm::TAddScanForm(MainState& main)
    : QDialog(&main.owner(), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowCloseButtonHint),
      main(main), ui(std::make_unique<Ui::AddScanForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    AddCaption = Wordcap::TMSOfficeCaption::attach(
        this, {.appName = tr("Vallorin -"),
               .appNameColor = Wordcap::clAqua,
               .caption = tr("Add definition"),
               .borderStyle = Wordcap::TFormBorderStyle::bsDialog});
    connect(ui->btnOK, &QPushButton::clicked, this,
            [this] { this->main.guarded([this] { btnOKClick(); }); });
    connect(ui->btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

TAddScanForm::~TAddScanForm() = default;

void TAddScanForm::Execute(const DefinitionPage& servedPage) {
    page = servedPage;
    CentreOnScreen(this, &main.owner());
    exec();
}

void TAddScanForm::btnOKClick() {
    if (AddDefinition(main, page, ui->EditScanName->text()))
        accept();
}

bool AddDefinition(MainState& form, const DefinitionPage& page, const QString& name) {
    QString refusal = DefinitionNameRefusal(name, page.nameUse);
    if (refusal.isEmpty() && FindComboEntry(page.combo, name) >= 0)
        refusal = TAddScanForm::tr("That name is already in use. Enter a new name.");
    if (!refusal.isEmpty()) {
        form.prompts().message(MessageKind::Information, refusal, MessageButtons::Ok);
        return false;
    }
    // Selecting from code runs no change handler: the page keeps what it shows, and the new
    // definition takes that at its first save.
    page.combo->setEnabled(true);
    page.combo->addItem(name);
    page.combo->setCurrentIndex(page.combo->count() - 1);
    page.showAdded();
    page.removeButton->setEnabled(true);
    return true;
}

void TAddScanForm::btnCancelClick() {
    reject();
}
