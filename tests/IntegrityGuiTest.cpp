#include "support/FormFixture.h"

#include "definitions/Common.h"
#include "integrity/Integrity.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>

#include <functional>

namespace {

const QString VerifyKey = "Software\\Tesmarine\\Vallorin\\Verify";
const QString NotComputed = "Fingerprints haven't been computed.";
const QString ShortKeyword = "The keyword must be at least 8 characters long.";
const QString NoDrives = "You must select drive(s) to check.";

// Sets TZ for the life of the object, so that local time differs from UTC.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const QByteArray& zone) : previous(qgetenv("TZ")) {
        qputenv("TZ", zone);
    }
    ~TimeZoneScope() { previous.isNull() ? qunsetenv("TZ") : qputenv("TZ", previous); }

private:
    QByteArray previous;
};

} // namespace

class IntegrityTest : public FormFixture {
protected:
    void SetUp() override { prepare(); }

    // A toolkit with ViVerify and the drives C and D, as every run here needs.
    void prepare() {
        installToolkit({"WViVer32.exe"});
        prefix.mapDrive('c', prefix.path("dosdevices"));
        prefix.mapDrive('d', prefix.path("dosdevices"));
    }

    // A started window showing a new, not yet stored definition at the page's design state, as
    // the Add dialog leaves it.
    TMainForm& startWithNew(const QString& name) {
        TMainForm& main = start();
        main.Check.CheckCombo->setEnabled(true);
        main.Check.CheckCombo->addItem(name);
        main.Check.CheckCombo->setCurrentIndex(main.Check.CheckCombo->count() - 1);
        return main;
    }

    // Stores a definition and selects it for the next start.
    void seedCheck(const QString& name, const QList<QPair<QString, QString>>& values) {
        seed(RootKey::CurrentUser, VerifyKey + '\\' + name, values);
        seed(RootKey::CurrentUser, VerifyKey, {{"Selected", name}});
    }

    // The fingerprint file of a definition, written with a last-write time.
    void writeFingerprint(const QString& name, const QDateTime& written) {
        QDir().mkpath(prefix.path("Prints"));
        QFile file(prefix.path("Prints/" + name + ".vvf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("prints");
        file.flush(); // a later write would set the time again
        ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    }

    // The switches of the one command line started, after the program path.
    QString startedParameters() const {
        const QString program = form->ToolkitFolder + "WViVer32.exe";
        if (starter.commandLines.size() != 1 || !starter.commandLines[0].startsWith(program))
            return "(started: " + starter.commandLines.join(" | ") + ")";
        return starter.commandLines[0].mid(program.size());
    }

    // Clears everything between table rows and sets the toolkit up again.
    void nextRow() {
        reset();
        prepare();
    }

    QString printsBase(const QString& name) const { return prefix.path("Prints/" + name); }
};

TEST_F(IntegrityTest, TheCommandLineFollowsThePage) {
    using Sheet = Ui::CheckSheet;
    struct Row {
        const char* name;
        QString definition;
        std::function<void(Sheet&)> set;
        QString expected; // %1: the fingerprint base name
        bool verifyWithPrints = false;
    };
    const Row rows[] = {
        {"every option at its initial state", "Daily", [](Sheet&) {},
         " /CREATE /D=C: /X=Vallorin /FF=\"%1\" /CRC /N=5 /BEEP"},
        {"a keyword of exactly 8 characters", "Daily",
         [](Sheet& s) { s.EditKeyword->setText("abcdefgh"); },
         " /CREATE /D=C: /X=abcdefgh /FF=\"%1\" /CRC /N=5 /BEEP"},
        {"a keyword with blanks goes unquoted", "Daily",
         [](Sheet& s) { s.EditKeyword->setText("my key 12"); },
         " /CREATE /D=C: /X=\"my key 12\" /FF=\"%1\" /CRC /N=5 /BEEP"},
        {"an unticked keyword sends /NOPSW whatever the edit holds", "Daily",
         [](Sheet& s) {
             s.ChkBoxKeyword->setChecked(false);
             s.EditKeyword->setText("abc");
         },
         " /CREATE /D=C: /NOPSW /FF=\"%1\" /CRC /N=5 /BEEP"},
        {"an empty byte interval", "Daily", [](Sheet& s) { s.EditBytes->clear(); },
         " /CREATE /D=C: /X=Vallorin /FF=\"%1\" /CRC /N= /BEEP"},
        {"a name with blanks stays whole inside the quotes", "My daily check", [](Sheet&) {},
         " /CREATE /D=C: /X=Vallorin /FF=\"%1\" /CRC /N=5 /BEEP"},
        {"file sizes", "Daily", [](Sheet& s) { s.RadBtnSizes->setChecked(true); },
         " /CREATE /D=C: /X=Vallorin /FF=\"%1\" /SIZES /N=5 /BEEP"},
        {"checksum", "Daily", [](Sheet& s) { s.RadBtnChecksum->setChecked(true); },
         " /CREATE /D=C: /X=Vallorin /FF=\"%1\" /WHOLESUM /N=5 /BEEP"},
        {"every switch, in its order", "Daily",
         [](Sheet& s) {
             s.EditCheckDrives->setText("cD");
             s.ChkBoxChkBoot->setChecked(false);
             s.ChkBoxChkPart->setChecked(false);
             s.ChkBoxVPrevent->setChecked(true);
             s.RadBtnDES->setChecked(true);
             s.ChkBoxTurbo->setChecked(false);
             s.EditBytes->setText("9");
             s.ChkBoxChkBeep->setChecked(false);
             s.ChkBoxChkDetail->setChecked(true);
             s.ChkBoxChkPrint->setChecked(true);
             s.ChkBoxChkReport->setChecked(true);
         },
         " /CREATE /D=c:;D: /NOBOOT /NOPART /NOCANCEL /X=Vallorin /FF=\"%1\" /DES /NT /N=9 "
         "/LOUD /PRINTOUT /REPORT=Verify.Rep"},
        {"verify with a fingerprint file", "Daily", [](Sheet&) {},
         " /D=C: /X=Vallorin /FF=\"%1\" /CRC /N=5 /BEEP", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        nextRow();
        if (row.verifyWithPrints)
            writeFingerprint(row.definition, clock);
        TMainForm& main = startWithNew(row.definition);
        main.Check.EditCheckDrives->setText("C");
        row.set(main.Check);
        (row.verifyWithPrints ? main.Check.SBtnVerify : main.Check.SBtnCompute)->click();
        EXPECT_EQ(startedParameters(), row.expected.arg(printsBase(row.definition)));
        EXPECT_EQ(prompts.texts(), QStringList());
    }
}

TEST_F(IntegrityTest, RefusalsComeInTheirOrder) {
    struct Row {
        const char* name;
        QString drives;
        QString keyword;
        QStringList messages;
        MessageKind kind;
    };
    const Row rows[] = {
        {"a drive that is not ready stops before the keyword is looked at",
         "cq",
         "short",
         {"The following drives you have chosen\rare not ready or are not valid:\r\r Q"},
         MessageKind::Error},
        {"no drives and a short keyword",
         "",
         "short",
         {NoDrives + "\r" + ShortKeyword},
         MessageKind::Information},
        {"no drives", "", "long enough", {NoDrives}, MessageKind::Information},
        {"a keyword of 7 characters", "c", "1234567", {ShortKeyword}, MessageKind::Information},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        nextRow();
        TMainForm& main = startWithNew("Daily");
        main.Check.EditCheckDrives->setText(row.drives);
        main.Check.EditKeyword->setText(row.keyword);
        main.Check.SBtnCompute->click();
        EXPECT_EQ(prompts.texts(), row.messages);
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages[0].kind, row.kind);
        EXPECT_TRUE(starter.commandLines.isEmpty());
        // The folder is made before any refusal, and the click time shows all the same.
        EXPECT_TRUE(QFileInfo(prefix.path("Prints")).isDir());
        EXPECT_EQ(main.Check.LabLastCompDate->text(), "Today at 3:05pm");
    }
}

TEST_F(IntegrityTest, ARunWithoutASelectionOrAProgramIsRefused) {
    TMainForm& main = start();
    main.Check.SBtnCompute->click();
    EXPECT_EQ(prompts.texts(), QStringList({"There are no definitions for this operation.\r"
                                            "Click the add button to create one."}));
    EXPECT_TRUE(starter.commandLines.isEmpty());

    prompts.clear();
    main.Check.CheckCombo->addItem("Daily");
    main.Check.EditCheckDrives->setText("c");
    starter.result = 2; // the program file was not found
    main.Check.CheckCombo->setCurrentIndex(0);
    prompts.answers = {MessageAnswer::Yes};
    main.Check.SBtnVerify->click();
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages[1].kind, MessageKind::Warning);
    // Verify turned into a computation: the message says so.
    EXPECT_EQ(prompts.messages[1].text, "ViVerify not found. Cannot compute fingerprints.");
}

TEST_F(IntegrityTest, VerifyWithoutFingerprintsOffersToComputeThem) {
    for (const MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
        const bool yes = answer == MessageAnswer::Yes;
        SCOPED_TRACE(yes ? "Yes" : "No");
        nextRow();
        TMainForm& main = startWithNew("Daily");
        main.Check.EditCheckDrives->setText("c");
        prompts.answers = {answer};
        main.Check.SBtnVerify->click();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages[0].kind, MessageKind::Warning);
        EXPECT_EQ(prompts.messages[0].buttons, MessageButtons::YesNo);
        EXPECT_EQ(prompts.messages[0].text, "Fingerprint file for this check not found.\r"
                                            "Do you want to compute new fingerprints?");
        // The click is recorded as a check either way.
        EXPECT_EQ(main.Check.LabLastCheckDate->text(), "Today at 3:05pm");
        EXPECT_EQ(stored(RootKey::CurrentUser, VerifyKey + "\\Daily", "CheckDate"),
                  DateTimeText(ToDateTime(clock)));
        EXPECT_EQ(starter.commandLines.size(), yes ? 1 : 0);
        EXPECT_EQ(QFileInfo(prefix.path("Prints")).isDir(), yes);
        if (yes) {
            EXPECT_TRUE(startedParameters().startsWith(" /CREATE /D=c: "));
        }
    }
}

TEST_F(IntegrityTest, AFingerprintFolderThatCannotBeMadeStopsTheRun) {
    prefix.writeFile("Prints", "a file where the folder belongs");
    TMainForm& main = startWithNew("Daily");
    main.Check.EditCheckDrives->setText("c");
    main.Check.SBtnCompute->click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(prompts.messages[0].text, "Could not create folder for fingerprint files.");
    EXPECT_TRUE(starter.commandLines.isEmpty());
}

TEST_F(IntegrityTest, AFingerprintPathCannotLeaveItsFolder) {
    const QStringList names = {"../outside", "a/b",      "..",      "...",
                               "a\\b",       "bell\x07", "quo\"te", QString(252, 'x')};
    for (const QString& name : names) {
        SCOPED_TRACE(name.left(20).toStdString());
        nextRow();
        TMainForm& main = startWithNew(name);
        main.Check.EditCheckDrives->setText("c");
        main.Check.SBtnCompute->click();
        main.Check.SBtnVerify->click();
        ASSERT_EQ(prompts.errors.size(), 2);
        EXPECT_TRUE(starter.commandLines.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(prefix.path("outside")));
        EXPECT_FALSE(QFileInfo::exists(prefix.path("outside.vvf")));
    }
    // A name of 251 characters still makes a file name the file system takes.
    nextRow();
    startWithNew(QString(251, 'x')).Check.EditCheckDrives->setText("c");
    form->Check.SBtnCompute->click();
    EXPECT_EQ(starter.commandLines.size(), 1);

    // A key of that kind arriving through the store is shown quietly and refused when run.
    nextRow();
    seedCheck("../outside", {{"Drives", "c"}});
    TMainForm& main = start();
    EXPECT_EQ(main.Check.CheckCombo->currentText(), "../outside");
    EXPECT_EQ(main.Check.LabLastCompDate->text(), NotComputed);
    EXPECT_TRUE(prompts.messages.isEmpty());
    main.Check.SBtnCompute->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("cannot name a fingerprint file"))
        << prompts.errors[0].toStdString();
    EXPECT_TRUE(starter.commandLines.isEmpty());
}

TEST_F(IntegrityTest, ADefinitionSurvivesASaveAndALoad) {
    const QList<QPair<QString, QString>> values = {
        {"Drives", "cD"},     {"Boot", "0"},
        {"Partition", "0"},   {"PreventExit", "1"},
        {"Keyword", "0"},     {"Key", "Secret 1"},
        {"Algorithm", "DES"}, {"Turbo", "0"},
        {"Bytes", "7"},       {"Beep", "0"},
        {"Detail", "1"},      {"Print", "1"},
        {"Report", "1"},      {"CheckDate", "35710.6409722222"}};
    seedCheck("Weekly", values);
    TMainForm& main = start();
    const Ui::CheckSheet& s = main.Check;
    EXPECT_EQ(s.EditCheckDrives->text(), "cD");
    EXPECT_FALSE(s.ChkBoxChkBoot->isChecked());
    EXPECT_FALSE(s.ChkBoxChkPart->isChecked());
    EXPECT_TRUE(s.ChkBoxVPrevent->isChecked());
    EXPECT_FALSE(s.ChkBoxKeyword->isChecked());
    EXPECT_EQ(s.EditKeyword->text(), "Secret 1");
    EXPECT_TRUE(s.RadBtnDES->isChecked());
    EXPECT_FALSE(s.ChkBoxTurbo->isChecked());
    EXPECT_EQ(s.EditBytes->text(), "7");
    EXPECT_EQ(s.UDBytes->value(), 7);
    EXPECT_FALSE(s.ChkBoxChkBeep->isChecked());
    EXPECT_TRUE(s.ChkBoxChkDetail->isChecked());
    EXPECT_TRUE(s.ChkBoxChkPrint->isChecked());
    EXPECT_TRUE(s.ChkBoxChkReport->isChecked());
    EXPECT_EQ(s.LabLastCheckDate->text(), "Last Tuesday at 3:23pm");
    EXPECT_EQ(s.LabLastCompDate->text(), NotComputed);

    ASSERT_TRUE(closeForm());
    auto store = openStore();
    store->setRootKey(RootKey::CurrentUser);
    ASSERT_TRUE(store->openKey(VerifyKey + "\\Weekly", false));
    QStringList names, texts, expectedNames, expectedTexts;
    for (const QString& name : store->getValueNames()) {
        names << name;
        texts << store->readString(name);
    }
    store->closeKey();
    for (const auto& [name, text] : values) {
        expectedNames << name;
        expectedTexts << text;
    }
    EXPECT_EQ(names, expectedNames);
    EXPECT_EQ(texts, expectedTexts);
}

TEST_F(IntegrityTest, LoadingMendsWhatTheStoreGetsWrong) {
    struct Row {
        const char* name;
        QList<QPair<QString, QString>> values;
        std::function<void(const TMainForm&)> check;
        std::optional<QString> savedBytes = std::nullopt;
    };
    const Row rows[] = {
        {"a missing keyword shows None",
         {{"Drives", "c"}},
         [](const TMainForm& m) { EXPECT_EQ(m.Check.EditKeyword->text(), "None"); }},
        {"another case of an algorithm keeps the previous choice",
         {{"Algorithm", "ccitt crc"}},
         [](const TMainForm& m) { EXPECT_TRUE(m.Check.RadBtnDES->isChecked()); }},
        {"a byte interval of 0 is cleared and saved empty",
         {{"Bytes", "0"}},
         [](const TMainForm& m) { EXPECT_EQ(m.Check.EditBytes->text(), ""); },
         QString()},
        {"a byte interval that is no number is cleared",
         {{"Bytes", "x"}},
         [](const TMainForm& m) { EXPECT_EQ(m.Check.EditBytes->text(), ""); },
         QString()},
        {"a byte interval longer than the edit is cleared, not cut",
         {{"Bytes", "12"}},
         [](const TMainForm& m) { EXPECT_EQ(m.Check.EditBytes->text(), ""); },
         QString()},
        {"a check date that is no number means never checked",
         {{"CheckDate", "yesterday"}},
         [](const TMainForm& m) {
             EXPECT_EQ(m.LastCheckTime, 0);
             EXPECT_EQ(m.Check.LabLastCheckDate->text(), "Unknown.");
         }},
        {"a flag that is no number takes its default",
         {{"Boot", "yes"}, {"Detail", "maybe"}},
         [](const TMainForm& m) {
             EXPECT_TRUE(m.Check.ChkBoxChkBoot->isChecked());
             EXPECT_FALSE(m.Check.ChkBoxChkDetail->isChecked());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        nextRow();
        // The page first shows a definition with DES, then the one under test is picked.
        seed(RootKey::CurrentUser, VerifyKey + "\\Before", {{"Algorithm", "DES"}});
        seed(RootKey::CurrentUser, VerifyKey + "\\Tested", row.values);
        seed(RootKey::CurrentUser, VerifyKey, {{"Selected", "Before"}});
        TMainForm& main = start();
        ASSERT_TRUE(main.Check.RadBtnDES->isChecked());
        main.Check.CheckCombo->setCurrentIndex(FindComboEntry(main.Check.CheckCombo, "Tested"));
        CheckComboChange(main);
        row.check(main);
        ASSERT_TRUE(closeForm());
        if (row.savedBytes) {
            EXPECT_EQ(stored(RootKey::CurrentUser, VerifyKey + "\\Tested", "Bytes"),
                      *row.savedBytes);
        }
        EXPECT_TRUE(prompts.messages.isEmpty());
    }
}

TEST_F(IntegrityTest, LastComputedIsTheFingerprintFileTimeInLocalTime) {
    // Ten hours east of UTC: 20:00 UTC on the 8th is 6:00 on the 9th, local time.
    const TimeZoneScope zone("XXX-10");
    writeFingerprint("Daily", QDateTime(QDate(1997, 10, 8), QTime(20, 0), Qt::UTC));
    seedCheck("Daily", {{"CheckDate",
                         DateTimeText(ToDateTime(QDateTime(QDate(1997, 10, 8), QTime(0, 30))))}});
    TMainForm& main = start();
    EXPECT_EQ(main.Check.LabLastCompDate->text(), "Today at 6:00am");
    EXPECT_EQ(main.Check.LabLastCheckDate->text(), "Yesterday at 12:30am");

    // A definition without its file says so.
    seed(RootKey::CurrentUser, VerifyKey + "\\Other", {{"Drives", "c"}});
    main.Check.CheckCombo->addItem("Other");
    main.Check.CheckCombo->setCurrentIndex(1);
    CheckComboChange(main);
    EXPECT_EQ(main.Check.LabLastCompDate->text(), NotComputed);
    EXPECT_EQ(main.Check.LabLastCheckDate->text(), "Unknown.");
}

TEST_F(IntegrityTest, PickingANameWithoutAKeyKeepsThePage) {
    seedCheck("Daily", {{"Drives", "cD"}, {"Algorithm", "File size"}});
    TMainForm& main = start();
    main.Check.CheckCombo->addItem("Gone");
    main.Check.CheckCombo->setCurrentIndex(1);
    CheckComboChange(main);
    EXPECT_EQ(prompts.texts(), QStringList({"Information for this definition not found.\r\r"
                                            "Choose your settings and they will be saved."}));
    EXPECT_EQ(main.Check.EditCheckDrives->text(), "cD");
    EXPECT_TRUE(main.Check.RadBtnSizes->isChecked());
    ASSERT_TRUE(closeForm());
    EXPECT_EQ(stored(RootKey::CurrentUser, VerifyKey + "\\Gone", "Algorithm"), "File size");
}

TEST_F(IntegrityTest, TheDefinitionIsSavedBeforeTheListOpensOrAnotherIsAdded) {
    dialogs = &scriptedDialogs;
    TMainForm& main = start();
    // Nothing selected: nothing to save.
    main.Check.CheckCombo->showPopup();
    main.Check.CheckCombo->hidePopup();
    EXPECT_FALSE(openStore()->keyExists(VerifyKey));

    main.Check.CheckCombo->addItem("Daily");
    main.Check.CheckCombo->setCurrentIndex(0);
    main.Check.EditCheckDrives->setText("c");
    main.Check.CheckCombo->showPopup();
    main.Check.CheckCombo->hidePopup();
    EXPECT_EQ(stored(RootKey::CurrentUser, VerifyKey + "\\Daily", "Drives"), "c");

    main.Check.EditCheckDrives->setText("cd");
    // The page is stored before the Add dialog opens; the dialog then adds to this page.
    scriptedDialogs.names = {"Weekly"};
    main.Check.SBtnAddCheck->click();
    EXPECT_EQ(stored(RootKey::CurrentUser, VerifyKey + "\\Daily", "Drives"), "cd");
    EXPECT_EQ(main.Check.CheckCombo->currentText(), "Weekly");
    EXPECT_TRUE(main.Check.SBtnDelCheck->isEnabled());
    EXPECT_EQ(main.Check.LabLastCompDate->text(), NotComputed);
}

TEST_F(IntegrityTest, TheByteIntervalStaysOneDigitFromOneToNine) {
    TMainForm& main = start();
    QLineEdit* edit = main.Check.EditBytes;
    const struct {
        QString typed;
        QString kept;
        int position;
    } rows[] = {{"3", "3", 3}, {"0", "", 3}, {"x", "", 3}, {"9", "9", 9}};
    for (const auto& row : rows) {
        edit->setText(row.typed);
        EXPECT_EQ(edit->text(), row.kept) << row.typed.toStdString();
        EXPECT_EQ(main.Check.UDBytes->value(), row.position) << row.typed.toStdString();
    }
    main.Check.UDBytes->stepUp(); // no wrap-around at 9
    EXPECT_EQ(edit->text(), "9");
    main.Check.UDBytes->stepDown();
    EXPECT_EQ(edit->text(), "8");
}

TEST_F(IntegrityTest, ThePageShowsEveryCaptionWhole) {
    seedCheck("Daily", {{"Drives", "cd"}, {"Key", "Long keyword of 30 characters!"}});
    writeFingerprint("Daily", QDateTime(QDate(1997, 10, 1), QTime(12, 15)));
    TMainForm& main = start();
    main.Main.PageControl->setCurrentWidget(main.Main.CheckSheet);
    main.show();
    const QString shot = qEnvironmentVariable("VALLORIN_SHOT");
    if (!shot.isEmpty())
        main.grab().save(shot);
    EXPECT_EQ(main.Check.LabLastCompDate->text(), "Wednesday 1 October 1997 12:15pm");
    const QList<QWidget*> widgets = main.Main.CheckSheet->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLabel*>(widget))
            continue;
        EXPECT_GE(widget->width(), widget->sizeHint().width())
            << widget->objectName().toStdString();
    }
    // No two controls of one group overlap, but for the bytes edit and its up-down, which sit
    // in the gap of their label's text.
    const Ui::CheckSheet& s = main.Check;
    for (QWidget* a : widgets) {
        for (QWidget* b : widgets) {
            if (a >= b || a->parentWidget() != b->parentWidget() || a->objectName().isEmpty() ||
                b->objectName().isEmpty() || a->parentWidget() == s.UDBytes)
                continue;
            if (a == s.LabCheckBytes || b == s.LabCheckBytes)
                continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
    }
    const QFontMetrics metrics(s.LabCheckBytes->font());
    const QString caption = s.LabCheckBytes->text();
    const int gapStart =
        s.LabCheckBytes->x() + metrics.horizontalAdvance(caption.trimmed().left(11));
    const int gapEnd =
        s.LabCheckBytes->x() + metrics.horizontalAdvance(caption.left(caption.size() - 5));
    EXPECT_GT(s.EditBytes->x(), gapStart);
    EXPECT_LE(s.UDBytes->geometry().right(), gapEnd);
}
