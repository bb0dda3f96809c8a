#include "support/FormFixture.h"

#include "core/GuardFile.h"
#include "guard/WinGuard.h"
#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <map>

namespace {

const QString GuardKey = "Software\\Tesmarine\\Vallorin\\Guard";
const QString DriverKey = "System\\CurrentControlSet\\Services\\VXD\\WinGuard";
const QString RunServices = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const QString RestartText =
    "Your new WinGuard settings will take effect the\rnext time you restart Windows.";
const QByteArray FlagOn("\x01\x00\x00\x00", 4);

// A value as the tests compare it: "S:text" for a text, "X:" expandable, "B:hex", "D:number".
using Values = std::map<QString, QString>;

QString Binary(const QByteArray& data) {
    return "B:" + QString::fromLatin1(data.toHex());
}

struct Typed {
    QString name;
    ValueType type;
    QByteArray data; // the text itself (UTF-8) for String and ExpandString
};

} // namespace

class WinGuardTest : public FormFixture {
protected:
    // Every value of a key, under the spelling it was created with; empty when there is no key.
    Values values(RootKey root, const QString& key) const {
        auto store = openStore();
        store->setRootKey(root);
        Values all;
        if (!store->openKey(key, false))
            return all;
        for (const QString& name : store->getValueNames()) {
            switch (store->valueType(name)) {
            case ValueType::String:
                all[name] = "S:" + store->readString(name);
                break;
            case ValueType::ExpandString:
                all[name] = "X:" + store->readString(name);
                break;
            case ValueType::DWord:
                all[name] = "D:" + QString::number(store->readInteger(name));
                break;
            default:
                all[name] = Binary(store->readBinary(name));
            }
        }
        store->closeKey();
        return all;
    }
    bool keyExists(RootKey root, const QString& key) const {
        auto store = openStore();
        store->setRootKey(root);
        return store->keyExists(key);
    }
    void put(RootKey root, const QString& key, const QList<Typed>& typed) {
        auto store = openStore();
        store->setRootKey(root);
        store->openKey(key, true);
        for (const Typed& v : typed) {
            if (v.type == ValueType::String)
                store->writeString(v.name, QString::fromUtf8(v.data));
            else if (v.type == ValueType::ExpandString)
                store->writeExpandString(v.name, QString::fromUtf8(v.data));
            else
                store->writeRaw(v.name, v.type, v.data);
        }
        store->closeKey();
    }
    // An installed guard: a driver key with the values given.
    void install(const QList<QPair<QString, QString>>& texts = {}) {
        seed(RootKey::LocalMachine, DriverKey, texts);
        seed(RootKey::LocalMachine, RunServices, {{"WinGuard", "WGFE95.EXE"}});
    }
    Ui::GuardSheet& g() { return form->Guard; }
    int restartNotices() const { return int(prompts.texts().count(RestartText)); }
};

// ---- Reading

TEST_F(WinGuardTest, FirstStartKeepsTheFormDefaults) {
    start();
    EXPECT_TRUE(g().RadBtnAll->isChecked());
    EXPECT_EQ(g().EditWinsock->text(), "WSOCK32.DLL");
    for (QCheckBox* box : {g().ChkBoxEnable, g().ChkBoxWrite, g().ChkBoxAll, g().ChkBoxOLE,
                           g().ChkBoxProgH, g().ChkBoxWordH, g().ChkBoxDOS, g().ChkBoxRepair,
                           g().ChkBoxPrompt, g().ChkBoxGuardX, g().ChkBoxLog, g().ChkBoxNet})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_TRUE(g().EditGuardDrv->text().isEmpty());
    EXPECT_TRUE(g().EditLog->text().isEmpty());
    EXPECT_FALSE(g().SBtnSave->isEnabled());
    EXPECT_FALSE(g().SBtnApply->isEnabled());
    EXPECT_FALSE(form->RestartNotice);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(WinGuardTest, StoredValuesReadIntoThePage) {
    struct Row {
        const char* name;
        QList<Typed> stored; // in the driver key of an installed guard
        std::function<void(Ui::GuardSheet&)> check;
    };
    const Row rows[] = {
        {"a zero flag reads as on",
         {{"writes", ValueType::Binary, QByteArray(4, '\0')}},
         [](auto& p) { EXPECT_TRUE(p.ChkBoxWrite->isChecked()); }},
        {"a flag of another type reads as on",
         {{"Close", ValueType::DWord, QByteArray(4, '\0')},
          {"NormalHeuristics", ValueType::String, "0"},
          {"macroheuristics", ValueType::Binary, {}}},
         [](auto& p) {
             EXPECT_TRUE(p.ChkBoxDOS->isChecked());
             EXPECT_TRUE(p.ChkBoxProgH->isChecked());
             EXPECT_TRUE(p.ChkBoxWordH->isChecked());
         }},
        {"allfiles true in small letters",
         {{"allfiles", ValueType::String, "true"}},
         [](auto& p) {
             EXPECT_TRUE(p.ChkBoxAll->isChecked());
             EXPECT_FALSE(p.ChkBoxOLE->isChecked());
             EXPECT_FALSE(p.ChkBoxOLE->isEnabled());
         }},
        {"allfiles of any other text is OLE",
         {{"AllFiles", ValueType::String, "whatever"}},
         [](auto& p) {
             EXPECT_FALSE(p.ChkBoxAll->isChecked());
             EXPECT_TRUE(p.ChkBoxOLE->isChecked());
         }},
        {"a text name stored as binary reads as absent",
         {{"AllFiles", ValueType::Binary, FlagOn}, {"Drives", ValueType::DWord, FlagOn}},
         [](auto& p) {
             EXPECT_FALSE(p.ChkBoxAll->isChecked());
             EXPECT_FALSE(p.ChkBoxOLE->isChecked());
             EXPECT_TRUE(p.RadBtnAll->isChecked());
         }},
        {"remote in capitals",
         {{"drives", ValueType::String, "REMOTE"}},
         [](auto& p) { EXPECT_TRUE(p.RadBtnNetwork->isChecked()); }},
        {"floppy",
         {{"drives", ValueType::String, "Floppy"}},
         [](auto& p) { EXPECT_TRUE(p.RadBtnFloppies->isChecked()); }},
        {"local",
         {{"drives", ValueType::String, "local"}},
         [](auto& p) { EXPECT_TRUE(p.RadBtnLocal->isChecked()); }},
        {"an empty drives text is an empty defined list",
         {{"drives", ValueType::String, ""}},
         [](auto& p) {
             EXPECT_TRUE(p.RadBtnDef->isChecked());
             EXPECT_EQ(p.EditGuardDrv->text(), "");
         }},
        {"a defined list keeps its letters and loses the rest",
         {{"drives", ValueType::String, "c:D"}},
         [](auto& p) {
             EXPECT_TRUE(p.RadBtnDef->isChecked());
             EXPECT_EQ(p.EditGuardDrv->text(), "cD");
         }},
        {"a defined list longer than the edit's typing limit keeps every letter",
         {{"drives", ValueType::String, "c:;d:;e:;f:;g:;h:;i:;j:;k:;l:"}},
         [](auto& p) {
             EXPECT_EQ(p.EditGuardDrv->text(), "cdefghijkl");
             EXPECT_EQ(p.EditGuardDrv->maxLength(), 26) << "typing keeps its limit";
         }},
        {"repair prompt",
         {{"repair", ValueType::String, "prompt"}},
         [](auto& p) {
             EXPECT_TRUE(p.ChkBoxRepair->isChecked());
             EXPECT_TRUE(p.ChkBoxPrompt->isChecked());
         }},
        {"repair without prompt",
         {{"Repair", ValueType::String, "TRUE"}},
         [](auto& p) {
             EXPECT_TRUE(p.ChkBoxRepair->isChecked());
             EXPECT_FALSE(p.ChkBoxPrompt->isChecked());
         }},
        {"driver key text options switch their boxes on",
         {{"extra", ValueType::String, "x.drv"},
          {"long_logfilename", ValueType::String, "g.log"},
          {"winsock", ValueType::String, "ws.dll"}},
         [](auto& p) {
             EXPECT_TRUE(p.ChkBoxGuardX->isChecked());
             EXPECT_EQ(p.EditGuardX->text(), "x.drv");
             EXPECT_TRUE(p.ChkBoxLog->isChecked());
             EXPECT_EQ(p.EditLog->text(), "g.log");
             EXPECT_TRUE(p.ChkBoxNet->isChecked());
             EXPECT_EQ(p.EditWinsock->text(), "ws.dll");
             EXPECT_TRUE(p.EditWinsock->isEnabled());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        install();
        put(RootKey::LocalMachine, DriverKey, row.stored);
        start();
        EXPECT_TRUE(g().ChkBoxEnable->isChecked());
        EXPECT_TRUE(g().SBtnSave->isEnabled());
        EXPECT_FALSE(g().SBtnApply->isEnabled());
        row.check(g());
    }
}

TEST_F(WinGuardTest, TheDriverKeyDecidesAndTheGuardKeyKeepsTextsOfOptionsThatAreOff) {
    seed(RootKey::CurrentUser, GuardKey,
         {{"UseLog", "1"},
          {"Long_logfilename", "old.log"},
          {"extra", "x.drv"},
          {"UseDrv", "1"},
          {"winsock", "mine.dll"},
          {"drives", "floppy"}});
    put(RootKey::CurrentUser, GuardKey, {{"writes", ValueType::Binary, FlagOn}});
    install({{"long_logfilename", "new.log"}});
    start();
    EXPECT_FALSE(g().ChkBoxWrite->isChecked());
    EXPECT_TRUE(g().RadBtnAll->isChecked());
    EXPECT_TRUE(g().ChkBoxLog->isChecked());
    EXPECT_EQ(g().EditLog->text(), "new.log");
    EXPECT_FALSE(g().ChkBoxGuardX->isChecked());
    EXPECT_EQ(g().EditGuardX->text(), "x.drv");
    EXPECT_EQ(g().EditWinsock->text(), "mine.dll");
    EXPECT_FALSE(g().EditWinsock->isEnabled());
}

// ---- Writing

TEST_F(WinGuardTest, ApplyWritesEachEncodingInItsSpelling) {
    install();
    put(RootKey::LocalMachine, DriverKey,
        {{"Writes", ValueType::DWord, QByteArray("\x05\0\0\0", 4)}});
    start();
    g().ChkBoxWrite->setChecked(true); // already present: left as it is
    g().ChkBoxProgH->setChecked(true);
    g().ChkBoxAll->setChecked(true);
    g().ChkBoxOLE->setChecked(true);
    g().ChkBoxRepair->setChecked(true);
    g().RadBtnDef->setChecked(true);
    g().ChkBoxLog->setChecked(false);
    g().EditLog->setText("guard.log");
    g().ChkBoxNet->setChecked(true);
    g().EditWinsock->setText("");
    SBtnApplyClick(*form);

    EXPECT_EQ(values(RootKey::LocalMachine, DriverKey),
              (Values{{"Writes", "D:5"},
                      {"NormalHeuristics", Binary(FlagOn)},
                      {"allfiles", "S:True"},
                      {"repair", "S:True"},
                      {"drives", "S:"}}));
    EXPECT_EQ(values(RootKey::CurrentUser, GuardKey),
              (Values{{"writes", Binary(FlagOn)},
                      {"NormalHeuristics", Binary(FlagOn)},
                      {"allfiles", "S:True"},
                      {"repair", "S:True"},
                      {"drives", "S:"},
                      {"UseLog", "S:0"},
                      {"logfile", "S:guard.log"},
                      {"long_logfilename", "S:guard.log"}}));

    // Switched off again: every value goes, the prompt and OLE choices write their own texts.
    g().ChkBoxWrite->setChecked(false);
    g().ChkBoxProgH->setChecked(false);
    g().ChkBoxAll->setChecked(false);
    g().ChkBoxPrompt->setChecked(true);
    g().RadBtnLocal->setChecked(true);
    g().EditLog->setText("");
    SBtnApplyClick(*form);
    EXPECT_EQ(values(RootKey::LocalMachine, DriverKey),
              (Values{{"allfiles", "S:OLE"}, {"repair", "S:PROMPT"}, {"drives", "S:local"}}));
    EXPECT_EQ(values(RootKey::CurrentUser, GuardKey),
              (Values{{"allfiles", "S:OLE"}, {"repair", "S:PROMPT"}, {"drives", "S:local"}}));
}

TEST_F(WinGuardTest, ApplyInstallsRemovesOrRewritesTheGuard) {
    struct Row {
        const char* name;
        bool installed;
        bool enable;
        bool driverKeyAfter;
        std::optional<QString> startEntry;
        bool guardKeyWritten;
        bool saveEnabled;
        bool applyEnabled;
    };
    const Row rows[] = {
        {"installed, switched off", true, false, false, std::nullopt, true, false, false},
        {"not installed, switched on", false, true, true, "toolkit/WGFE95.EXE", false, true, false},
        {"installed, left on", true, true, true, "WGFE95.EXE", true, true, false},
        {"not installed, left off", false, false, false, std::nullopt, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        const QString toolkit = installToolkit({});
        if (row.installed)
            install();
        start();
        g().ChkBoxEnable->setChecked(row.enable);
        g().ChkBoxDOS->setChecked(true);
        prompts.clear();
        SBtnApplyClick(*form);

        EXPECT_EQ(keyExists(RootKey::LocalMachine, DriverKey), row.driverKeyAfter);
        QString entry = stored(RootKey::LocalMachine, RunServices, "WinGuard").value_or("-");
        entry.replace(toolkit, "toolkit/");
        EXPECT_EQ(entry, row.startEntry.value_or("-"));
        EXPECT_EQ(keyExists(RootKey::CurrentUser, GuardKey), row.guardKeyWritten);
        if (row.driverKeyAfter) {
            EXPECT_EQ(values(RootKey::LocalMachine, DriverKey).at("close"), Binary(FlagOn));
        }
        if (row.guardKeyWritten) {
            EXPECT_EQ(values(RootKey::CurrentUser, GuardKey).at("close"), Binary(FlagOn));
        }
        EXPECT_EQ(g().SBtnSave->isEnabled(), row.saveEnabled);
        EXPECT_EQ(g().SBtnApply->isEnabled(), row.applyEnabled);
        EXPECT_EQ(restartNotices(), row.applyEnabled ? 0 : 1);
        EXPECT_EQ(form->RestartNotice, row.applyEnabled);
    }
}

TEST_F(WinGuardTest, InstallingWritesDriverMessagesAndCreatesTheStartKey) {
    const QString toolkit = installToolkit({});
    seed(RootKey::CurrentUser, GuardKey, {{"BOOTALERT", "Boot!"}, {"FILEREPAIR", ""}});
    start();
    ASSERT_FALSE(keyExists(RootKey::LocalMachine, RunServices));
    g().ChkBoxEnable->setChecked(true);
    SBtnApplyClick(*form);
    EXPECT_EQ(values(RootKey::LocalMachine, DriverKey),
              (Values{{"StaticVxD", "S:" + toolkit + "WINGRD95.386"},
                      {"FILEALERT", "S:File <file> is infected with the <virus> virus!!!"},
                      {"BOOTALERT", "S:Boot!"},
                      {"FILEREPAIR", "S:"},
                      {"BOOTREPAIR", "S:The <virus> virus has been removed from disk <disk>!!!"}}));
    EXPECT_EQ(stored(RootKey::LocalMachine, RunServices, "WinGuard"), toolkit + "WGFE95.EXE");
}

TEST_F(WinGuardTest, WithoutAToolkitFolderTheDriverIsABareName) {
    start();
    ASSERT_TRUE(form->ToolkitFolder.isEmpty());
    g().ChkBoxEnable->setChecked(true);
    SBtnApplyClick(*form);
    EXPECT_EQ(stored(RootKey::LocalMachine, DriverKey, "StaticVxD"), "WINGRD95.386");
    EXPECT_EQ(stored(RootKey::LocalMachine, RunServices, "WinGuard"), "WGFE95.EXE");
}

TEST_F(WinGuardTest, AVanishedDriverKeyIsReportedAndNotCreatedAgain) {
    install();
    start();
    g().ChkBoxWrite->setChecked(true);
    {
        // The driver key vanishes after the page was loaded.
        auto store = openStore();
        store->setRootKey(RootKey::LocalMachine);
        store->deleteKey(DriverKey);
    }
    prompts.clear();
    WriteGuardSettings(*form, RootKey::LocalMachine, DriverKey);
    EXPECT_EQ(prompts.texts(), QStringList{"Could not open Registry key."});
    EXPECT_FALSE(keyExists(RootKey::LocalMachine, DriverKey));
}

// ---- Change tracking

TEST_F(WinGuardTest, EnablingRulesFollowTheirBoxes) {
    start();
    g().ChkBoxOLE->setChecked(true);
    g().ChkBoxAll->setChecked(true);
    EXPECT_FALSE(g().ChkBoxOLE->isEnabled());
    EXPECT_TRUE(g().ChkBoxOLE->isChecked());
    g().ChkBoxRepair->setChecked(true);
    g().ChkBoxPrompt->setChecked(true);
    g().ChkBoxRepair->setChecked(false);
    EXPECT_FALSE(g().ChkBoxPrompt->isEnabled());
    EXPECT_TRUE(g().ChkBoxPrompt->isChecked());
    g().ChkBoxNet->setChecked(true);
    EXPECT_TRUE(g().EditWinsock->isEnabled());
    g().ChkBoxNet->setChecked(false);
    EXPECT_FALSE(g().EditWinsock->isEnabled());
    EXPECT_TRUE(g().SBtnApply->isEnabled());
    EXPECT_TRUE(form->RestartNotice);
}

TEST_F(WinGuardTest, EditsEnableApplyAndOnlyAFilteredDriveEditSetsTheNotice) {
    struct Row {
        const char* name;
        QLineEdit* Ui::GuardSheet::*edit;
        QString typed;
        QString text;
        bool notice;
    };
    const Row rows[] = {
        {"a kept drive letter", &Ui::GuardSheet::EditGuardDrv, "cd", "cd", false},
        {"a lone digit stays", &Ui::GuardSheet::EditGuardDrv, "1", "1", false},
        {"a digit the filter drops", &Ui::GuardSheet::EditGuardDrv, "c1", "c", true},
        {"a digit after two letters", &Ui::GuardSheet::EditGuardDrv, "cd1", "cd", true},
        {"a repeated letter", &Ui::GuardSheet::EditGuardDrv, "cdC", "cd", true},
        {"the log file", &Ui::GuardSheet::EditLog, "a1", "a1", false},
        {"the extra driver", &Ui::GuardSheet::EditGuardX, "x", "x", false},
        {"the network library", &Ui::GuardSheet::EditWinsock, "x", "WSOCK32.DLLx", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        start();
        QLineEdit* edit = g().*row.edit;
        edit->setEnabled(true);
        edit->end(false);
        QTest::keyClicks(edit, row.typed);
        EXPECT_EQ(edit->text(), row.text);
        EXPECT_TRUE(g().SBtnApply->isEnabled());
        EXPECT_EQ(form->RestartNotice, row.notice);
    }
}

TEST_F(WinGuardTest, OnlyAnEditedTextAppliesWithoutNoticeUnlessAReloadChangedAState) {
    install({{"drives", "floppy"}, {"long_logfilename", "a.log"}});
    start();
    // A tab visit that finds nothing changed leaves the notice clear...
    form->Main.PageControl->setCurrentWidget(form->Main.ViewSheet);
    form->Main.PageControl->setCurrentWidget(form->Main.GuardSheet);
    EXPECT_FALSE(form->RestartNotice);
    g().EditLog->setText("b.log");
    SBtnApplyClick(*form);
    EXPECT_EQ(restartNotices(), 0);
    EXPECT_EQ(stored(RootKey::LocalMachine, DriverKey, "long_logfilename"), "b.log");
    EXPECT_EQ(stored(RootKey::CurrentUser, GuardKey, "long_logfilename"), "b.log");
    EXPECT_FALSE(g().SBtnApply->isEnabled());

    // ...one that finds a state changed outside the program keeps it for the next apply.
    put(RootKey::LocalMachine, DriverKey, {{"writes", ValueType::Binary, FlagOn}});
    form->Main.PageControl->setCurrentWidget(form->Main.ViewSheet);
    form->Main.PageControl->setCurrentWidget(form->Main.GuardSheet);
    EXPECT_TRUE(g().ChkBoxWrite->isChecked());
    EXPECT_FALSE(g().SBtnApply->isEnabled());
    g().EditLog->setText("c.log");
    SBtnApplyClick(*form);
    EXPECT_EQ(restartNotices(), 1);
    EXPECT_FALSE(form->RestartNotice);
}

TEST_F(WinGuardTest, TabVisitsKeepPendingEditsAndReloadOtherwise) {
    install({{"long_logfilename", "stored.log"}});
    start();
    g().EditLog->setText("pending.log");
    form->Main.PageControl->setCurrentWidget(form->Main.FindSheet);
    form->Main.PageControl->setCurrentWidget(form->Main.GuardSheet);
    EXPECT_EQ(g().EditLog->text(), "pending.log");
    EXPECT_TRUE(g().SBtnApply->isEnabled());

    SBtnRestoreClick(*form);
    EXPECT_EQ(g().EditLog->text(), "stored.log");
    seed(RootKey::LocalMachine, DriverKey, {{"long_logfilename", "outside.log"}});
    form->Main.PageControl->setCurrentWidget(form->Main.FindSheet);
    form->Main.PageControl->setCurrentWidget(form->Main.GuardSheet);
    EXPECT_EQ(g().EditLog->text(), "outside.log");
    EXPECT_FALSE(g().SBtnApply->isEnabled());
}

TEST_F(WinGuardTest, RestoreWithNothingStoredKeepsTheUsersEntries) {
    start();
    g().EditGuardX->setText("mine.drv");
    g().ChkBoxEnable->setChecked(true);
    SBtnRestoreClick(*form);
    EXPECT_EQ(g().EditGuardX->text(), "mine.drv");
    EXPECT_FALSE(g().ChkBoxEnable->isChecked());
    EXPECT_FALSE(g().SBtnSave->isEnabled());
    EXPECT_FALSE(g().SBtnApply->isEnabled());
}

// ---- Closing

TEST_F(WinGuardTest, TheCloseQuestionAppliesDiscardsOrKeepsTheWindow) {
    struct Row {
        const char* name;
        MessageAnswer answer;
        bool closes;
        bool applied;
    };
    const Row rows[] = {
        {"yes", MessageAnswer::Yes, true, true},
        {"no", MessageAnswer::No, true, false},
        {"cancel", MessageAnswer::Cancel, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        install();
        start();
        g().ChkBoxDOS->setChecked(true);
        form->Main.PageControl->setCurrentWidget(form->Main.FindSheet);
        prompts.answers = {row.answer};
        EXPECT_EQ(closeForm(), row.closes);
        EXPECT_EQ(values(RootKey::LocalMachine, DriverKey).count("close"), row.applied ? 1 : 0);
        // The other pages are saved whenever the window closes.
        EXPECT_EQ(stored(RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin\\Find", "Selected")
                      .has_value(),
                  row.closes);
        if (!row.closes) {
            EXPECT_EQ(form->Main.PageControl->currentWidget(), form->Main.GuardSheet);
        }
    }
}

TEST_F(WinGuardTest, YesWithNothingToApplyClosesWithoutWriting) {
    start();
    g().ChkBoxDOS->setChecked(true);
    prompts.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(closeForm());
    EXPECT_FALSE(keyExists(RootKey::CurrentUser, GuardKey));
    EXPECT_FALSE(keyExists(RootKey::LocalMachine, DriverKey));
}

// ---- Settings files

TEST_F(WinGuardTest, SettingsFileLinesParse) {
    struct Row {
        const char* name;
        QString text;
        QList<GuardFileEntry> entries;
    };
    const Row rows[] = {
        {"empty", "", {}},
        {"CR LF, lone CR, lone LF and no last terminator",
         "a=1\r\nb=2\rc=3\nd=4",
         {{"a", "1", false}, {"b", "2", false}, {"c", "3", false}, {"d", "4", false}}},
        {"an empty line before the end", "a=1\r\n\r\n", {{"a", "1", false}, {"", "", false}}},
        {"LF CR is two line ends", "a=1\n\rb=2", {{"a", "1"}, {"", ""}, {"b", "2"}}},
        {"blanks belong to name and value", " a = b ", {{" a ", " b ", false}}},
        {"only the first = splits", "a==b=c", {{"a", "=b=c", false}}},
        {"duplicates take the first value",
         "Writes=x\r\nwrites=y",
         {{"Writes", "x", false}, {"writes", "x", false}}},
        {"true is a flag except for allfiles and repair",
         "writes=TRUE\r\nAllFiles=True\r\nrepair=true",
         {{"writes", "TRUE", true}, {"AllFiles", "True", false}, {"repair", "true", false}}},
        {"a line without = is the unnamed value",
         "junk\r\n=v",
         {{"", "v", false}, {"", "v", false}}},
        {"a line without = alone gives an empty value", "junk", {{"", "", false}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParseGuardFile(row.text), row.entries);
    }
}

TEST_F(WinGuardTest, SaveThenLoadReproducesTheDriverKey) {
    install();
    put(RootKey::LocalMachine, DriverKey,
        {{"StaticVxD", ValueType::String, "c:\\avtk\\WINGRD95.386"},
         {"writes", ValueType::Binary, FlagOn},
         {"allfiles", ValueType::String, "True"},
         {"repair", ValueType::String, "PROMPT"},
         {"FILEALERT", ValueType::String, "Fichier <file> infecté"},
         {"extra", ValueType::String, "True"},
         {"close", ValueType::DWord, QByteArray("\x07\0\0\0", 4)},
         {"winsock", ValueType::ExpandString, "%windir%\\ws.dll"},
         {"Drives", ValueType::String, " cd "}});
    start();
    const Values before = values(RootKey::LocalMachine, DriverKey);
    const QString file = prefix.path("guard.txt");
    prompts.files = {file};
    SBtnSaveClick(*form);
    EXPECT_EQ(FileSystem::ReadWholeFile(file),
              QString("allfiles=True\r\nclose=True\r\nDrives= cd \r\nextra=True\r\n"
                      "FILEALERT=Fichier <file> infecté\r\nrepair=PROMPT\r\nwinsock=True\r\n"
                      "writes=True\r\n")
                  .toUtf8());
    EXPECT_EQ(prompts.dialogs.last().filterIndex, 2);
    EXPECT_EQ(prompts.dialogs.last().defaultExt, "txt");

    {
        auto store = openStore();
        store->setRootKey(RootKey::LocalMachine);
        store->deleteKey(DriverKey);
        store->openKey(DriverKey, true);
        store->writeString("StaticVxD", "c:\\avtk\\WINGRD95.386");
        store->writeString("FILEALERT", "changed");
        store->closeKey();
    }
    prompts.files = {file};
    SBtnLoadClick(*form);
    Values expected = before;
    expected["extra"] = Binary(FlagOn); // the text "True" comes back as a flag
    expected["close"] = Binary(FlagOn); // as does every value that is not text
    expected["winsock"] = Binary(FlagOn);
    EXPECT_EQ(values(RootKey::LocalMachine, DriverKey), expected);
    EXPECT_EQ(prompts.dialogs.last().filterIndex, 2);
    EXPECT_TRUE(prompts.dialogs.last().mustExist);
    EXPECT_EQ(g().EditGuardDrv->text(), "cd");
    EXPECT_TRUE(g().ChkBoxPrompt->isChecked());
}

TEST_F(WinGuardTest, LoadingMergesIntoTheDriverKey) {
    struct Row {
        const char* name;
        QByteArray file;
        Values stored;   // the driver key before, besides StaticVxD
        Values expected; // and after
    };
    const Row rows[] = {
        {"a flag the file lacks stays on",
         "allfiles=OLE\r\n",
         {{"writes", Binary(FlagOn)}},
         {{"writes", Binary(FlagOn)}, {"allfiles", "S:OLE"}}},
        {"a flag replaces any value of its name",
         "Close=true\r\n",
         {{"close", "S:no"}},
         {{"close", Binary(FlagOn)}}},
        {"repair=True stays a text", "repair=True\r\n", {}, {{"repair", "S:True"}}},
        {"duplicates write the first value",
         "Drives=cd\r\nDRIVES=ef\r\n",
         {},
         {{"Drives", "S:cd"}}},
        {"an empty line writes the unnamed value",
         "\r\nextra=x.drv",
         {},
         {{"", "S:"}, {"extra", "S:x.drv"}}},
        {"a Windows-1252 file",
         "FILEALERT=Fichier infect\xe9\r\n",
         {},
         {{"FILEALERT", QString::fromUtf8("S:Fichier infecté")}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        install({{"StaticVxD", "WINGRD95.386"}});
        auto store = openStore();
        store->setRootKey(RootKey::LocalMachine);
        store->openKey(DriverKey, true);
        for (const auto& [name, value] : row.stored) {
            if (value.startsWith("S:"))
                store->writeString(name, value.mid(2));
            else
                store->writeBinary(name, QByteArray::fromHex(value.mid(2).toLatin1()));
        }
        store->closeKey();
        store.reset();
        start();
        LoadGuardFile(*form, prefix.writeFile("in.txt", row.file));
        Values expected = row.expected;
        expected["StaticVxD"] = "S:WINGRD95.386";
        EXPECT_EQ(values(RootKey::LocalMachine, DriverKey), expected);
        EXPECT_EQ(restartNotices(), 1);
        EXPECT_FALSE(g().SBtnApply->isEnabled());
    }
}

TEST_F(WinGuardTest, LoadingAFileInstallsAGuardThatIsNotInstalled) {
    const QString toolkit = installToolkit({});
    start();
    g().ChkBoxDOS->setChecked(true);
    LoadGuardFile(*form, prefix.writeFile("empty.txt", ""));
    EXPECT_EQ(values(RootKey::LocalMachine, DriverKey).at("close"), Binary(FlagOn));
    EXPECT_EQ(stored(RootKey::LocalMachine, DriverKey, "StaticVxD"), toolkit + "WINGRD95.386");
    EXPECT_TRUE(stored(RootKey::LocalMachine, DriverKey, "BOOTREPAIR").has_value());
    EXPECT_EQ(stored(RootKey::LocalMachine, RunServices, "WinGuard"), toolkit + "WGFE95.EXE");
    EXPECT_FALSE(keyExists(RootKey::CurrentUser, GuardKey));
    EXPECT_TRUE(g().ChkBoxEnable->isChecked());
    EXPECT_TRUE(g().SBtnSave->isEnabled());
    EXPECT_FALSE(g().SBtnApply->isEnabled());
    EXPECT_EQ(restartNotices(), 1);
}

TEST_F(WinGuardTest, UnfitSettingsFilesAreRefusedBeforeAnythingChanges) {
    struct Row {
        const char* name;
        std::function<QString(TempPrefix&)> file;
        QString error;
    };
    const Row rows[] = {
        {"missing", [](TempPrefix& p) { return p.path("none.txt"); }, "Cannot open file %1."},
        {"a folder", [](TempPrefix& p) { return p.path(""); }, "Cannot open file %1."},
        {"binary",
         [](TempPrefix& p) { return p.writeFile("b.txt", QByteArray("writes=True\0\x01", 13)); },
         "The file %1 is not a WinGuard settings file."},
        {"UTF-16",
         [](TempPrefix& p) { return p.writeFile("u.txt", QByteArray("\xff\xfew\0=\0", 6)); },
         "The file %1 is not a WinGuard settings file."},
        {"huge",
         [](TempPrefix& p) { return p.writeFile("h.txt", QByteArray(MaxGuardFileSize + 1, 'a')); },
         "The file %1 is too large to be a WinGuard settings file."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        start();
        const QString file = row.file(prefix);
        prompts.files = {file};
        g().SBtnLoad->click();
        EXPECT_EQ(prompts.errors, QStringList{row.error.arg(file)});
        EXPECT_FALSE(keyExists(RootKey::LocalMachine, DriverKey));
        EXPECT_FALSE(g().ChkBoxEnable->isChecked());
    }
}

TEST_F(WinGuardTest, SavingNeedsADriverKeyAWritableFileAndLinesThatReadBack) {
    start();
    const QString file = prefix.path("out.txt");
    SaveGuardFile(*form, file);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(prompts.messages.isEmpty());

    install({{"FILEALERT", "two\nlines"}});
    EXPECT_THROW(SaveGuardFile(*form, file), VallorinError);
    EXPECT_FALSE(QFile::exists(file));

    seed(RootKey::LocalMachine, DriverKey, {{"FILEALERT", "one line"}});
    const QString bad = prefix.path("no/such/folder/out.txt");
    prompts.files = {bad};
    g().SBtnSave->setEnabled(true);
    g().SBtnSave->click();
    EXPECT_EQ(prompts.errors, QStringList{"Cannot create file " + bad + "."});
}

TEST_F(WinGuardTest, TheSaveDialogOffersTheLastNameChosenInEitherUse) {
    start();
    prompts.files = {prefix.path("guard.log"), prefix.path("guard.txt"), ""};
    SBtnLogBrowseClick(*form);
    EXPECT_EQ(g().EditLog->text(), prefix.path("guard.log"));
    EXPECT_TRUE(g().SBtnApply->isEnabled());
    EXPECT_FALSE(form->RestartNotice);
    install();
    SBtnSaveClick(*form);
    SBtnLogBrowseClick(*form); // cancelled
    ASSERT_EQ(prompts.dialogs.size(), 3);
    EXPECT_EQ(prompts.dialogs[0].filterIndex, 3);
    EXPECT_EQ(prompts.dialogs[0].defaultExt, "log");
    EXPECT_EQ(prompts.dialogs[1].fileName, prefix.path("guard.log"));
    EXPECT_EQ(prompts.dialogs[2].fileName, prefix.path("guard.txt"));
    EXPECT_EQ(g().EditLog->text(), prefix.path("guard.log"));
}
