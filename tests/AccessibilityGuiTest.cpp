// What a screen reader gets from the windows: every control has a name, whether from its own
// text, from the label that is its buddy, or from an accessible name of its own.
#include "support/FormFixture.h"

#include "definitions/AddScan.h"
#include "definitions/Common.h"
#include "definitions/RemoveScan.h"
#include "guard/WGMessages.h"
#include "platform/qt/HelpViewer.h"
#include "shell/AboutBox.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

// The controls of a window that have no name for a screen reader, as one line. A button is
// named by its text or its accessible name; a field (edit, combo, spin box, list, text view) by
// the label that is its buddy or its accessible name: a combo's own name would be its current
// entry, which says nothing of what is chosen.
std::string Unnamed(const QWidget* window) {
    QSet<const QWidget*> labelled;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy())
            labelled << label->buddy();
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // A combo's and a spin box's inner edits are theirs, not controls of the form.
        if (qobject_cast<QComboBox*>(widget->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) ||
            widget->objectName().startsWith("qt_"))
            continue;
        const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                           qobject_cast<QAbstractSpinBox*>(widget) ||
                           qobject_cast<QPlainTextEdit*>(widget) ||
                           qobject_cast<QListWidget*>(widget);
        if (field && !labelled.contains(widget) && widget->accessibleName().isEmpty())
            unnamed << widget->objectName();
        if (qobject_cast<QAbstractButton*>(widget)) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << widget->objectName();
        }
    }
    return unnamed.join(' ').toStdString();
}

// A picture shown alone (a label without text) says what it shows.
std::string UnnamedPictures(const QWidget* window) {
    QStringList unnamed;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->text().isEmpty() && !label->pixmap().isNull() &&
            label->accessibleName().isEmpty())
            unnamed << label->objectName();
    return unnamed.join(' ').toStdString();
}

class AccessibilityTest : public FormFixture {};

// Whether a widget is a control a user works (rather than a label, a frame or a part of one).
bool IsControl(const QWidget* widget) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_") ||
        qobject_cast<QComboBox*>(widget->parentWidget()) ||
        qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
        return false;
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || widget->inherits("ReportView");
}

TEST_F(AccessibilityTest, EveryControlOfEveryPageHasItsNameAndRole) {
    installToolkit({"WFindV32.exe", "veinfo95.hlp", "TK_Sched.exe", "CleanBoo.exe", "WViVer32.exe",
                    "office.lst", "extra.drv"});
    TMainForm& main = start();
    struct Row {
        const char* control;
        QAccessible::Role role;
        const char* name; // blanks around a caption are not read
    };
    const Row rows[] = {
        {"TMainForm", QAccessible::Window, "Vallorin - Control for Dr Solomon's AVTK"},
        {"qt_tabwidget_tabbar", QAccessible::PageTabList, "Find viruses"},
        {"SBtnEnc", QAccessible::Button, "Virus Encyclopedia"},
        {"SBtnSchedule", QAccessible::Button, "Edit Schedule"},
        {"btnHelp", QAccessible::Button, "Help..."},
        {"btnAbout", QAccessible::Button, "About..."},
        {"BtnExit", QAccessible::Button, "Exit"},
        {"ScanCombo", QAccessible::ComboBox, "Defined scans:"},
        {"SBtnAddScan", QAccessible::Button, "Add"},
        {"SBtnDelScan", QAccessible::Button, "Remove"},
        {"RadBtnFindAll", QAccessible::RadioButton, "All"},
        {"RadBtnFindLocal", QAccessible::RadioButton, "Local"},
        {"RadBtnFindDef", QAccessible::RadioButton, "Defined:"},
        {"EditFindDrives", QAccessible::EditableText, "Defined drives"},
        {"ChkBoxExe", QAccessible::CheckBox, "Executables"},
        {"ChkBoxData", QAccessible::CheckBox, "Data files"},
        {"ChkBoxZIP", QAccessible::CheckBox, "Archive files"},
        {"ChkBoxPK", QAccessible::CheckBox, "Compressed files"},
        {"ChkBoxBoot", QAccessible::CheckBox, "Boot sectors"},
        {"ChkBoxPart", QAccessible::CheckBox, "Partition sectors"},
        {"ChkBoxMem", QAccessible::CheckBox, "Memory"},
        {"ChkBoxFloppies", QAccessible::CheckBox, "Multiple floppies"},
        {"ChkBoxBeep", QAccessible::CheckBox, "Beep on finding virus"},
        {"ChkBoxError", QAccessible::CheckBox, "Extended error levels"},
        {"ChkBoxProgramH", QAccessible::CheckBox, "Program/File Heuristics"},
        {"ChkBoxMacroH", QAccessible::CheckBox, "Macro Heuristics"},
        {"ChkBoxAutoExit", QAccessible::CheckBox, "Exit on scan completion"},
        {"ChkBoxPrevent", QAccessible::CheckBox, "Prevent user exit"},
        {"ChkBoxDetail", QAccessible::CheckBox, "Detailed report"},
        {"ChkBoxFindReport", QAccessible::CheckBox, "Report to file"},
        {"ChkBoxAppReport", QAccessible::CheckBox, "Append report"},
        {"ChkBoxFindPrint", QAccessible::CheckBox, "Print report"},
        {"ChklistCombo", QAccessible::ComboBox, "Checklist:"},
        {"DrvCombo", QAccessible::ComboBox, "Extra  Driver:"},
        {"SBtnScan", QAccessible::Button, "Scan"},
        {"RadBtnRepAll", QAccessible::RadioButton, "All"},
        {"RadBtnRepLocal", QAccessible::RadioButton, "Local"},
        {"RadBtnRepDef", QAccessible::RadioButton, "Defined:"},
        {"EditRepairDrives", QAccessible::EditableText, "Defined drives"},
        {"RadBtnRename", QAccessible::RadioButton, "Rename unrepairable files"},
        {"RadBtnDelete", QAccessible::RadioButton, "Delete unrepairable files"},
        {"ChkBoxRepairDetail", QAccessible::CheckBox, "Detailed report"},
        {"ChkBoxRepairPrint", QAccessible::CheckBox, "Print report"},
        {"ChkBoxRepairReport", QAccessible::CheckBox, "Report to file"},
        {"ChkBoxRepAppend", QAccessible::CheckBox, "Append report"},
        {"ChkBoxRepExit", QAccessible::CheckBox, "Exit on repair completion"},
        {"ChkBoxRepError", QAccessible::CheckBox, "Extended error levels"},
        {"ChkBoxRepPrevent", QAccessible::CheckBox, "Prevent user exit"},
        {"RChkCombo", QAccessible::ComboBox, "Checklist:"},
        {"RDrvCombo", QAccessible::ComboBox, "Extra  Driver:"},
        {"SBtnRepair", QAccessible::Button, "Repair"},
        {"RadBtnAuto", QAccessible::RadioButton, "Auto-detect type"},
        {"RadBtn360", QAccessible::RadioButton, "5¼\" 360Kb"},
        {"RadBtn12", QAccessible::RadioButton, "5¼\" 1.2Mb"},
        {"RadBtn720", QAccessible::RadioButton, "3½\" 720Kb"},
        {"RadBtn144", QAccessible::RadioButton, "3½\" 1.44Mb"},
        {"RadBtn288", QAccessible::RadioButton, "3½\" 2.88Mb"},
        {"RadBtnA", QAccessible::RadioButton, "A"},
        {"RadBtnB", QAccessible::RadioButton, "B"},
        {"SBtnClean", QAccessible::Button, "Clean boot sector"},
        {"CheckCombo", QAccessible::ComboBox, "Defined checks:"},
        {"SBtnAddCheck", QAccessible::Button, "Add"},
        {"SBtnDelCheck", QAccessible::Button, "Remove"},
        {"RadBtnCheckAll", QAccessible::RadioButton, "All"},
        {"RadBtnCheckLocal", QAccessible::RadioButton, "Local"},
        {"RadBtnCheckDef", QAccessible::RadioButton, "Defined:"},
        {"EditCheckDrives", QAccessible::EditableText, "Defined drives"},
        {"RadBtnSizes", QAccessible::RadioButton, "File size"},
        {"RadBtnChecksum", QAccessible::RadioButton, "Checksum"},
        {"RadBtnCCITT", QAccessible::RadioButton, "CCITT CRC"},
        {"RadBtnDES", QAccessible::RadioButton, "DES"},
        {"EditBytes", QAccessible::EditableText, "Check every             bytes"},
        {"UDBytes", QAccessible::SpinBox, "Bytes checked"},
        {"ChkBoxChkBoot", QAccessible::CheckBox, "Check boot sectors"},
        {"ChkBoxChkPart", QAccessible::CheckBox, "Check partitions"},
        {"ChkBoxVPrevent", QAccessible::CheckBox, "Prevent user exit"},
        {"ChkBoxKeyword", QAccessible::CheckBox, "Keyword:"},
        {"EditKeyword", QAccessible::EditableText, "Keyword"},
        {"ChkBoxTurbo", QAccessible::CheckBox, "Use turbo mode"},
        {"ChkBoxChkBeep", QAccessible::CheckBox, "Beep on finding change"},
        {"ChkBoxChkDetail", QAccessible::CheckBox, "Detailed report"},
        {"ChkBoxChkPrint", QAccessible::CheckBox, "Print Report"},
        {"ChkBoxChkReport", QAccessible::CheckBox, "Report to file"},
        {"SBtnCompute", QAccessible::Button, "Compute fingerprints"},
        {"SBtnVerify", QAccessible::Button, "Verify fingerprints"},
        {"ChkBoxEnable", QAccessible::CheckBox, "WinGuard enabled"},
        {"ChkBoxWrite", QAccessible::CheckBox, "Check on writes"},
        {"ChkBoxAll", QAccessible::CheckBox, "Check all files"},
        {"ChkBoxOLE", QAccessible::CheckBox, "Check all OLE files"},
        {"ChkBoxProgH", QAccessible::CheckBox, "Program heuristics"},
        {"ChkBoxWordH", QAccessible::CheckBox, "Word macro heuristics"},
        {"RadBtnAll", QAccessible::RadioButton, "All"},
        {"RadBtnFloppies", QAccessible::RadioButton, "Floppies"},
        {"RadBtnNetwork", QAccessible::RadioButton, "Network & floppies"},
        {"RadBtnLocal", QAccessible::RadioButton, "Local & floppies"},
        {"RadBtnDef", QAccessible::RadioButton, "Defined:"},
        {"EditGuardDrv", QAccessible::EditableText, "Defined drives"},
        {"ChkBoxDOS", QAccessible::CheckBox, "Close DOS box"},
        {"ChkBoxRepair", QAccessible::CheckBox, "Automatic repair"},
        {"ChkBoxPrompt", QAccessible::CheckBox, "Repair prompt"},
        {"ChkBoxGuardX", QAccessible::CheckBox, "Extra driver:"},
        {"EditGuardX", QAccessible::EditableText, "Extra driver"},
        {"ChkBoxLog", QAccessible::CheckBox, "Create log:"},
        {"EditLog", QAccessible::EditableText, "Log file"},
        {"SBtnLogBrowse", QAccessible::Button, "Select log file..."},
        {"ChkBoxNet", QAccessible::CheckBox, "Monitor network connection and use:"},
        {"EditWinsock", QAccessible::EditableText, "Network library"},
        {"SBtnMessages", QAccessible::Button, "Messages"},
        {"SBtnRestore", QAccessible::Button, "Restore"},
        {"SBtnLoad", QAccessible::Button, "Load"},
        {"SBtnSave", QAccessible::Button, "Save"},
        {"SBtnApply", QAccessible::Button, "Apply"},
        {"ViewWin", QAccessible::EditableText, "No file being viewed."},
        {"btnFVrep", QAccessible::Button, "FindVirus"},
        {"BtnRepairRep", QAccessible::Button, "Repair"},
        {"btnViRep", QAccessible::Button, "ViVerify"},
        {"btnGuardLog", QAccessible::Button, "WinGuard"},
        {"ScrollLeftButton", QAccessible::Button, "Scroll Left"},
        {"ScrollRightButton", QAccessible::Button, "Scroll Right"},
        {"SBtnEnc", QAccessible::Button, "Virus Encyclopedia"},
        {"SBtnSchedule", QAccessible::Button, "Edit Schedule"},
        {"btnHelp", QAccessible::Button, "Help..."},
        {"btnAbout", QAccessible::Button, "About..."},
        {"BtnExit", QAccessible::Button, "Exit"},
    };
    QSet<QString> listed;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control);
        listed << row.control;
        QWidget* control =
            row.control == QString("TMainForm") ? &main : main.findChild<QWidget*>(row.control);
        ASSERT_NE(control, nullptr);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->role(), row.role);
        EXPECT_EQ(face->text(QAccessible::Name).trimmed(), row.name);
    }
    // A combo keeps the labelled-by relation a screen reader reads its label by.
    const auto labels =
        QAccessible::queryAccessibleInterface(main.Find.ScanCombo)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first->object(), main.Find.LabDefScan);
    // A picture button is named by its tool tip.
    for (const auto* button : main.findChildren<QToolButton*>(QRegularExpression("^SBtn")))
        EXPECT_EQ(button->accessibleName(), button->toolTip())
            << button->objectName().toStdString();
    // No control goes without a row.
    QStringList missing;
    for (const QWidget* widget : main.findChildren<QWidget*>())
        if (IsControl(widget) && !listed.contains(widget->objectName()))
            missing << widget->objectName();
    EXPECT_EQ(missing.join(' ').toStdString(), "");
}

// Qt 6.4 gives AT-SPI no selection interface: a reader chooses an entry by its item's press
// action, as a choice from the open list, and hears the chosen entry as the combo's value.
TEST_F(AccessibilityTest, AComboEntryIsChosenByItsItemsPressAction) {
    const QString findKey = "Software\\Tesmarine\\Vallorin\\Find";
    installToolkit({"WFindV32.exe", "mine.lst", "other.lst", "extra.drv"});
    seed(RootKey::CurrentUser, findKey + "\\Daily", {{"Drives", "All"}});
    seed(RootKey::CurrentUser, findKey + "\\Weekly", {{"Drives", "Local"}});
    seed(RootKey::CurrentUser, findKey, {{"Selected", "Daily"}});
    TMainForm& main = start();
    struct Row {
        const char* what;
        QComboBox* combo;
        int item; // the row pressed
        // The row whose toolkit file is deleted between reading the entry and pressing it, which
        // the list's refill at the press then leaves out (-1: none).
        int gone;
        const char* extension;
        const char* chosen; // the combo's value after the press; null: the entry pressed
    };
    const Row rows[] = {
        {"a definition", main.Find.ScanCombo, FindComboEntry(main.Find.ScanCombo, "Weekly"), -1, "",
         nullptr},
        {"a toolkit file whose row moved up", main.Find.ChklistCombo, 2, 1, "lst", nullptr},
        {"a toolkit file gone", main.Find.DrvCombo, 1, 1, "drv", "(None)"},
    };
    const QStringList press{QAccessibleActionInterface::pressAction()};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(row.combo);
        ASSERT_EQ(combo->childCount(), row.combo->count());
        QAccessibleInterface* item = combo->child(row.item);
        ASSERT_NE(item, nullptr);
        const QString entry = row.combo->itemText(row.item);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), entry);
        ASSERT_EQ(item->actionInterface()->actionNames(), press);
        if (row.gone >= 0) {
            ASSERT_TRUE(QFile::remove(
                prefix.path("toolkit/" + row.combo->itemText(row.gone) + '.' + row.extension)));
        }
        item->actionInterface()->doAction(press.front());
        EXPECT_EQ(combo->text(QAccessible::Value), row.chosen ? row.chosen : entry);
        EXPECT_TRUE(combo->child(row.combo->currentIndex())->state().selected);
    }
    // The choice is the user's: the page shows the definition chosen.
    EXPECT_TRUE(main.Find.RadBtnFindLocal->isChecked());
    // The combo's own action opens the list, where the arrow keys choose as well.
    QAccessibleInterface* scans = QAccessible::queryAccessibleInterface(main.Find.ScanCombo);
    scans->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_TRUE(main.Find.ScanCombo->view()->isVisible());
    EXPECT_TRUE(scans->state().expanded);
    main.Find.ScanCombo->hidePopup();
    // A disabled combo offers nothing to press.
    main.Find.ScanCombo->setEnabled(false);
    EXPECT_EQ(scans->child(0)->actionInterface()->actionNames(), QStringList{});
}

TEST_F(AccessibilityTest, EachWindowIsAFrameOrADialogNamedByItsTitleBar) {
    TMainForm& main = start();
    HelpViewer viewer{prompts, nullptr, [](const QString&) { return true; }};
    viewer.showHelp("Vallorin.hlp", HelpCommand::Finder, 0);
    struct Row {
        const char* window;
        std::function<std::unique_ptr<QWidget>()> make;
        QAccessible::Role role;
        const char* name;
    };
    const Row rows[] = {
        {"About box", [] { return std::make_unique<TAboutFm>(); }, QAccessible::Dialog,
         "About Vallorin"},
        {"Add dialog", [&] { return std::make_unique<TAddScanForm>(main); }, QAccessible::Dialog,
         "Vallorin - Add definition"},
        {"Remove dialog", [&] { return std::make_unique<TRemoveScanForm>(main); },
         QAccessible::Dialog, "Vallorin - Remove definitions"},
        {"messages dialog", [&] { return std::make_unique<TMessageForm>(main); },
         QAccessible::Dialog, "Vallorin - Edit WinGuard messages"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.window);
        const std::unique_ptr<QWidget> window = row.make();
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(window.get());
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->role(), row.role);
        EXPECT_EQ(face->text(QAccessible::Name), row.name);
        EXPECT_EQ(Unnamed(window.get()), "");
        EXPECT_EQ(UnnamedPictures(window.get()), "");
    }
    ASSERT_NE(viewer.viewerWindow(), nullptr);
    QAccessibleInterface* help = QAccessible::queryAccessibleInterface(viewer.viewerWindow());
    EXPECT_EQ(help->role(), QAccessible::Window);
    EXPECT_EQ(help->text(QAccessible::Name), "Vallorin Help");
    delete viewer.viewerWindow();
}

} // namespace

namespace {

class KeyboardTest : public FormFixture {};

TEST_F(KeyboardTest, EveryControlAndPageIsReachedByTheKeysAWindowsUserKnows) {
    installToolkit({"WFindV32.exe", "veinfo95.hlp", "TK_Sched.exe", "CleanBoo.exe", "WViVer32.exe",
                    "office.lst", "extra.drv"});
    dialogs = &scriptedDialogs; // an About box would be recorded, never shown
    TMainForm& main = start();
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    struct Row {
        const char* what;
        int page;
        const char* from;
        std::function<void(TMainForm&)> setUp;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int presses;
        const char* focus; // where the focus ends
        int shown;         // the page shown at the end
    };
    const auto nothing = [](TMainForm&) {};
    const Row rows[] = {
        {"Tab into a radio group lands on its checked button", 3, "ChkBoxWordH",
         [](TMainForm& form) { form.Guard.RadBtnLocal->setChecked(true); }, Qt::Key_Tab,
         Qt::NoModifier, 1, "RadBtnLocal", 3},
        {"Tab out of a radio group leaves it", 3, "RadBtnLocal", nothing, Qt::Key_Tab,
         Qt::NoModifier, 1, "EditGuardDrv", 3},
        {"Shift+Tab into a radio group lands on its checked button", 2, "EditBytes",
         [](TMainForm& form) { form.Check.RadBtnChecksum->setChecked(true); }, Qt::Key_Backtab,
         Qt::ShiftModifier, 1, "RadBtnChecksum", 2},
        {"a shared letter moves the focus and presses nothing", 1, "SBtnClean", nothing, Qt::Key_A,
         Qt::AltModifier, 2, nullptr, 1},
        {"Ctrl+Tab from a combo", 0, "ChklistCombo", nothing, Qt::Key_Tab, Qt::ControlModifier, 1,
         nullptr, 1},
        {"Ctrl+PgDn from a combo", 0, "DrvCombo", nothing, Qt::Key_PageDown, Qt::ControlModifier, 1,
         nullptr, 1},
        {"Ctrl+Shift+Tab from a combo", 1, "RChkCombo", nothing, Qt::Key_Backtab,
         Qt::ControlModifier | Qt::ShiftModifier, 1, nullptr, 0},
        {"Ctrl+PgUp goes round from the first page to the last", 0, "ChkBoxExe", nothing,
         Qt::Key_PageUp, Qt::ControlModifier, 1, nullptr, 4},
        {"Ctrl+Tab from an edit", 2, "EditKeyword", nothing, Qt::Key_Tab, Qt::ControlModifier, 1,
         nullptr, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        main.Main.PageControl->setCurrentIndex(row.page);
        row.setUp(main);
        QWidget* from = main.findChild<QWidget*>(row.from);
        ASSERT_NE(from, nullptr);
        from->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([&] { return from->hasFocus(); }));
        for (int press = 0; press < row.presses; ++press)
            QTest::keyClick(QApplication::focusWidget(), row.key, row.modifiers);
        QApplication::processEvents();
        if (row.focus) {
            EXPECT_EQ(QApplication::focusWidget()->objectName(), row.focus);
        }
        EXPECT_EQ(main.Main.PageControl->currentIndex(), row.shown);
    }
    EXPECT_EQ(scriptedDialogs.asked, QStringList{});
    EXPECT_TRUE(main.Find.SBtnAddScan->focusPolicy() & Qt::TabFocus);
}

TEST_F(KeyboardTest, TabWalksTheShownPageThenTheWindowsButtonsAndComesRoundToTheTabs) {
    installToolkit({"WFindV32.exe", "veinfo95.hlp", "TK_Sched.exe", "CleanBoo.exe", "WViVer32.exe",
                    "office.lst", "extra.drv"});
    TMainForm& main = start();
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    // A fresh prefix: no definition yet, no report; a radio group is one stop, its checked
    // button.
    const char* const pages[] = {
        "SBtnAddScan RadBtnFindAll EditFindDrives ChkBoxExe ChkBoxData ChkBoxZIP ChkBoxPK "
        "ChkBoxBoot ChkBoxPart ChkBoxMem ChkBoxBeep ChkBoxError ChkBoxProgramH ChkBoxMacroH "
        "ChkBoxAutoExit ChkBoxPrevent ChkBoxDetail ChkBoxFindReport ChkBoxFindPrint ChklistCombo "
        "DrvCombo SBtnScan",
        "RadBtnRepAll EditRepairDrives RadBtnRename ChkBoxRepairDetail ChkBoxRepairPrint "
        "ChkBoxRepairReport ChkBoxRepExit ChkBoxRepError ChkBoxRepPrevent RChkCombo RDrvCombo "
        "SBtnRepair RadBtnAuto RadBtnA SBtnClean",
        "CheckCombo SBtnAddCheck RadBtnCheckDef EditCheckDrives RadBtnCCITT EditBytes "
        "ChkBoxChkBoot "
        "ChkBoxChkPart ChkBoxVPrevent ChkBoxKeyword EditKeyword ChkBoxTurbo ChkBoxChkBeep "
        "ChkBoxChkDetail ChkBoxChkPrint ChkBoxChkReport SBtnCompute SBtnVerify",
        "ChkBoxEnable ChkBoxWrite ChkBoxAll ChkBoxOLE ChkBoxProgH ChkBoxWordH RadBtnAll "
        "EditGuardDrv ChkBoxDOS ChkBoxRepair ChkBoxPrompt ChkBoxGuardX EditGuardX ChkBoxLog "
        "EditLog SBtnLogBrowse ChkBoxNet EditWinsock SBtnMessages SBtnRestore SBtnLoad",
        "ViewWin",
    };
    const QString buttons = " SBtnEnc SBtnSchedule btnHelp btnAbout BtnExit";
    QWidget* tabs = main.Main.PageControl->tabBar();
    for (int page = 0; page < main.Main.PageControl->count(); ++page) {
        SCOPED_TRACE(page);
        main.Main.PageControl->setCurrentIndex(page);
        tabs->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([&] { return tabs->hasFocus(); }));
        QStringList walked;
        // Until the tabs again, or well past the most controls a page has.
        for (int press = 0; press < 60 && (press == 0 || !tabs->hasFocus()); ++press) {
            if (press > 0)
                walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(walked.join(' '), pages[page] + buttons);
    }
}

TEST_F(KeyboardTest, EscapeClosesTheHelpViewer) {
    HelpViewer viewer{prompts, nullptr, [](const QString&) { return true; }};
    viewer.showHelp("Vallorin.hlp", HelpCommand::Finder, 0);
    QPointer<QWidget> window = viewer.viewerWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(viewer.viewerBrowser(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull() || !window->isVisible(); }));
    delete window;
}

} // namespace
