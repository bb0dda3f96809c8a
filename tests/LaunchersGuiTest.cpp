#include "support/FormFixture.h"
#include "support/ModalDialog.h"

#include "shell/AboutBox.h"
#include "toolkit/SignatureDatabase.h"
#include "ui_AboutBox.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class LaunchersTest : public FormFixture {};

TEST_F(LaunchersTest, EncyclopediaOpensAtItsContentsWhileItExists) {
    const QString toolkit = installToolkit({"veinfo95.hlp"});
    start();
    ASSERT_TRUE(form->Main.SBtnEnc->isEnabled());
    form->Main.SBtnEnc->click();
    ASSERT_EQ(help.requests.size(), 1);
    EXPECT_EQ(help.requests[0].file, toolkit + "veinfo95.hlp");
    EXPECT_EQ(help.requests[0].command, HelpCommand::Finder);

    // Removed after start: the button stays enabled and the click tells why nothing opens.
    ASSERT_TRUE(QFile::remove(toolkit + "veinfo95.hlp"));
    form->Main.SBtnEnc->click();
    EXPECT_EQ(help.requests.size(), 1);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(prompts.messages[0].text, "Virus Encyclopedia not found.");
}

TEST_F(LaunchersTest, SchedulerWarnsOnlyWhenItsFileIsMissing) {
    const QString toolkit = installToolkit({"tk_Sched.exe"});
    start();
    ASSERT_TRUE(form->Main.SBtnSchedule->isEnabled());
    struct Row {
        int result;
        QStringList messages;
    };
    const Row rows[] = {
        {33, {}},
        {StartResult::FileNotFound, {"Scheduler not found."}},
        {StartResult::PathNotFound, {}},
        {StartResult::BadFormat, {}},
        {StartResult::OutOfResources, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.result);
        prompts.clear();
        starter.result = row.result;
        form->Main.SBtnSchedule->click();
        EXPECT_EQ(starter.commandLines.last(), toolkit + "TK_Sched.exe");
        EXPECT_EQ(prompts.texts(), row.messages);
    }
}

TEST_F(LaunchersTest, HelpButtonOpensTheProgramsHelpAtItsContents) {
    start();
    form->Main.btnHelp->click();
    ASSERT_EQ(help.requests.size(), 1);
    EXPECT_EQ(help.requests[0].file, "Vallorin.hlp");
    EXPECT_EQ(help.requests[0].command, HelpCommand::Finder);
}

TEST_F(LaunchersTest, F1OpensTheTopicOfThePageInFront) {
    start();
    form->show();
    QApplication::setActiveWindow(form.get());
    struct Row {
        QWidget* page;
        QWidget* control;
        int context;
    };
    const Row rows[] = {
        {form->Main.FindSheet, form->Find.ScanCombo, 20},
        {form->Main.RepairSheet, form->Repair.EditRepairDrives, 50},
        {form->Main.CheckSheet, form->Check.CheckCombo, 60},
        {form->Main.GuardSheet, form->Guard.EditLog, 75},
        {form->Main.ViewSheet, form->View.ViewWin, 100},
        {form->Main.ViewSheet, form->Main.PageControl->tabBar(), 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.context);
        form->Main.PageControl->setCurrentWidget(row.page);
        row.control->setEnabled(true);
        row.control->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), row.control);
        const auto before = help.requests.size();
        QTest::keyClick(row.control, Qt::Key_F1);
        ASSERT_EQ(help.requests.size(), before + 1);
        EXPECT_EQ(help.requests.last().file, "Vallorin.hlp");
        EXPECT_EQ(help.requests.last().command, HelpCommand::Context);
        EXPECT_EQ(help.requests.last().context, row.context);
    }
}

TEST_F(LaunchersTest, EachAboutClickShowsAFreshBoxThatIsFreedOnClose) {
    start();
    int destroyed = 0;
    QList<QRect> placed;
    QList<bool> boldDefault;
    QStringList versions;
    // The first box is closed with Cool, the second with Enter (its default button).
    const auto showAndClose = [&](bool byEnter) {
        DriveModal<TAboutFm>([&] { form->Main.btnAbout->click(); },
                             [&](TAboutFm& box) {
                                 QObject::connect(&box, &QObject::destroyed, [&] { ++destroyed; });
                                 placed << box.frameGeometry();
                                 boldDefault << (box.ui->btnOK->isDefault() &&
                                                 box.ui->btnOK->font().bold());
                                 versions << box.ui->VLabel->text();
                                 if (byEnter)
                                     QTest::keyClick(&box, Qt::Key_Return);
                                 else
                                     box.ui->btnOK->click();
                             });
    };
    showAndClose(false);
    EXPECT_EQ(destroyed, 1);
    showAndClose(true);
    EXPECT_EQ(destroyed, 2);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(placed.size(), 2);
    for (const QRect& frame : placed) {
        EXPECT_EQ(frame.left(), screen.width() / 2 - frame.width() / 2);
        EXPECT_EQ(frame.top(), screen.height() / 2 - frame.height() / 2);
        EXPECT_EQ(frame.size(), QSize(358, 357)); // the outer size, title bar and frame included
    }
    EXPECT_EQ(boldDefault, (QList<bool>{true, true}));
    EXPECT_EQ(versions, (QStringList{"v1.06", "v1.06"}));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST(AboutBoxTest, TheSignaturesLineNamesTheClamAVDatabaseOrItsAbsence) {
    const QDateTime written(QDate(2026, 12, 8), QTime(6, 0));
    const QString date = QLocale::system().toString(written.date(), QLocale::ShortFormat);
    const QByteArray header = "ClamAV-VDB:08 Dec 2026 06-00 +0000:27000:";
    struct Row {
        const char* what;
        QList<QPair<QString, QByteArray>> files;
        QString shown;
    };
    const Row rows[] = {
        {"no folder", {}, "No ClamAV database: test signatures only"},
        {"only the toolkit's kind of files",
         {{"local.ndb", "X:0:*:41"}},
         "No ClamAV database: test signatures only"},
        {"main and daily",
         {{"main.cvd", header + "6647427:90:x"}, {"daily.cld", header + "2100:90:x"}},
         QString("ClamAV database: %L1 signatures of %2").arg(6649527).arg(date)},
        {"a header that is not one", {{"main.cvd", "garbage"}}, "ClamAV database of " + date},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QTemporaryDir folder;
        for (const auto& [name, content] : row.files) {
            QFile file(folder.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content.leftJustified(512, ' '));
            file.flush();
            file.setFileTime(written, QFileDevice::FileModificationTime);
        }
        const QString path = row.files.isEmpty() ? folder.filePath("none") : folder.path();
        EXPECT_EQ(TAboutFm::SignaturesText(SignatureDatabase::Read(path)), row.shown);
    }
}
