#include "support/FormFixture.h"
#include "support/ModalDialog.h"

#include "guard/WGMessages.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {

const QString GuardKey = "Software\\Tesmarine\\Vallorin\\Guard";
const QString DriverKey = "System\\CurrentControlSet\\Services\\VXD\\WinGuard";
const QStringList Names = {"FILEALERT", "BOOTALERT", "FILEREPAIR", "BOOTREPAIR"};
const QStringList Defaults = {"File <file> is infected with the <virus> virus!!!",
                              "Disk <disk> is infected with the <virus> virus!!!",
                              "The <virus> virus has been removed from the file <file>!!!",
                              "The <virus> virus has been removed from disk <disk>!!!"};

QStringList Texts(const TMessageForm& dialog) {
    return {dialog.Ui.EditFileMsg->text(), dialog.Ui.EditBootMsg->text(),
            dialog.Ui.EditFileRepMsg->text(), dialog.Ui.EditBootRepMsg->text()};
}

} // namespace

class WGMessagesTest : public FormFixture {
protected:
    // Opens the dialog from the guard page and runs act on it while it is up. True when act
    // left it open (it is then cancelled, so that the test goes on).
    bool withDialog(const std::function<void(TMessageForm&)>& act) {
        const ModalRun run =
            DriveModal<TMessageForm>([&] { form->Guard.SBtnMessages->click(); },
                                     [&](TMessageForm& dialog) {
                                         // Focus moves as it does for a user only in the active
                                         // window.
                                         dialog.activateWindow();
                                         EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
                                         act(dialog);
                                     });
        EXPECT_TRUE(run.opened) << "the messages dialog did not open";
        return run.leftOpen;
    }
    QStringList storedMessages(RootKey root, const QString& key) const {
        QStringList texts;
        for (const QString& name : Names)
            texts << stored(root, key, name).value_or("(absent)");
        return texts;
    }
};

TEST_F(WGMessagesTest, WithoutTheGuardTheDefaultsShowAndNothingCanBeSaved) {
    start();
    const bool leftOpen = withDialog([&](TMessageForm& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit WinGuard messages");
        EXPECT_EQ(Texts(dialog), Defaults);
        EXPECT_FALSE(dialog.Ui.BtnSave->isEnabled());
        EXPECT_EQ(dialog.focusWidget(), dialog.Ui.BtnCancel);
        dialog.Ui.EditBootMsg->setText("edited");
        dialog.Ui.EditBootMsg->setFocus();
        QTest::keyClick(dialog.Ui.EditBootMsg, Qt::Key_Return);
    });
    EXPECT_TRUE(leftOpen); // Enter does nothing while Save is disabled
    withDialog([&](TMessageForm& dialog) {
        EXPECT_EQ(dialog.Ui.EditBootMsg->text(), Defaults[1]); // a fresh dialog
        dialog.Ui.BtnCancel->click();
    });
    EXPECT_EQ(storedMessages(RootKey::CurrentUser, GuardKey).count("(absent)"), 4);
}

TEST_F(WGMessagesTest, EachMessageShowsTheDriverKeyThenTheGuardKeyThenTheDefault) {
    seed(RootKey::CurrentUser, GuardKey,
         {{"FILEALERT", "guard file"}, {"BOOTALERT", "guard boot"}});
    seed(RootKey::LocalMachine, DriverKey, {{"BOOTALERT", "driver boot"}, {"BOOTREPAIR", ""}});
    start();
    const bool leftOpen = withDialog([&](TMessageForm& dialog) {
        EXPECT_EQ(Texts(dialog), (QStringList{"guard file", "driver boot", Defaults[2], ""}));
        EXPECT_EQ(dialog.focusWidget(), dialog.Ui.BtnSave);
        const QList<QWidget*> order = {dialog.Ui.BtnCancel,      dialog.Ui.EditFileMsg,
                                       dialog.Ui.EditBootMsg,    dialog.Ui.EditFileRepMsg,
                                       dialog.Ui.EditBootRepMsg, dialog.Ui.BtnSave};
        for (QWidget* next : order) {
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(dialog.focusWidget(), next) << next->objectName().toStdString();
        }
        dialog.Ui.EditFileRepMsg->clear();
        dialog.Ui.EditFileRepMsg->setFocus();
        QTest::keyClick(dialog.Ui.EditFileRepMsg, Qt::Key_Return);
    });
    EXPECT_FALSE(leftOpen); // Enter saved and closed
    const QStringList saved = {"guard file", "driver boot", "", ""};
    EXPECT_EQ(storedMessages(RootKey::LocalMachine, DriverKey), saved);
    EXPECT_EQ(storedMessages(RootKey::CurrentUser, GuardKey), saved);
    // An empty message is a message: the next opening shows it empty.
    withDialog([&](TMessageForm& dialog) {
        EXPECT_EQ(Texts(dialog), saved);
        dialog.Ui.BtnCancel->click();
    });
    // Saving messages is no change of the page.
    EXPECT_FALSE(form->Guard.SBtnApply->isEnabled());
    EXPECT_FALSE(form->RestartNotice);
}

TEST_F(WGMessagesTest, ADriverKeyGoneAfterOpeningIsReportedAndTheGuardKeyStillSaved) {
    seed(RootKey::LocalMachine, DriverKey, {{"FILEALERT", "driver file"}});
    start();
    const bool leftOpen = withDialog([&](TMessageForm& dialog) {
        auto store = openStore();
        store->setRootKey(RootKey::LocalMachine);
        store->deleteKey(DriverKey);
        store.reset();
        dialog.Ui.BtnSave->click();
    });
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(prompts.texts(), QStringList{"Could not open Registry key."});
    EXPECT_EQ(storedMessages(RootKey::LocalMachine, DriverKey).count("(absent)"), 4);
    EXPECT_EQ(storedMessages(RootKey::CurrentUser, GuardKey),
              (QStringList{"driver file", Defaults[1], Defaults[2], Defaults[3]}));
}

TEST_F(WGMessagesTest, TheGuardPageAsksTheServiceAndASaveReachesBothKeys) {
    dialogs = &scriptedDialogs;
    seed(RootKey::LocalMachine, DriverKey, {{"StaticVxD", "x"}});
    start();
    const QStringList edited = {"1", "2", "3", "4"};
    scriptedDialogs.messages = {std::nullopt, edited};
    form->Guard.SBtnMessages->click(); // cancelled
    EXPECT_EQ(storedMessages(RootKey::LocalMachine, DriverKey),
              QStringList({"(absent)", "(absent)", "(absent)", "(absent)"}));
    form->Guard.SBtnMessages->click();
    EXPECT_EQ(storedMessages(RootKey::LocalMachine, DriverKey), edited);
    EXPECT_EQ(storedMessages(RootKey::CurrentUser, GuardKey), edited);
    EXPECT_EQ(scriptedDialogs.asked, QStringList({"messages", "messages"}));
}
