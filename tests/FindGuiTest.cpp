#include "support/FormFixture.h"

#include "definitions/Common.h"
#include "platform/ProgramStart.h"
#include "scan/Find.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <functional>

namespace {

const QString FindKey = "Software\\Tesmarine\\Vallorin\\Find";
const QString DailyKey = FindKey + "\\Daily";

class FindPageTest : public FormFixture {
protected:
    QString toolkit;

    void SetUp() override {
        toolkit = installToolkit({"WFindV32.exe", "mine.lst", "extra.drv", "; rm -rf ~.lst"});
        prefix.mapDrive('c', prefix.folder());
        prefix.mapDrive('d', prefix.folder());
    }

    Ui::FindSheet& page() { return form->Find; }

    // A fresh window whose page shows its design state with the name Daily selected, as after
    // the Add dialog.
    TMainForm& startOnNewDefinition() {
        start();
        QComboBox* combo = page().ScanCombo;
        if (FindComboEntry(combo, "Daily") < 0)
            combo->addItem("Daily");
        combo->setCurrentIndex(FindComboEntry(combo, "Daily"));
        combo->setEnabled(true);
        return *form;
    }

    // A window started on the stored definition Daily.
    TMainForm& startOnStored(const QList<QPair<QString, QString>>& values) {
        seed(RootKey::CurrentUser, DailyKey, values);
        seed(RootKey::CurrentUser, FindKey, {{"Selected", "Daily"}});
        return start();
    }

    void selectEntry(QComboBox* combo, const QString& text) {
        const int index = FindComboEntry(combo, text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
    }
};

using PageSetup = std::function<void(Ui::FindSheet&)>;

struct CommandRow {
    const char* what;
    PageSetup setup;
    const char* switches;
};

void DefinedDrives(Ui::FindSheet& p, const QString& drives) {
    p.RadBtnFindDef->setChecked(true);
    p.EditFindDrives->setText(drives);
}

TEST_F(FindPageTest, CommandLineFollowsEveryRowOfThePage) {
    const CommandRow rows[] = {
        {"design state", [](Ui::FindSheet&) {}, " /AD /NOPACK /BEEP"},
        {"local", [](Ui::FindSheet& p) { p.RadBtnFindLocal->setChecked(true); },
         " /LOCAL /NOPACK /BEEP"},
        {"defined drives keep their case", [](Ui::FindSheet& p) { DefinedDrives(p, "cD"); },
         " /D=c:;D: /NOPACK /BEEP"},
        {"no executables disables the file kinds",
         [](Ui::FindSheet& p) {
             p.ChkBoxData->setChecked(true);
             p.ChkBoxZIP->setChecked(true);
             p.ChkBoxPK->setChecked(true);
             p.ChkBoxExe->setChecked(false);
         },
         " /AD /NOFILES /NOPACK /BEEP"},
        {"data files", [](Ui::FindSheet& p) { p.ChkBoxData->setChecked(true); },
         " /AD /DOALLFILES /NOPACK /BEEP"},
        {"archives", [](Ui::FindSheet& p) { p.ChkBoxZIP->setChecked(true); },
         " /AD /U /NOPACK /BEEP"},
        {"compressed", [](Ui::FindSheet& p) { p.ChkBoxPK->setChecked(true); }, " /AD /PACK /BEEP"},
        {"no boot sectors never gives no partition",
         [](Ui::FindSheet& p) {
             p.ChkBoxPart->setChecked(false);
             p.ChkBoxBoot->setChecked(false);
         },
         " /AD /NOPACK /NOBOOT /BEEP"},
        {"no partition sectors", [](Ui::FindSheet& p) { p.ChkBoxPart->setChecked(false); },
         " /AD /NOPACK /NOPART /BEEP"},
        {"no memory", [](Ui::FindSheet& p) { p.ChkBoxMem->setChecked(false); },
         " /AD /NOPACK /NM /BEEP"},
        {"floppy letter left in the edit under Local",
         [](Ui::FindSheet& p) {
             DefinedDrives(p, "a");
             p.RadBtnFindLocal->setChecked(true);
         },
         " /LOCAL /NOPACK /ONEONLY /BEEP"},
        {"multiple floppies checked",
         [](Ui::FindSheet& p) {
             p.EditFindDrives->setText("b");
             p.ChkBoxFloppies->setChecked(true);
         },
         " /AD /NOPACK /BEEP"},
        {"multiple floppies checked but disabled again",
         [](Ui::FindSheet& p) {
             p.EditFindDrives->setText("a");
             p.ChkBoxFloppies->setChecked(true);
             p.EditFindDrives->setText("");
         },
         " /AD /NOPACK /BEEP"},
        {"no beep", [](Ui::FindSheet& p) { p.ChkBoxBeep->setChecked(false); }, " /AD /NOPACK"},
        {"extended errors", [](Ui::FindSheet& p) { p.ChkBoxError->setChecked(true); },
         " /AD /NOPACK /BEEP /EXTERROR"},
        {"both heuristics",
         [](Ui::FindSheet& p) {
             p.ChkBoxProgramH->setChecked(true);
             p.ChkBoxMacroH->setChecked(true);
         },
         " /AD /NOPACK /BEEP /ANALYSE"},
        {"program heuristics", [](Ui::FindSheet& p) { p.ChkBoxProgramH->setChecked(true); },
         " /AD /NOPACK /BEEP /PANALYSE"},
        {"macro heuristics", [](Ui::FindSheet& p) { p.ChkBoxMacroH->setChecked(true); },
         " /AD /NOPACK /BEEP /MANALYSE"},
        {"exit and prevent exit",
         [](Ui::FindSheet& p) {
             p.ChkBoxAutoExit->setChecked(true);
             p.ChkBoxPrevent->setChecked(true);
         },
         " /AD /NOPACK /BEEP /AUTOEXIT /NOEXIT"},
        {"checklist and driver",
         [](Ui::FindSheet& p) {
             p.ChklistCombo->setCurrentIndex(FindComboEntry(p.ChklistCombo, "mine"));
             p.DrvCombo->setCurrentIndex(FindComboEntry(p.DrvCombo, "extra"));
         },
         " /AD /NOPACK /BEEP /C=mine.lst /EXTRA=extra.drv"},
        {"the whole report",
         [](Ui::FindSheet& p) {
             p.ChkBoxDetail->setChecked(true);
             p.ChkBoxFindReport->setChecked(true);
             p.ChkBoxAppReport->setChecked(true);
             p.ChkBoxFindPrint->setChecked(true);
         },
         " /AD /NOPACK /BEEP /LOUD /REPORT=FindViru.Rep /APPEND /P"},
        {"append without a report file is disabled",
         [](Ui::FindSheet& p) {
             p.ChkBoxFindReport->setChecked(true);
             p.ChkBoxAppReport->setChecked(true);
             p.ChkBoxFindReport->setChecked(false);
         },
         " /AD /NOPACK /BEEP"},
        {"every row at once, in order",
         [](Ui::FindSheet& p) {
             DefinedDrives(p, "Ac");
             for (QCheckBox* box :
                  {p.ChkBoxData, p.ChkBoxZIP, p.ChkBoxPK, p.ChkBoxError, p.ChkBoxProgramH,
                   p.ChkBoxAutoExit, p.ChkBoxPrevent, p.ChkBoxDetail, p.ChkBoxFindReport,
                   p.ChkBoxAppReport, p.ChkBoxFindPrint})
                 box->setChecked(true);
             p.ChkBoxPart->setChecked(false);
             p.ChkBoxMem->setChecked(false);
             p.ChkBoxBeep->setChecked(false);
             p.ChklistCombo->setCurrentIndex(FindComboEntry(p.ChklistCombo, "mine"));
             p.DrvCombo->setCurrentIndex(FindComboEntry(p.DrvCombo, "extra"));
         },
         " /D=A:;c: /DOALLFILES /U /PACK /NOPART /NM /ONEONLY /EXTERROR /PANALYSE /AUTOEXIT"
         " /NOEXIT /C=mine.lst /EXTRA=extra.drv /LOUD /REPORT=FindViru.Rep /APPEND /P"},
    };
    prefix.mapDrive('a', prefix.folder());
    for (const CommandRow& row : rows) {
        SCOPED_TRACE(row.what);
        starter.commandLines.clear();
        startOnNewDefinition();
        row.setup(page());
        RunScan(*form);
        EXPECT_EQ(prompts.texts(), QStringList());
        EXPECT_EQ(starter.commandLines, QStringList{toolkit + "WFindV32.exe" + row.switches});
    }
}

TEST_F(FindPageTest, NamesReachTheScannerAsArgumentsOnly) {
    startOnNewDefinition();
    selectEntry(page().ChklistCombo, "; rm -rf ~");
    RunScan(*form);
    const QString line = toolkit + "WFindV32.exe /AD /NOPACK /BEEP /C=\"; rm -rf ~.lst\"";
    ASSERT_EQ(starter.commandLines, QStringList{line});
    // Split as the real starter splits it, before its posix_spawn: the scanner is the program
    // and the shell's syntax is plain argument text, the whole name one argument.
    const SplitCommand split = SplitCommandLine(line);
    EXPECT_EQ(split.program, toolkit + "WFindV32.exe");
    EXPECT_EQ(split.arguments, QStringList({"/AD", "/NOPACK", "/BEEP", "/C=; rm -rf ~.lst"}));
}

struct RefusalRow {
    const char* what;
    PageSetup setup;
    QStringList messages; // what the user is told, general error boxes included
};

TEST_F(FindPageTest, RefusedRunsSaveTheDefinitionAndStartNothing) {
    const RefusalRow rows[] = {
        {"empty drive edit",
         [](Ui::FindSheet& p) { p.RadBtnFindDef->setChecked(true); },
         {"You must select drive(s) to scan."}},
        {"drive not ready",
         [](Ui::FindSheet& p) { DefinedDrives(p, "cq"); },
         {"The following drives you have chosen\rare not ready or are not valid:\r\r Q"}},
        {"not a drive letter",
         [](Ui::FindSheet& p) { DefinedDrives(p, "1"); },
         {"Not a valid drive ID."}},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.what);
        prompts.clear();
        startOnNewDefinition();
        row.setup(page());
        page().SBtnScan->click();
        EXPECT_EQ(prompts.texts(), row.messages);
        EXPECT_TRUE(starter.commandLines.isEmpty());
        EXPECT_EQ(page().LabLastScanDate->text(), "Today at 3:05pm");
        EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "LastScan"),
                  DateTimeText(ToDateTime(clock)));
    }
    EXPECT_EQ(prompts.messages.front().kind, MessageKind::Error);
}

TEST_F(FindPageTest, RunWithoutDefinitionTellsWhyAndSavesNothing) {
    start();
    page().SBtnScan->click();
    page().ScanCombo->addItem("Daily");
    page().ScanCombo->setCurrentIndex(-1);
    page().SBtnScan->click();
    EXPECT_EQ(prompts.texts(),
              QStringList({"There are no definitions for this operation.\rClick the add button "
                           "to create one.",
                           "You must select a definition for this operation."}));
    EXPECT_EQ(prompts.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(page().LabLastScanDate->text(), "Today at 3:05pm");
    EXPECT_TRUE(starter.commandLines.isEmpty());
    EXPECT_FALSE(stored(RootKey::CurrentUser, DailyKey, "LastScan"));
}

TEST_F(FindPageTest, OnlyAMissingScannerIsReported) {
    for (const int result : {StartResult::FileNotFound, StartResult::PathNotFound,
                             StartResult::BadFormat, StartResult::OutOfResources, 33}) {
        SCOPED_TRACE(result);
        prompts.clear();
        starter.result = result;
        startOnNewDefinition();
        page().SBtnScan->click();
        EXPECT_EQ(starter.commandLines.size(), 1);
        starter.commandLines.clear();
        if (result == StartResult::FileNotFound) {
            ASSERT_EQ(prompts.texts(), QStringList{"FindVirus not found."});
            EXPECT_EQ(prompts.messages[0].kind, MessageKind::Warning);
        } else {
            EXPECT_EQ(prompts.texts(), QStringList());
        }
    }
}

// ---- The drive edit

struct TypingRow {
    const char* before;
    int caret;
    const char* typed;
    const char* after;
    int caretAfter;
};

TEST_F(FindPageTest, DriveEditKeepsDriveLettersWhileTyping) {
    const TypingRow rows[] = {
        {"C", 1, "c", "C", 1},    {"CD", 2, "1", "CD", 2}, {"CD", 1, ":", "CD", 1},
        {"CE", 1, "d", "CdE", 2}, {"", 0, "aBa", "aB", 2}, {"", 0, "1", "1", 1},
    };
    start();
    QLineEdit* edit = page().EditFindDrives;
    for (const TypingRow& row : rows) {
        SCOPED_TRACE(std::string(row.before) + " + " + row.typed);
        edit->setText(row.before);
        edit->setCursorPosition(row.caret);
        QTest::keyClicks(edit, row.typed);
        EXPECT_EQ(edit->text(), row.after);
        EXPECT_EQ(edit->cursorPosition(), row.caretAfter);
    }
}

TEST_F(FindPageTest, LoadedDriveTextLosesOnlyItsNonLetters) {
    const std::pair<const char*, const char*> rows[] = {
        {"c1:d", "cd"}, {"AaB", "AaB"}, {"local", "local"}, {"1", "1"}, {"C;D", "CD"}};
    for (const auto& [text, shown] : rows) {
        SCOPED_TRACE(text);
        startOnStored({{"Drives", text}});
        EXPECT_TRUE(page().RadBtnFindDef->isChecked());
        EXPECT_EQ(page().EditFindDrives->text(), shown);
    }
}

TEST_F(FindPageTest, MultipleFloppiesFollowsTheDriveText) {
    start();
    QCheckBox* floppies = page().ChkBoxFloppies;
    for (const auto& [text, enabled] :
         {std::pair{"ab", true}, {"A", true}, {"xyzB", true}, {"cd", false}, {"", false}}) {
        SCOPED_TRACE(text);
        page().EditFindDrives->setText(text);
        EXPECT_EQ(floppies->isEnabled(), enabled);
        UpdateFloppiesOption(text, floppies);
        EXPECT_EQ(floppies->isEnabled(), enabled);
    }
    floppies->setChecked(true);
    page().EditFindDrives->setText("a");
    page().EditFindDrives->setText("c");
    EXPECT_TRUE(floppies->isChecked()) << "the option keeps its state while disabled";
}

// ---- Loading and saving

TEST_F(FindPageTest, DefinitionWithOnlyItsDateLoadsTheDefaults) {
    startOnStored({{"LastScan", "35710.6409722222"}});
    const Ui::FindSheet& p = page();
    EXPECT_TRUE(p.RadBtnFindDef->isChecked());
    EXPECT_EQ(p.EditFindDrives->text(), "");
    for (QCheckBox* box : {p.ChkBoxExe, p.ChkBoxBoot, p.ChkBoxPart, p.ChkBoxMem, p.ChkBoxBeep})
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    for (QCheckBox* box :
         {p.ChkBoxData, p.ChkBoxZIP, p.ChkBoxPK, p.ChkBoxFloppies, p.ChkBoxError, p.ChkBoxProgramH,
          p.ChkBoxMacroH, p.ChkBoxAutoExit, p.ChkBoxPrevent, p.ChkBoxDetail, p.ChkBoxFindReport,
          p.ChkBoxAppReport, p.ChkBoxFindPrint})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(p.ChklistCombo->currentText(), "(None)");
    EXPECT_EQ(p.DrvCombo->currentText(), "(None)");
    EXPECT_DOUBLE_EQ(form->LastScanTime, 35710.6409722222);
    EXPECT_EQ(p.LabLastScanDate->text(), "Last Tuesday at 3:23pm");
}

TEST_F(FindPageTest, OnlyTheExactCaptionsChooseAllOrLocal) {
    const struct {
        const char* stored;
        QRadioButton* Ui::FindSheet::*radio;
        const char* edit;
    } rows[] = {
        {"All", &Ui::FindSheet::RadBtnFindAll, ""},
        {"Local", &Ui::FindSheet::RadBtnFindLocal, ""},
        {"local", &Ui::FindSheet::RadBtnFindDef, "local"},
        {"ALL", &Ui::FindSheet::RadBtnFindDef, "ALL"},
        {"", &Ui::FindSheet::RadBtnFindDef, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        startOnStored({{"Drives", row.stored}});
        EXPECT_TRUE((page().*row.radio)->isChecked());
        EXPECT_EQ(page().EditFindDrives->text(), row.edit);
        SaveScanDefinition(*form);
        EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "Drives"), row.stored);
    }
}

TEST_F(FindPageTest, UnreadableValuesReadAsTheirDefaults) {
    startOnStored({{"Exe", "yes"},
                   {"Data", "zz"},
                   {"Beep", ""},
                   {"MemCheck", "$0"},
                   {"Boot", "0x0"},
                   {"Floppies", " -2"},
                   {"Detail", "0x"},
                   {"LastScan", "yesterday"},
                   {"CheckList", "gone"},
                   {"Extra Drv", "EXTRA"}});
    const Ui::FindSheet& p = page();
    EXPECT_TRUE(p.ChkBoxExe->isChecked());
    EXPECT_FALSE(p.ChkBoxData->isChecked());
    EXPECT_TRUE(p.ChkBoxBeep->isChecked());
    EXPECT_FALSE(p.ChkBoxMem->isChecked());
    EXPECT_FALSE(p.ChkBoxBoot->isChecked());
    EXPECT_FALSE(p.ChkBoxPart->isEnabled());
    EXPECT_TRUE(p.ChkBoxFloppies->isChecked());
    EXPECT_FALSE(p.ChkBoxDetail->isChecked());
    EXPECT_EQ(form->LastScanTime, 0);
    EXPECT_EQ(p.LabLastScanDate->text(), "Unknown.");
    EXPECT_EQ(p.ChklistCombo->currentText(), "(None)");
    EXPECT_EQ(p.DrvCombo->currentText(), "extra");
    SaveScanDefinition(*form);
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "CheckList"), "(None)");
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "LastScan"), "0");
}

TEST_F(FindPageTest, LegacyHeuristicsSwitchIsReadOnceAndDropped) {
    startOnStored({{"AHA", "1"}});
    EXPECT_TRUE(page().ChkBoxProgramH->isChecked());
    EXPECT_TRUE(page().ChkBoxMacroH->isChecked());
    EXPECT_FALSE(stored(RootKey::CurrentUser, DailyKey, "AHA"));
    SaveScanDefinition(*form);
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "PrgH"), "1");
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "MacH"), "1");
    EXPECT_FALSE(stored(RootKey::CurrentUser, DailyKey, "AHA"));
}

TEST_F(FindPageTest, SaveWritesEveryValueInItsOrder) {
    startOnNewDefinition();
    page().ChkBoxData->setChecked(true);
    page().ChkBoxExe->setChecked(false);
    EXPECT_FALSE(page().ChkBoxData->isEnabled());
    SaveScanDefinition(*form);
    auto store = openStore();
    store->setRootKey(RootKey::CurrentUser);
    ASSERT_TRUE(store->openKey(DailyKey, false));
    EXPECT_EQ(
        store->getValueNames(),
        QStringList({"Drives",      "Exe",      "Data",     "Archives",  "Compressed", "Boot",
                     "Partition",   "MemCheck", "Floppies", "Beep",      "PrgH",       "MacH",
                     "PreventExit", "Exit",     "ExtErr",   "CheckList", "Extra Drv",  "Detail",
                     "Report",      "+Report",  "Print",    "LastScan"}));
    EXPECT_EQ(store->readString("Drives"), "All");
    EXPECT_EQ(store->readString("Exe"), "0");
    EXPECT_EQ(store->readString("Data"), "1") << "a disabled box is saved as it is checked";
    EXPECT_EQ(store->readString("LastScan"), "0");
    store->closeKey();
}

TEST_F(FindPageTest, SavedPageLoadsBackAsItWas) {
    startOnNewDefinition();
    Ui::FindSheet& p = page();
    DefinedDrives(p, "cDa");
    for (QCheckBox* box : {p.ChkBoxZIP, p.ChkBoxFloppies, p.ChkBoxMacroH, p.ChkBoxPrevent,
                           p.ChkBoxFindReport, p.ChkBoxAppReport})
        box->setChecked(true);
    for (QCheckBox* box : {p.ChkBoxBoot, p.ChkBoxBeep})
        box->setChecked(false);
    selectEntry(p.ChklistCombo, "mine");
    form->LastScanTime = 35710.6409722222;
    QList<bool> checked, enabled;
    for (QCheckBox* box : p.GrpBoxFindDrv->parentWidget()->findChildren<QCheckBox*>()) {
        checked << box->isChecked();
        enabled << box->isEnabled();
    }
    SaveScanDefinition(*form);

    startOnStored({});
    Ui::FindSheet& q = page();
    EXPECT_TRUE(q.RadBtnFindDef->isChecked());
    EXPECT_EQ(q.EditFindDrives->text(), "cDa");
    const QList<QCheckBox*> loaded = q.GrpBoxFindDrv->parentWidget()->findChildren<QCheckBox*>();
    ASSERT_EQ(loaded.size(), checked.size());
    for (int i = 0; i < loaded.size(); ++i) {
        EXPECT_EQ(loaded[i]->isChecked(), checked[i]) << loaded[i]->objectName().toStdString();
        EXPECT_EQ(loaded[i]->isEnabled(), enabled[i]) << loaded[i]->objectName().toStdString();
    }
    EXPECT_EQ(q.ChklistCombo->currentText(), "mine");
    EXPECT_DOUBLE_EQ(form->LastScanTime, 35710.6409722222);
}

TEST_F(FindPageTest, VanishedDefinitionIsReportedAndLeavesThePage) {
    startOnStored({{"Drives", "Local"}, {"LastScan", "35710.6409722222"}});
    auto store = openStore();
    store->setRootKey(RootKey::CurrentUser);
    ASSERT_TRUE(store->deleteKey(DailyKey));
    page().ChkBoxMem->setChecked(false);
    ScanComboChange(*form);
    EXPECT_EQ(prompts.texts(), QStringList{"Information for this definition not found.\r\r"
                                           "Choose your settings and they will be saved."});
    EXPECT_TRUE(page().RadBtnFindLocal->isChecked());
    EXPECT_FALSE(page().ChkBoxMem->isChecked());
    EXPECT_DOUBLE_EQ(form->LastScanTime, 35710.6409722222);
    ScanComboDropDown(*form);
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "MemCheck"), "0");
}

TEST_F(FindPageTest, OpeningTheListSavesAndChoosingLoads) {
    seed(RootKey::CurrentUser, FindKey + "\\Weekly", {{"Drives", "Local"}, {"Beep", "0"}});
    startOnStored({{"Drives", "All"}});
    page().ChkBoxError->setChecked(true);
    page().ScanCombo->showPopup();
    page().ScanCombo->hidePopup();
    EXPECT_EQ(stored(RootKey::CurrentUser, DailyKey, "ExtErr"), "1");
    page().ScanCombo->setCurrentIndex(FindComboEntry(page().ScanCombo, "Weekly"));
    Q_EMIT page().ScanCombo->activated(page().ScanCombo->currentIndex());
    EXPECT_TRUE(page().RadBtnFindLocal->isChecked());
    EXPECT_FALSE(page().ChkBoxBeep->isChecked());
    EXPECT_FALSE(page().ChkBoxError->isChecked());
    EXPECT_EQ(page().LabLastScanDate->text(), "Unknown.");
}

TEST_F(FindPageTest, ToolkitListsAreRebuiltWhenTheyOpen) {
    startOnNewDefinition();
    selectEntry(page().ChklistCombo, "mine");
    prefix.writeFile("toolkit/later.lst", {});
    page().ChklistCombo->showPopup();
    page().ChklistCombo->hidePopup();
    EXPECT_EQ(page().ChklistCombo->currentText(), "(None)");
    EXPECT_GE(FindComboEntry(page().ChklistCombo, "later"), 0);
    prefix.writeFile("toolkit/more.drv", {});
    page().DrvCombo->showPopup();
    page().DrvCombo->hidePopup();
    EXPECT_GE(FindComboEntry(page().DrvCombo, "more"), 0);
}

} // namespace
