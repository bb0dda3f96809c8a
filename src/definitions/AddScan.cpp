#include "AddScan.h"

#include "definitions/Common.h"
#include "definitions/DialogPlacement.h"
#include "shell/AVTKmain.h"

#include "ui_AddScan.h"

#include <QComboBox>

#include <algorithm>

TAddScanForm::TAddScanForm(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      main(main), ui(std::make_unique<Ui::AddScanForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btnOK, &QPushButton::clicked, this,
            [this] { this->main.guarded([this] { btnOKClick(); }); });
    connect(ui->btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

TAddScanForm::~TAddScanForm() = default;

void TAddScanForm::Execute(QComboBox* pageCombo, QAbstractButton* pageRemoveButton) {
    combo = pageCombo;
    removeButton = pageRemoveButton;
    CentreDialogOnScreen(this, &main);
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
    const QString name = ui->EditScanName->text();
    QString refusal = NameRefusal(name);
    if (refusal.isEmpty() && FindComboEntry(combo, name) >= 0)
        refusal = "That name is already in use. Enter a new name.";
    if (!refusal.isEmpty()) {
        main.prompts().message(MessageKind::Information, refusal, MessageButtons::Ok);
        return;
    }
    // Selecting from code runs no change handler: the page keeps what it shows, and the new
    // definition takes that at its first save.
    combo->setEnabled(true);
    combo->addItem(name);
    combo->setCurrentIndex(combo->count() - 1);
    if (combo == main.Find.ScanCombo) {
        main.Find.LabLastScanDate->setText("Not scanned.");
        main.LastScanTime = 0;
    } else {
        main.Check.LabLastCompDate->setText("Fingerprints haven't been computed.");
        main.Check.LabLastCheckDate->setText({});
        main.LastCheckTime = 0;
    }
    removeButton->setEnabled(true);
    accept();
}

void TAddScanForm::btnCancelClick() {
    reject();
}
