#include "support/FormFixture.h"

#include "repair/Repair.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include <functional>

namespace {

const QString RepairKey = "Software\\Tesmarine\\Vallorin\\Repair";
const QString Caption144 = QString::fromUtf8("3\u00bd\" 1.44Mb");
const QString Caption288 = QString::fromUtf8("3\u00bd\" 2.88Mb");
const QString Caption360 = QString::fromUtf8("5\u00bc\" 360Kb");

} // namespace

class RepairTest : public FormFixture {
protected:
    QString toolkit;

    TMainForm& startWithToolkit() {
        toolkit = installToolkit({"WFindV32.exe", "CleanBoo.exe", "mine.lst", "extra.drv"});
        prefix.mapDrive('C', prefix.path(""));
        prefix.mapDrive('D', prefix.path("toolkit"));
        return start();
    }
    Ui::RepairSheet& page() { return form->Repair; }
    void pick(QComboBox* combo, const QString& entry) {
        combo->setCurrentIndex(combo->findText(entry));
    }
};

TEST_F(RepairTest, RepairCommandLineFollowsThePage) {
    struct Row {
        const char* name;
        std::function<void(Ui::RepairSheet&)> set;
        QString switches;
    };
    const Row rows[] = {
        {"design state", [](Ui::RepairSheet&) {}, " /AD"},
        {"local drives, delete, detail",
         [](Ui::RepairSheet& p) {
             p.RadBtnRepLocal->setChecked(true);
             p.RadBtnDelete->setChecked(true);
             p.ChkBoxRepairDetail->setChecked(true);
         },
         " /LOCAL /DELETE /LOUD"},
        {"defined drives keep their case and get /REPAIR",
         [](Ui::RepairSheet& p) {
             p.RadBtnRepDef->setChecked(true);
             p.EditRepairDrives->setText("cD");
         },
         " /D=c:;D: /REPAIR"},
        {"drive text ignored unless Defined is ticked",
         [](Ui::RepairSheet& p) { p.EditRepairDrives->setText("cD"); }, " /AD"},
        {"every switch in its order",
         [this](Ui::RepairSheet& p) {
             p.RadBtnDelete->setChecked(true);
             for (QCheckBox* box :
                  {p.ChkBoxRepairDetail, p.ChkBoxRepairPrint, p.ChkBoxRepairReport,
                   p.ChkBoxRepAppend, p.ChkBoxRepPrevent, p.ChkBoxRepExit, p.ChkBoxRepError})
                 box->setChecked(true);
             pick(p.RChkCombo, "mine");
             pick(p.RDrvCombo, "extra");
         },
         " /AD /DELETE /LOUD /PRINTOUT /REPORT=Repair.Rep /APPEND /NOEXIT /AUTOEXIT /EXTERROR"
         " /C=mine.lst /EXTRA=extra.drv"},
        {"a tick left in the disabled append box is not sent",
         [](Ui::RepairSheet& p) {
             p.ChkBoxRepairReport->setChecked(true);
             p.ChkBoxRepAppend->setChecked(true);
             p.ChkBoxRepairReport->setChecked(false);
         },
         " /AD"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        startWithToolkit();
        row.set(page());
        page().SBtnRepair->click();
        EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.texts().join('|').toStdString();
        ASSERT_EQ(starter.commandLines.size(), 1);
        EXPECT_EQ(starter.commandLines[0], toolkit + "WFindV32.exe" + row.switches);
    }
}

TEST_F(RepairTest, RefusedRepairsStartNothing) {
    struct Row {
        const char* name;
        QString drives;
        QString message;
    };
    const Row rows[] = {
        {"no drive typed", "", "You must select drive(s) to repair."},
        {"a drive that is not ready", "cq",
         "The following drives you have chosen\rare not ready or are not valid:\r\r Q"},
        {"a character that is no drive letter", "1", "Not a valid drive ID."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        startWithToolkit();
        page().RadBtnRepDef->setChecked(true);
        page().EditRepairDrives->setText(row.drives);
        page().SBtnRepair->click();
        EXPECT_TRUE(starter.commandLines.isEmpty());
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages[0].kind, MessageKind::Error);
        EXPECT_EQ(prompts.messages[0].text, row.message);
    }
}

TEST_F(RepairTest, OnlyAMissingProgramIsReported) {
    struct Row {
        int result;
        bool warned;
    };
    for (const Row row :
         {Row{StartResult::FileNotFound, true}, Row{StartResult::PathNotFound, false},
          Row{StartResult::BadFormat, false}, Row{33, false}}) {
        SCOPED_TRACE(row.result);
        reset();
        startWithToolkit();
        starter.result = row.result;
        page().SBtnRepair->click();
        page().SBtnClean->click();
        const QStringList expected =
            row.warned ? QStringList{"FindVirus not found. Cannot repair disk(s).",
                                     "CleanBoo.exe not found. Cannot clean boot sector."}
                       : QStringList{};
        EXPECT_EQ(prompts.texts(), expected);
        for (const auto& message : prompts.messages)
            EXPECT_EQ(message.kind, MessageKind::Warning);
        EXPECT_EQ(starter.commandLines.size(), 2);
    }
}

TEST_F(RepairTest, CleanBootSectorArguments) {
    struct Row {
        QRadioButton* Ui::RepairSheet::*type;
        QRadioButton* Ui::RepairSheet::*drive;
        QString arguments;
    };
    const Row rows[] = {
        {&Ui::RepairSheet::RadBtnAuto, &Ui::RepairSheet::RadBtnA, " a: /A"},
        {&Ui::RepairSheet::RadBtn360, &Ui::RepairSheet::RadBtnB, " b: /1"},
        {&Ui::RepairSheet::RadBtn12, &Ui::RepairSheet::RadBtnA, " a: /2"},
        {&Ui::RepairSheet::RadBtn720, &Ui::RepairSheet::RadBtnB, " b: /3"},
        {&Ui::RepairSheet::RadBtn144, &Ui::RepairSheet::RadBtnA, " a: /4"},
        {&Ui::RepairSheet::RadBtn288, &Ui::RepairSheet::RadBtnB, " b: /5"},
    };
    startWithToolkit();
    for (const Row& row : rows) {
        (page().*row.type)->setChecked(true);
        (page().*row.drive)->setChecked(true);
        page().SBtnClean->click();
        ASSERT_FALSE(starter.commandLines.isEmpty());
        EXPECT_EQ(starter.commandLines.last(), toolkit + "CleanBoo.exe" + row.arguments);
    }
    // The disk type and the drive are two separate choices.
    EXPECT_TRUE(page().RadBtn288->isChecked());
    EXPECT_TRUE(page().RadBtnB->isChecked());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(RepairTest, LoadRulesForStoredValues) {
    struct Row {
        const char* name;
        QList<QPair<QString, QString>> values;
        std::function<void(Ui::RepairSheet&)> check;
    };
    const Row rows[] = {
        {"drive choice in other case is a drive text",
         {{"Drives", "all"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnRepDef->isChecked());
             EXPECT_EQ(p.EditRepairDrives->text(), "all");
         }},
        {"local",
         {{"Drives", "Local"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnRepLocal->isChecked());
             EXPECT_EQ(p.EditRepairDrives->text(), "");
         }},
        {"a stored drive text goes through the filter",
         {{"Drives", "c:D"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnRepDef->isChecked());
             EXPECT_EQ(p.EditRepairDrives->text(), "cD");
         }},
        {"no Drives value in an existing key",
         {{"Delete", "1"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnRepDef->isChecked());
             EXPECT_EQ(p.EditRepairDrives->text(), "");
             EXPECT_TRUE(p.RadBtnDelete->isChecked());
         }},
        {"report to file enables append",
         {{"Report", "1"}, {"+Report", "$1"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.ChkBoxRepAppend->isEnabled());
             EXPECT_TRUE(p.ChkBoxRepAppend->isChecked());
         }},
        {"flags that are not numbers keep their default",
         {{"Detail", "yes"}, {"Print", "0x1"}},
         [](Ui::RepairSheet& p) {
             EXPECT_FALSE(p.ChkBoxRepairDetail->isChecked());
             EXPECT_TRUE(p.ChkBoxRepairPrint->isChecked());
             EXPECT_FALSE(p.ChkBoxRepAppend->isEnabled());
         }},
        {"lists match without case, a vanished name falls back",
         {{"CheckList", "MINE"}, {"Extra Drv", "gone"}},
         [](Ui::RepairSheet& p) {
             EXPECT_EQ(p.RChkCombo->currentText(), "mine");
             EXPECT_EQ(p.RDrvCombo->currentText(), "(None)");
         }},
        {"exact type caption and drive A",
         {{"CleanType", Caption144}, {"CleanDrive", "A"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtn144->isChecked());
             EXPECT_TRUE(p.RadBtnA->isChecked());
         }},
        {"lower-case a selects B, a type in other case keeps Auto",
         {{"CleanType", QString::fromUtf8("3\u00bd\" 1.44MB")}, {"CleanDrive", "a"}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnAuto->isChecked());
             EXPECT_TRUE(p.RadBtnB->isChecked());
         }},
        {"an unknown type keeps Auto, an empty drive selects B",
         {{"CleanType", "3.5 inch"}, {"CleanDrive", ""}},
         [](Ui::RepairSheet& p) {
             EXPECT_TRUE(p.RadBtnAuto->isChecked());
             EXPECT_TRUE(p.RadBtnB->isChecked());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        seed(RootKey::CurrentUser, RepairKey, row.values);
        startWithToolkit();
        row.check(page());
        EXPECT_TRUE(prompts.messages.isEmpty());
    }
}

TEST_F(RepairTest, StoredEmptyDrivesGiveTheDriveMessage) {
    seed(RootKey::CurrentUser, RepairKey, {{"Drives", ""}});
    startWithToolkit();
    page().SBtnRepair->click();
    EXPECT_EQ(prompts.texts(), QStringList{"You must select drive(s) to repair."});
    EXPECT_TRUE(starter.commandLines.isEmpty());
}

TEST_F(RepairTest, SettingsSurviveCloseAndStart) {
    startWithToolkit();
    Ui::RepairSheet& p = page();
    p.RadBtnRepDef->setChecked(true);
    p.EditRepairDrives->setText("Cd");
    p.RadBtnDelete->setChecked(true);
    p.ChkBoxRepairReport->setChecked(true);
    p.ChkBoxRepAppend->setChecked(true);
    p.ChkBoxRepExit->setChecked(true);
    pick(p.RChkCombo, "mine");
    p.RadBtn288->setChecked(true);
    p.RadBtnB->setChecked(true);
    ASSERT_TRUE(closeForm());

    const std::pair<QString, QString> expected[] = {
        {"Drives", "Cd"},      {"Delete", "1"},         {"Detail", "0"},
        {"Print", "0"},        {"Report", "1"},         {"+Report", "1"},
        {"PreventExit", "0"},  {"Exit", "1"},           {"ExtErr", "0"},
        {"CheckList", "mine"}, {"Extra Drv", "(None)"}, {"CleanType", Caption288},
        {"CleanDrive", "B"},
    };
    for (const auto& [name, value] : expected)
        EXPECT_EQ(stored(RootKey::CurrentUser, RepairKey, name), value) << name.toStdString();
    auto store = openStore();
    store->setRootKey(RootKey::CurrentUser);
    ASSERT_TRUE(store->openKey(RepairKey, false));
    QStringList names;
    for (const auto& [name, value] : expected)
        names << name;
    EXPECT_EQ(store->getValueNames(), names); // written in their fixed order
    store->closeKey();

    form.reset();
    start();
    EXPECT_TRUE(page().RadBtnRepDef->isChecked());
    EXPECT_EQ(page().EditRepairDrives->text(), "Cd");
    EXPECT_TRUE(page().RadBtn288->isChecked());
    EXPECT_TRUE(page().RadBtnB->isChecked());
    EXPECT_TRUE(page().ChkBoxRepAppend->isEnabled());
    EXPECT_EQ(page().RChkCombo->currentText(), "mine");
}

TEST_F(RepairTest, DiskTypeCaptionsAreTheStoredTexts) {
    startWithToolkit();
    EXPECT_EQ(page().RadBtn360->text(), Caption360);
    EXPECT_EQ(page().RadBtn144->text(), Caption144);
    for (QRadioButton* button : {page().RadBtnAuto, page().RadBtn360, page().RadBtn12,
                                 page().RadBtn720, page().RadBtn144, page().RadBtn288}) {
        button->setChecked(true);
        SaveRepairSettings(*form);
        EXPECT_EQ(stored(RootKey::CurrentUser, RepairKey, "CleanType"), button->text());
    }
}

TEST_F(RepairTest, DiskTypeCaptionsSurviveExportAndImport) {
    const auto reg = [this](const QStringList& args) {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VALLORIN_PREFIX", prefix.folder());
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-reg", args);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    for (QRadioButton* Ui::RepairSheet::*type :
         {&Ui::RepairSheet::RadBtn360, &Ui::RepairSheet::RadBtn144}) {
        reset();
        startWithToolkit();
        const QString caption = (page().*type)->text();
        (page().*type)->setChecked(true);
        ASSERT_TRUE(closeForm());
        form.reset();
        const QString file = prefix.path("repair.reg");
        ASSERT_TRUE(reg({"export", "HKCU\\" + RepairKey, file}));
        {
            auto store = openStore();
            store->setRootKey(RootKey::CurrentUser);
            ASSERT_TRUE(store->deleteKey(RepairKey));
        }
        ASSERT_TRUE(reg({"import", file}));
        EXPECT_EQ(stored(RootKey::CurrentUser, RepairKey, "CleanType"), caption);
        start();
        EXPECT_TRUE((page().*type)->isChecked()) << caption.toStdString();
    }
}

TEST_F(RepairTest, OpeningAListRebuildsItAndSelectsNone) {
    startWithToolkit();
    pick(page().RChkCombo, "mine");
    QFile(toolkit + "later.LST").open(QIODevice::WriteOnly);
    page().RChkCombo->showPopup();
    page().RChkCombo->hidePopup();
    EXPECT_EQ(page().RChkCombo->currentText(), "(None)");
    EXPECT_GE(page().RChkCombo->findText("later"), 0);
    page().SBtnRepair->click();
    ASSERT_EQ(starter.commandLines.size(), 1);
    EXPECT_FALSE(starter.commandLines[0].contains("/C="));
}
