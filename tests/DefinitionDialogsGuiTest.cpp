#include "support/FormFixture.h"
#include "support/ModalDialog.h"

#include "definitions/AddScan.h"
#include "definitions/Common.h"
#include "definitions/RemoveScan.h"
#include "integrity/Integrity.h"
#include "scan/Find.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <functional>

namespace {

const QString ProgramKey = "Software\\Tesmarine\\Vallorin";
const QString FindKey = ProgramKey + "\\Find";
const QString VerifyKey = ProgramKey + "\\Verify";

template <class T> T* Child(QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class DefinitionDialogsTest : public FormFixture {
protected:
    // Opens a dialog through open() and runs act on it while it is modal (closing it if act
    // left it open). A dialog that a page handler opened must be gone when the handler returns.
    template <class Dialog>
    void onModal(const std::function<void()>& open, const std::function<void(Dialog&)>& act,
                 bool openedByHandler = true) {
        DriveModal<Dialog>(open, act);
        if (openedByHandler) {
            EXPECT_TRUE(form->findChildren<Dialog*>().isEmpty()) << "the dialog outlived its run";
        }
    }

    // Types a name into the Add dialog and presses OK.
    static void enterName(TAddScanForm& dialog, const QString& name) {
        auto* edit = Child<QLineEdit>(dialog, "EditScanName");
        edit->clear();
        QTest::keyClicks(edit, name);
        Child<QPushButton>(dialog, "btnOK")->click();
    }

    void seedScans(const QStringList& names, const QString& selected) {
        for (const QString& name : names)
            seed(RootKey::CurrentUser, FindKey + '\\' + name, {{"Drives", name}});
        seed(RootKey::CurrentUser, FindKey, {{"Selected", selected}});
    }

    QStringList storedKeys(const QString& key) {
        auto store = openStore();
        store->setRootKey(RootKey::CurrentUser);
        return store->keyNamesOf(key);
    }

    static QStringList entries(const QComboBox* combo) {
        QStringList all;
        for (int i = 0; i < combo->count(); ++i)
            all << combo->itemText(i);
        return all;
    }

    static QStringList entries(const QListWidget* list) {
        QStringList all;
        for (int i = 0; i < list->count(); ++i)
            all << list->item(i)->text();
        return all;
    }
};

// ---- Add

TEST_F(DefinitionDialogsTest, FirstDefinitionEnablesTheComboAndItsRemoveButton) {
    start();
    Ui::FindSheet& page = form->Find;
    ASSERT_FALSE(page.ScanCombo->isEnabled());
    ASSERT_FALSE(page.SBtnDelScan->isEnabled());
    page.ChkBoxMem->setChecked(false);
    form->LastScanTime = 35710.5;
    onModal<TAddScanForm>([&] { page.SBtnAddScan->click(); },
                          [&](TAddScanForm& dialog) {
                              EXPECT_EQ(dialog.windowTitle(), "Add definition");
                              const QRect screen = dialog.screen()->geometry();
                              EXPECT_EQ(dialog.pos(),
                                        QPoint(screen.width() / 2 - dialog.width() / 2,
                                               screen.height() / 2 - dialog.height() / 2));
                              enterName(dialog, "Daily");
                              EXPECT_FALSE(dialog.isVisible());
                          });
    EXPECT_TRUE(page.ScanCombo->isEnabled());
    EXPECT_TRUE(page.SBtnDelScan->isEnabled());
    EXPECT_EQ(page.ScanCombo->currentText(), "Daily");
    EXPECT_EQ(page.LabLastFind->text(), "Last scanned:");
    EXPECT_EQ(page.LabLastScanDate->text(), "Not scanned.");
    EXPECT_EQ(form->LastScanTime, 0);
    EXPECT_FALSE(page.ChkBoxMem->isChecked()) << "the page keeps what it showed";
    EXPECT_TRUE(storedKeys(FindKey).isEmpty()) << "adding writes nothing";
    SaveScanDefinition(*form);
    EXPECT_EQ(stored(RootKey::CurrentUser, FindKey + "\\Daily", "MemCheck"), "0");
}

TEST_F(DefinitionDialogsTest, NameInUseInOtherCaseIsRefused) {
    seedScans({"DAILY"}, "DAILY");
    start();
    QComboBox* combo = form->Find.ScanCombo;
    form->Find.ChkBoxError->setChecked(true);
    onModal<TAddScanForm>(
        [&] { form->Find.SBtnAddScan->click(); },
        [&](TAddScanForm& dialog) {
            EXPECT_EQ(stored(RootKey::CurrentUser, FindKey + "\\DAILY", "ExtErr"), "1")
                << "the page is saved before the dialog opens";
            enterName(dialog, "Daily");
            EXPECT_TRUE(dialog.isVisible());
            enterName(dialog, "Weekly");
            EXPECT_FALSE(dialog.isVisible());
        });
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(prompts.messages[0].text, "That name is already in use. Enter a new name.");
    EXPECT_EQ(entries(combo), QStringList({"DAILY", "Weekly"}));
    EXPECT_EQ(combo->currentText(), "Weekly");
}

TEST_F(DefinitionDialogsTest, NamesThatCannotNameADefinitionAreRefused) {
    const std::pair<QString, QString> rows[] = {
        {"", "Enter a name for the new definition."},
        {"a\\b", "A definition name cannot contain \\ or /. Enter a new name."},
        {"../x", "A definition name cannot contain \\ or /. Enter a new name."},
        {".", "A definition name cannot consist of dots only. Enter a new name."},
        {"...", "A definition name cannot consist of dots only. Enter a new name."},
        {"a\tb", "A definition name cannot contain control characters. Enter a new name."},
        {QString("a") + QChar(0x7f),
         "A definition name cannot contain control characters. Enter a new name."},
        {"..a", ""},
        {"Mon; rm -rf ~", ""},
    };
    start();
    QComboBox* combo = form->Find.ScanCombo;
    for (const auto& row : rows) {
        // Named copies: a lambda may not capture a structured binding with clang 14.
        const QString& name = row.first;
        const QString& refusal = row.second;
        SCOPED_TRACE(name.toStdString());
        prompts.clear();
        const int before = combo->count();
        onModal<TAddScanForm>([&] { form->Find.SBtnAddScan->click(); },
                              [&](TAddScanForm& dialog) {
                                  Child<QLineEdit>(dialog, "EditScanName")->setText(name);
                                  Child<QPushButton>(dialog, "btnOK")->click();
                                  EXPECT_EQ(dialog.isVisible(), !refusal.isEmpty());
                              });
        if (refusal.isEmpty()) {
            EXPECT_TRUE(prompts.messages.isEmpty());
            EXPECT_EQ(combo->currentText(), name);
        } else {
            ASSERT_EQ(prompts.messages.size(), 1);
            EXPECT_EQ(prompts.messages[0].kind, MessageKind::Information);
            EXPECT_EQ(prompts.messages[0].text, refusal);
            EXPECT_EQ(combo->count(), before);
        }
    }
}

TEST_F(DefinitionDialogsTest, NameIsAtMostThirtyCharacters) {
    start();
    onModal<TAddScanForm>([&] { form->Find.SBtnAddScan->click(); },
                          [&](TAddScanForm& dialog) {
                              auto* edit = Child<QLineEdit>(dialog, "EditScanName");
                              QTest::keyClicks(edit, QString(35, 'x'));
                              EXPECT_EQ(edit->text(), QString(30, 'x'));
                              QTest::keyClick(edit, Qt::Key_Return);
                          });
    EXPECT_EQ(form->Find.ScanCombo->currentText(), QString(30, 'x'));
}

TEST_F(DefinitionDialogsTest, AddingACheckStartsWithoutDates) {
    start();
    Ui::CheckSheet& check = form->Check;
    check.LabLastCheckDate->setText("Today at 1:00pm");
    form->LastCheckTime = 35710.5;
    TAddScanForm dialog(*form);
    onModal<TAddScanForm>([&] { dialog.Execute(CheckDefinitionPage(*form)); },
                          [&](TAddScanForm& d) { enterName(d, "Nightly"); }, false);
    EXPECT_EQ(check.CheckCombo->currentText(), "Nightly");
    EXPECT_TRUE(check.SBtnDelCheck->isEnabled());
    EXPECT_EQ(check.LabLastCompDate->text(), "Fingerprints haven't been computed.");
    EXPECT_EQ(check.LabLastCheckDate->text(), "");
    EXPECT_EQ(form->LastCheckTime, 0);
    EXPECT_EQ(form->Find.LabLastScanDate->text(), "No scans are defined.");
}

// ---- Remove

TEST_F(DefinitionDialogsTest, RemovesExactlyTheSelectedAndShowsTheFirstLeft) {
    seedScans({"Alpha", "Bravo", "Charlie", "Delta", "Echo"}, "Charlie");
    seed(RootKey::CurrentUser, FindKey + "\\Alpha", {{"Drives", "Local"}, {"Beep", "0"}});
    start();
    Ui::FindSheet& page = form->Find;
    ASSERT_EQ(page.EditFindDrives->text(), "Charlie");
    onModal<TRemoveScanForm>(
        [&] { page.SBtnDelScan->click(); },
        [&](TRemoveScanForm& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Remove definitions");
            auto* list = Child<QListWidget>(dialog, "ListBox");
            ASSERT_EQ(entries(list), QStringList({"Alpha", "Bravo", "Charlie", "Delta", "Echo"}));
            list->item(1)->setSelected(true);
            list->item(3)->setSelected(true);
            Child<QPushButton>(dialog, "btnRemove")->click();
            EXPECT_EQ(entries(list), QStringList({"Alpha", "Charlie", "Echo"}));
            EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
            EXPECT_TRUE(Child<QPushButton>(dialog, "btnRemove")->isEnabled());
            Child<QPushButton>(dialog, "btnClose")->click();
        });
    EXPECT_EQ(entries(page.ScanCombo), QStringList({"Alpha", "Charlie", "Echo"}));
    EXPECT_EQ(storedKeys(FindKey), QStringList({"Alpha", "Charlie", "Echo"}));
    EXPECT_EQ(page.ScanCombo->currentText(), "Alpha");
    EXPECT_TRUE(page.RadBtnFindLocal->isChecked()) << "the first definition is loaded";
    EXPECT_FALSE(page.ChkBoxBeep->isChecked());
    EXPECT_EQ(page.LabLastScanDate->text(), "Unknown.");
    EXPECT_TRUE(page.ScanCombo->isEnabled());
    EXPECT_TRUE(page.SBtnDelScan->isEnabled());
}

TEST_F(DefinitionDialogsTest, RemovingEveryDefinitionDisablesThePage) {
    seedScans({"Alpha", "Bravo"}, "Bravo");
    start();
    Ui::FindSheet& page = form->Find;
    page.ChkBoxMem->setChecked(false);
    onModal<TRemoveScanForm>([&] { page.SBtnDelScan->click(); },
                             [&](TRemoveScanForm& dialog) {
                                 Child<QListWidget>(dialog, "ListBox")->selectAll();
                                 auto* remove = Child<QPushButton>(dialog, "btnRemove");
                                 remove->click();
                                 EXPECT_FALSE(remove->isEnabled());
                             });
    EXPECT_EQ(page.ScanCombo->count(), 0);
    EXPECT_FALSE(page.ScanCombo->isEnabled());
    EXPECT_FALSE(page.SBtnDelScan->isEnabled());
    EXPECT_EQ(page.LabLastScanDate->text(), "No scans are defined.");
    EXPECT_EQ(page.EditFindDrives->text(), "Bravo") << "the page keeps what it showed";
    EXPECT_FALSE(page.ChkBoxMem->isChecked());
    EXPECT_TRUE(storedKeys(FindKey).isEmpty());
}

TEST_F(DefinitionDialogsTest, NothingSelectedRemovesNothing) {
    seedScans({"Alpha", "Bravo"}, "Bravo");
    start();
    onModal<TRemoveScanForm>(
        [&] { form->Find.SBtnDelScan->click(); },
        [&](TRemoveScanForm& dialog) { Child<QPushButton>(dialog, "btnRemove")->click(); });
    EXPECT_EQ(storedKeys(FindKey), QStringList({"Alpha", "Bravo"}));
    EXPECT_EQ(form->Find.ScanCombo->currentText(), "Bravo");
}

TEST_F(DefinitionDialogsTest, UnsavedNameIsResolvedNowhereElseInTheStore) {
    // No definitions key yet: the same name elsewhere in the store must survive.
    seed(RootKey::CurrentUser, "Daily", {{"Keep", "1"}});
    seed(RootKey::CurrentUser, ProgramKey + "\\Daily", {{"Keep", "1"}});
    start();
    Ui::FindSheet& page = form->Find;
    page.ScanCombo->addItem("Daily");
    page.ScanCombo->setCurrentIndex(0);
    page.SBtnDelScan->setEnabled(true);
    onModal<TRemoveScanForm>([&] { page.SBtnDelScan->click(); },
                             [&](TRemoveScanForm& dialog) {
                                 Child<QListWidget>(dialog, "ListBox")->selectAll();
                                 Child<QPushButton>(dialog, "btnRemove")->click();
                             });
    EXPECT_EQ(page.ScanCombo->count(), 0);
    EXPECT_EQ(stored(RootKey::CurrentUser, "Daily", "Keep"), "1");
    EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Daily", "Keep"), "1");
}

TEST_F(DefinitionDialogsTest, RemovingTheLastCheckClearsTheCheckDates) {
    seed(RootKey::CurrentUser, VerifyKey + "\\Nightly", {{"Drives", "c"}});
    seedScans({"Nightly"}, "Nightly");
    start();
    Ui::CheckSheet& check = form->Check;
    if (FindComboEntry(check.CheckCombo, "Nightly") < 0)
        check.CheckCombo->addItem("Nightly");
    check.SBtnDelCheck->setEnabled(true);
    check.LabLastCheckDate->setText("Today at 1:00pm");
    TRemoveScanForm dialog(*form);
    onModal<TRemoveScanForm>([&] { dialog.Execute(CheckDefinitionPage(*form)); },
                             [&](TRemoveScanForm& d) {
                                 Child<QListWidget>(d, "ListBox")->selectAll();
                                 Child<QPushButton>(d, "btnRemove")->click();
                             },
                             false);
    EXPECT_EQ(check.LabLastCompDate->text(), "No checks are defined.");
    EXPECT_EQ(check.LabLastCheckDate->text(), "");
    EXPECT_FALSE(check.CheckCombo->isEnabled());
    EXPECT_FALSE(check.SBtnDelCheck->isEnabled());
    EXPECT_TRUE(storedKeys(VerifyKey).isEmpty());
    EXPECT_EQ(storedKeys(FindKey), QStringList{"Nightly"}) << "the scan of that name stays";
}

} // namespace

// ---- The pages through the dialog service

TEST_F(DefinitionDialogsTest, EachPageAsksTheServiceForItsOwnList) {
    dialogs = &scriptedDialogs;
    seedScans({"Alpha", "Bravo"}, "Bravo");
    seed(RootKey::CurrentUser, VerifyKey + "\\Bravo", {{"Drives", "c"}});
    start();
    Ui::CheckSheet& check = form->Check;
    ASSERT_EQ(entries(check.CheckCombo), QStringList{"Bravo"});
    // A refused name leaves the dialog up for the next one, as for a user.
    scriptedDialogs.names = {"bravo", "Weekly"};
    check.SBtnAddCheck->click();
    EXPECT_EQ(entries(check.CheckCombo), QStringList({"Bravo", "Weekly"}));
    EXPECT_EQ(prompts.texts(), QStringList{"That name is already in use. Enter a new name."});
    EXPECT_EQ(entries(form->Find.ScanCombo), QStringList({"Alpha", "Bravo"}));

    // Removing the check "Bravo" leaves the scan of that name.
    scriptedDialogs.removals = {{"Bravo"}};
    check.SBtnDelCheck->click();
    EXPECT_EQ(entries(check.CheckCombo), QStringList{"Weekly"});
    EXPECT_EQ(storedKeys(FindKey), QStringList({"Alpha", "Bravo"}));
    EXPECT_EQ(scriptedDialogs.asked, QStringList({"add", "remove"}));
}
