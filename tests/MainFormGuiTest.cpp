#include "support/FormFixture.h"

#include "platform/FileSystem.h"
#include "shell/Artwork.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <string>

namespace {

const QString AvtkKey = "SOFTWARE\\Dr Solomon's Software\\Dr Solomon's AVTK";
const QString AntiVirusKey = "SOFTWARE\\Dr Solomon's Software\\Anti-Virus";
const QString ProgramKey = "Software\\Tesmarine\\Vallorin";

QStringList Entries(const QComboBox* combo) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

} // namespace

class MainFormTest : public FormFixture {};

TEST_F(MainFormTest, TheAntiVirusKeyWinsOverTheOlderOne) {
    struct Row {
        const char* name;
        std::optional<QString> avtk, antiVirus; // InstallPath, or a key without it when empty
        bool antiVirusKey;
        QString expected;
    };
    const QString avtkFolder = prefix.path("avtk/");
    const QString avFolder = prefix.path("Anti Virus/");
    const Row rows[] = {
        {"both keys", avtkFolder, avFolder, true, avFolder},
        {"newer key without InstallPath", avtkFolder, std::nullopt, true, ""},
        {"older key alone", avtkFolder, std::nullopt, false, avtkFolder},
        {"neither key", std::nullopt, std::nullopt, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        auto store = openStore();
        store->setRootKey(RootKey::LocalMachine);
        if (row.avtk) {
            store->openKey(AvtkKey, true);
            store->writeString("InstallPath", *row.avtk);
        }
        if (row.antiVirusKey) {
            store->openKey(AntiVirusKey, true);
            if (row.antiVirus)
                store->writeString("InstallPath", *row.antiVirus);
        }
        store->closeKey();
        store.reset();
        // The folders named may differ from the prefix of this row: only the text counts.
        EXPECT_EQ(start().ToolkitFolder, row.expected);
    }
}

TEST_F(MainFormTest, AWindowsInstallPathGoesThroughTheDriveMap) {
    QDir().mkpath(prefix.path("cdrive/AVTK"));
    prefix.mapDrive('c', prefix.path("cdrive"));
    seed(RootKey::LocalMachine, AntiVirusKey, {{"InstallPath", "C:\\AVTK\\"}});
    EXPECT_EQ(start().ToolkitFolder, prefix.path("cdrive/AVTK/"));
    EXPECT_EQ(form->ProgramFolder, prefix.folder());
}

TEST_F(MainFormTest, MissingToolkitFilesDisableTheirButtons) {
    struct Row {
        const char* missing;
        QStringList disabled;
        QStringList shown;
        QString warning = "";
    };
    const QStringList all = {"WFindV32.exe", "veinfo95.hlp", "tk_Sched.exe", "CleanBoo.exe",
                             "WViVer32.exe"};
    const Row rows[] = {
        {"", {}, {}},
        // Scanning works without a ClamAV database, but finds only the test files.
        {"the ClamAV database",
         {},
         {"LabFindV"},
         "Test signatures only: install clamav-freshclam."},
        {"WFindV32.exe", {"SBtnScan", "SBtnRepair"}, {"LabFindV", "LabRep"}},
        {"veinfo95.hlp", {"SBtnEnc"}, {}},
        {"tk_Sched.exe", {"SBtnSchedule"}, {}},
        {"CleanBoo.exe", {"SBtnClean"}, {"LabCleanBoo"}},
        {"WViVer32.exe", {"SBtnCompute", "SBtnVerify"}, {"LabVerify"}},
    };
    const QStringList buttons = {"SBtnScan",  "SBtnRepair",  "SBtnEnc",   "SBtnSchedule",
                                 "SBtnClean", "SBtnCompute", "SBtnVerify"};
    const QStringList labels = {"LabFindV", "LabRep", "LabCleanBoo", "LabVerify"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.missing);
        reset();
        QStringList files = all;
        files.removeAll(row.missing);
        // The scheduler is tested under another case than it is started with.
        files.replaceInStrings("tk_Sched.exe", "TK_SCHED.EXE");
        installToolkit(files);
        if (row.missing == QString("the ClamAV database"))
            signatureDatabase = prefix.path("no-database");
        TMainForm& main = start();
        if (!row.warning.isEmpty()) {
            EXPECT_EQ(main.Find.LabFindV->text(), row.warning);
        }
        for (const QString& name : buttons)
            EXPECT_EQ(main.findChild<QAbstractButton*>(name)->isEnabled(),
                      !row.disabled.contains(name))
                << name.toStdString();
        for (const QString& name : labels)
            EXPECT_EQ(!main.findChild<QLabel*>(name)->isHidden(), row.shown.contains(name))
                << name.toStdString();
    }
}

TEST_F(MainFormTest, NoToolkitDisablesEveryToolkitButtonWithoutAMessage) {
    TMainForm& main = start();
    EXPECT_TRUE(main.ToolkitFolder.isEmpty());
    EXPECT_FALSE(main.Find.SBtnScan->isEnabled());
    EXPECT_FALSE(main.Main.SBtnEnc->isEnabled());
    EXPECT_FALSE(main.Check.SBtnVerify->isEnabled());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(MainFormTest, ChoosersListToolkitFilesButNotReservedNames) {
    const QString folder = installToolkit(
        {"find.lst", "Names.LST", "mine.lst", "a.lst", "x.lstx", "extra.drv", "guard.drv"});
    QDir().mkpath(folder + "old.lst");
    TMainForm& main = start();
    for (QComboBox* combo : {main.Find.ChklistCombo, main.Repair.RChkCombo}) {
        QStringList entries = Entries(combo);
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(entries.takeFirst(), "(None)");
        entries.sort(); // listed in the file system's order
        EXPECT_EQ(entries, QStringList({"a", "mine", "old"}));
        EXPECT_EQ(combo->currentIndex(), 0);
    }
    EXPECT_EQ(Entries(main.Find.DrvCombo), QStringList({"(None)", "extra"}));
    EXPECT_EQ(Entries(main.Repair.RDrvCombo), QStringList({"(None)", "extra"}));
}

// Without a toolkit folder nothing is listed, whatever folder the program runs in.
TEST_F(MainFormTest, NoToolkitFolderListsOnlyNone) {
    const QString here = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(prefix.path("")));
    prefix.writeFile("stray.lst", "");
    prefix.writeFile("stray.drv", "");
    TMainForm& main = start();
    for (QComboBox* combo : {main.Find.ChklistCombo, main.Find.DrvCombo, main.Repair.RChkCombo,
                             main.Repair.RDrvCombo}) {
        EXPECT_EQ(Entries(combo), QStringList{"(None)"}) << combo->objectName().toStdString();
        // Opening the list rebuilds it the same way.
        combo->showPopup();
        combo->hidePopup();
        EXPECT_EQ(Entries(combo), QStringList{"(None)"}) << combo->objectName().toStdString();
    }
    QDir::setCurrent(here);
}

TEST_F(MainFormTest, FirstRunListsNothingAndWritesEmptySelections) {
    TMainForm& main = start();
    EXPECT_FALSE(main.Find.ScanCombo->isEnabled());
    EXPECT_EQ(main.Find.ScanCombo->count(), 0);
    EXPECT_TRUE(main.Check.CheckCombo->isEnabled());
    EXPECT_EQ(main.Check.CheckCombo->count(), 0);
    EXPECT_FALSE(main.Find.SBtnDelScan->isEnabled());
    EXPECT_FALSE(main.Check.SBtnDelCheck->isEnabled());
    ASSERT_TRUE(closeForm());
    EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Find", "Selected"), QString());
    EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Verify", "Selected"), QString());
}

TEST_F(MainFormTest, StoredDefinitionsAreListedWithTheStoredSelection) {
    seed(RootKey::CurrentUser, ProgramKey + "\\Find\\Weekly", {{"LastScan", "0"}});
    seed(RootKey::CurrentUser, ProgramKey + "\\Find\\Daily", {{"LastScan", "0"}});
    seed(RootKey::CurrentUser, ProgramKey + "\\Find", {{"Selected", "WEEKLY"}});
    seed(RootKey::CurrentUser, ProgramKey + "\\Verify\\Boot", {{"Bytes", "4"}});
    seed(RootKey::CurrentUser, ProgramKey + "\\Verify", {{"Selected", "nothing"}});
    TMainForm& main = start();
    EXPECT_EQ(Entries(main.Find.ScanCombo), QStringList({"Daily", "Weekly"}));
    EXPECT_TRUE(main.Find.ScanCombo->isEnabled());
    EXPECT_EQ(main.Find.ScanCombo->currentText(), "Weekly");
    EXPECT_TRUE(main.Find.SBtnDelScan->isEnabled());
    EXPECT_EQ(Entries(main.Check.CheckCombo), QStringList({"Boot"}));
    EXPECT_EQ(main.Check.CheckCombo->currentIndex(), -1);
    EXPECT_TRUE(main.Check.SBtnDelCheck->isEnabled());
    ASSERT_TRUE(closeForm());
    EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Find", "Selected"), "Weekly");
    EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Verify", "Selected"), QString());
}

TEST_F(MainFormTest, TheCloseQuestionFollowsTheApplyButton) {
    struct Row {
        const char* name;
        std::optional<MessageAnswer> answer; // nothing: no question expected
        bool closes;
    };
    const Row rows[] = {
        {"no pending changes", std::nullopt, true},
        {"No discards and saves the pages", MessageAnswer::No, true},
        {"Cancel keeps the window", MessageAnswer::Cancel, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        TMainForm& main = start();
        main.show();
        if (row.answer) {
            main.Guard.SBtnApply->setEnabled(true);
            prompts.answers = {*row.answer};
        }
        EXPECT_EQ(main.close(), row.closes);
        EXPECT_EQ(prompts.messages.size(), row.answer ? 1 : 0);
        if (row.answer) {
            EXPECT_EQ(prompts.messages[0].kind, MessageKind::Confirm);
            EXPECT_EQ(prompts.messages[0].buttons, MessageButtons::YesNoCancel);
            EXPECT_EQ(prompts.messages[0].text,
                      "You have specified changes to WinGuard's configuration.\r"
                      "Do you wish to save the new settings?");
        }
        // Saving at close is what writes the selections; Cancel saves nothing.
        EXPECT_EQ(stored(RootKey::CurrentUser, ProgramKey + "\\Find", "Selected").has_value(),
                  row.closes);
        if (!row.closes) {
            EXPECT_EQ(main.Main.PageControl->currentWidget(), main.Main.GuardSheet);
        }
    }
}

TEST_F(MainFormTest, F1ShowsTheTopicOfTheFocusedPage) {
    TMainForm& main = start();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    const struct {
        QWidget* page;
        int context;
    } pages[] = {{main.Main.FindSheet, 20},
                 {main.Main.RepairSheet, 50},
                 {main.Main.CheckSheet, 60},
                 {main.Main.GuardSheet, 75},
                 {main.Main.ViewSheet, 100}};
    for (const auto& [page, context] : pages) {
        main.BringPageToFront(page);
        EXPECT_EQ(TMainForm::HelpContextOf(page->findChild<QWidget*>()), context);
    }
    EXPECT_EQ(TMainForm::HelpContextOf(main.Main.PageControl->tabBar()), 10);
    EXPECT_EQ(TMainForm::HelpContextOf(main.Main.BtnExit), 0);

    main.Guard.EditLog->setFocus();
    main.BringPageToFront(main.Main.GuardSheet);
    main.Guard.EditLog->setFocus();
    QTest::keyClick(main.Guard.EditLog, Qt::Key_F1);
    ASSERT_EQ(help.requests.size(), 1);
    EXPECT_EQ(help.requests[0].file, "Vallorin.hlp");
    EXPECT_EQ(help.requests[0].command, HelpCommand::Context);
    EXPECT_EQ(help.requests[0].context, 75);
}

// A click on a tab gives the tab bar the focus, so F1 then shows the tabs' topic, not the
// topic of the page that had the focus.
TEST_F(MainFormTest, F1AfterAClickOnATabShowsTheTabsTopic) {
    TMainForm& main = start();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    main.BringPageToFront(main.Main.GuardSheet);
    main.Guard.EditLog->setFocus();
    QTabBar* tabs = main.Main.PageControl->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    ASSERT_EQ(main.Main.PageControl->currentWidget(), main.Main.FindSheet);
    EXPECT_EQ(QApplication::focusWidget(), tabs);
    QTest::keyClick(tabs, Qt::Key_F1);
    ASSERT_EQ(help.requests.size(), 1);
    EXPECT_EQ(help.requests[0].context, 10);
}

TEST_F(MainFormTest, ACorruptStoreIsReportedAndLeftAlone) {
    const QByteArray garbage = "this is not a settings store\n";
    const QString file = prefix.writeFile("user.db", garbage);
    TMainForm& main = start();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("user.db")) << prompts.errors[0].toStdString();
    EXPECT_EQ(FileSystem::ReadWholeFile(file), garbage);
    // Later handlers report the closed store instead of crashing.
    main.show();
    EXPECT_TRUE(main.close() || !prompts.errors.isEmpty());
    EXPECT_EQ(FileSystem::ReadWholeFile(file), garbage);
}

// The store's check for damage runs once the window is shown: a store damaged where the
// start-up does not read is then given up, reported once, and never written to.
TEST_F(MainFormTest, AStoreDamagedWhereTheStartDoesNotReadIsGivenUpOnceShown) {
    installToolkit({"WFindV32.exe"});
    QList<QPair<QString, QString>> values;
    for (int i = 0; i < 200; ++i)
        values.append({QString("Value %1").arg(i), QString(100, QChar('a' + i % 26))});
    seed(RootKey::CurrentUser, "Software\\Other", values);
    const QString file = prefix.path("user.db");
    QByteArray content = FileSystem::ReadWholeFile(file);
    ASSERT_GT(content.size(), 4 * 4096);
    content.replace(content.size() - 4096, 600, QByteArray(600, '\x5a'));
    FileSystem::WriteWholeFile(file, content);

    TMainForm& main = start();
    EXPECT_TRUE(prompts.errors.isEmpty());
    main.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.errors.isEmpty(); }));
    QTest::qWait(20);
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains(file)) << prompts.errors[0].toStdString();
    EXPECT_TRUE(prompts.errors[0].contains("damaged")) << prompts.errors[0].toStdString();
    EXPECT_EQ(main.Settings, nullptr);
    EXPECT_TRUE(main.close());
    EXPECT_EQ(FileSystem::ReadWholeFile(file), content);
}

TEST_F(MainFormTest, TheWindowHasItsDesignedSizeAndCaptions) {
    TMainForm& main = start();
    EXPECT_EQ(main.Main.PageControl->count(), 5);
    const QStringList captions = {" Find viruses ", "Repair drives", "Disk integrity", "WinGuard",
                                  "  View reports "};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(main.Main.PageControl->tabText(i), captions[i]);
    EXPECT_EQ(main.Main.PageControl->currentIndex(), 0);
    EXPECT_EQ(main.windowTitle(), "Control for Dr Solomon's AVTK");
    EXPECT_EQ(main.Main.btnHelp->text(), "&Help...");
    EXPECT_EQ(main.Main.btnAbout->text(), "&About...");
    EXPECT_EQ(main.Main.BtnExit->text(), "E&xit");
    EXPECT_EQ(main.Main.SBtnEnc->toolTip(), "Virus Encyclopedia");
    EXPECT_EQ(main.Main.SBtnSchedule->toolTip(), "Edit Schedule");
}

TEST_F(MainFormTest, WarningsAreMaroonInEveryState) {
    TMainForm& main = start();
    const QWidget* warnings[] = {main.Find.LabFindV, main.Repair.LabRep, main.Repair.LabCleanBoo,
                                 main.Check.LabVerify, main.Guard.ChkBoxEnable};
    for (const QWidget* warning : warnings) {
        SCOPED_TRACE(warning->objectName().toStdString());
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            EXPECT_EQ(warning->palette().color(group, warning->foregroundRole()),
                      QColor(0x80, 0x00, 0x00));
    }
    EXPECT_TRUE(main.Guard.ChkBoxEnable->font().bold());
    EXPECT_EQ(main.Guard.ChkBoxEnable->palette().color(QPalette::Text), QColor(0x80, 0x00, 0x00));
}

// The program's own pictures are compiled in as pixels: they must be what painting them gives.
TEST_F(MainFormTest, CompiledInPicturesAreWhatPaintingGives) {
    TMainForm& main = start();
    const auto launcher = [](void (*paint)(QPainter&)) {
        return [paint](QPainter& painter) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(2, 2);
            paint(painter);
        };
    };
    const auto shield = [](int side) {
        return [side](QPainter& painter) {
            PaintShield(painter, QPointF(side / 2.0, side / 2.0), side / 100.0);
        };
    };
    struct Row {
        const char* name;
        QIcon icon;
        int side; // in logical pixels
        qreal ratio;
        std::function<void(QPainter&)> paint;
    };
    const Row rows[] = {
        {"window icon", QApplication::windowIcon(), 16, 1, shield(16)},
        {"window icon", QApplication::windowIcon(), 32, 1, shield(32)},
        {"window icon", QApplication::windowIcon(), 48, 1, shield(48)},
        {"encyclopedia", main.Main.SBtnEnc->icon(), 20, 2, launcher(PaintBook)},
        {"scheduler", main.Main.SBtnSchedule->icon(), 20, 2, launcher(PaintSchedule)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.side));
        const int pixels = qRound(row.side * row.ratio);
        QImage painted(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        painted.fill(Qt::transparent);
        QPainter painter(&painted);
        row.paint(painter);
        painter.end();
        const QImage shown = row.icon.pixmap(QSize(row.side, row.side), row.ratio)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shown.size(), painted.size());
        EXPECT_EQ(shown, painted);
    }
}

TEST_F(MainFormTest, AltAPressesApplyOnTheGuardPageAndAboutElsewhere) {
    dialogs = &scriptedDialogs; // the About box answers at once
    TMainForm& main = start();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QSignalSpy apply(main.Guard.SBtnApply, &QAbstractButton::clicked);
    QSignalSpy about(main.Main.btnAbout, &QAbstractButton::clicked);
    main.BringPageToFront(main.Main.GuardSheet);
    main.Guard.SBtnApply->setEnabled(true);
    QTest::keyClick(&main, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return apply.size() == 1; }));
    EXPECT_EQ(about.size(), 0);

    main.Guard.SBtnApply->setEnabled(false);
    QTest::keyClick(&main, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.size() == 1; }));
    EXPECT_EQ(apply.size(), 1);
    EXPECT_EQ(scriptedDialogs.asked, QStringList{"about"});
}
