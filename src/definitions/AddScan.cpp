#include "AddScan.h"

#include "caption/Wordcap.h"
#include "definitions/Common.h"
#include "definitions/MainState.h"
#include "platform/qt/ScreenPlacement.h"

#include "ui_AddScan.h"

#include <QComboBox>

#include <algorithm>

TAddScanForm::TAddScanForm(MainState& main)
    : QDialog(&main.owner(), Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowCloseButtonHint),
      main(main), ui(std::make_unique<Ui::AddScanForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    AddCaption = Wordcap::TMSOfficeCaption::attach(
        this, {.appName = "Vallorin -",
               .appNameColor = Wordcap::clAqua,
               .caption = "Add definition",
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

QString TAddScanForm::NameRefusal(const QString& name) {
    if (name.isEmpty())
        return "Enter a name for the new definition.";
    if (std::any_of(name.begin(), name.end(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return "A definition name cannot contain control characters. Enter a new name.";
    // The name is a key below the definitions key and, for a check, a file name.
    if (name.contains('\\') || name.contains('/'))
        return "A definition name cannot contain \\ or /. Enter a new name.";
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c == '.'; }))
        return "A definition name cannot consist of dots only. Enter a new name.";
    return {};
}

void TAddScanForm::btnOKClick() {
    if (AddDefinition(main, page, ui->EditScanName->text()))
        accept();
}

bool AddDefinition(MainState& form, const DefinitionPage& page, const QString& name) {
    QString refusal = TAddScanForm::NameRefusal(name);
    if (refusal.isEmpty() && FindComboEntry(page.combo, name) >= 0)
        refusal = "That name is already in use. Enter a new name.";
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
