#include "support/FormFixture.h"

#include "shell/ReportView.h"
#include "shell/ReportViewer.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

namespace {

struct Buttons {
    bool scan, repair, verify, log;
    bool operator==(const Buttons&) const = default;
};

void PrintTo(const Buttons& b, std::ostream* out) {
    *out << b.scan << b.repair << b.verify << b.log;
}

} // namespace

class ReportViewerTest : public FormFixture {
protected:
    Ui::ViewSheet& view() { return form->View; }
    // Brings the page to the front as the user does, by its tab.
    void enterPage() {
        form->Main.PageControl->setCurrentIndex(0);
        form->Main.PageControl->setCurrentWidget(form->Main.ViewSheet);
    }
    Buttons buttons() {
        return {view().btnFVrep->isEnabled(), view().BtnRepairRep->isEnabled(),
                view().btnViRep->isEnabled(), view().btnGuardLog->isEnabled()};
    }
    QString shown() { return view().ViewWin->toPlainText(); }
};

TEST_F(ReportViewerTest, ButtonsFollowTheFilesOnEnteringThePage) {
    struct Row {
        const char* name;
        QStringList reports;
        QString log; // the text of the guard page's log field; "*" names an existing file
        Buttons expected;
    };
    const Row rows[] = {
        {"nothing there", {}, "", {false, false, false, false}},
        {"only the repair report", {"Repair.Rep"}, "", {false, true, false, false}},
        {"reports in other case, log missing",
         {"findviru.rep", "VERIFY.REP"},
         "/nowhere/WinGuard.log",
         {true, false, true, false}},
        {"every file", {"FindViru.Rep", "Repair.Rep", "Verify.Rep"}, "*", {true, true, true, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        start();
        for (const QString& report : row.reports)
            prefix.writeFile(report, "report\r\n");
        form->Guard.EditLog->setText(row.log == "*" ? prefix.writeFile("logs/WG.LOG", "log")
                                                    : row.log);
        // Nothing changes until the page is entered.
        EXPECT_EQ(buttons(), (Buttons{true, true, true, true}));
        enterPage();
        EXPECT_EQ(buttons(), row.expected);
    }
}

// The view shows both scroll bars whether or not its text overflows.
TEST_F(ReportViewerTest, TheViewAlwaysShowsBothScrollBars) {
    start();
    const auto* view = form->Main.ViewSheet->findChild<QAbstractScrollArea*>("ViewWin");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(ReportViewerTest, EachReportButtonShowsItsFileAndLabel) {
    struct Row {
        QPushButton* Ui::ViewSheet::*button;
        QString file;
        QString label;
    };
    const Row rows[] = {
        {&Ui::ViewSheet::btnFVrep, "FindViru.Rep", "FindVirus report:"},
        {&Ui::ViewSheet::BtnRepairRep, "Repair.Rep", "Repair report:"},
        {&Ui::ViewSheet::btnViRep, "Verify.Rep", "ViVerify report:"},
    };
    start();
    for (const Row& row : rows)
        prefix.writeFile(row.file, (row.file + " line 1\r\nline 2\r\n").toUtf8());
    enterPage();
    for (const Row& row : rows) {
        (view().*row.button)->click();
        EXPECT_EQ(view().LabViewName->text(), row.label);
        EXPECT_EQ(shown(), row.file + " line 1\nline 2\n");
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ReportViewerTest, AReportThatCannotBeOpenedKeepsTheViewAndChangesTheLabel) {
    start();
    prefix.writeFile("Repair.Rep", "the repair report");
    const QString scan = prefix.writeFile("FindViru.Rep", "the scan report");
    enterPage();
    view().BtnRepairRep->click();
    ASSERT_TRUE(QFile::remove(scan)); // deleted while the page is in front
    EXPECT_TRUE(view().btnFVrep->isEnabled());
    view().btnFVrep->click();
    EXPECT_EQ(prompts.errors, QStringList{"Cannot open file " + scan + "."});
    EXPECT_EQ(view().LabViewName->text(), "FindVirus report:");
    EXPECT_EQ(shown(), "the repair report");
    enterPage();
    EXPECT_FALSE(view().btnFVrep->isEnabled());
}

TEST_F(ReportViewerTest, FilesWithoutReadPermissionGiveTheOpenError) {
    start();
    const QString report = prefix.writeFile("Verify.Rep", "verify");
    const QString log = prefix.writeFile("WinGuard.log", "log");
    QFile::setPermissions(report, QFileDevice::WriteOwner);
    QFile::setPermissions(log, QFileDevice::WriteOwner);
    if (::access(QFile::encodeName(report).constData(), R_OK) == 0)
        GTEST_SKIP() << "running with the right to read every file";
    form->Guard.EditLog->setText(log);
    enterPage();
    EXPECT_TRUE(view().btnGuardLog->isEnabled());
    view().btnGuardLog->click();
    // The log's label changes only after a successful load.
    EXPECT_EQ(view().LabViewName->text(), "No file being viewed.");
    view().btnViRep->click();
    EXPECT_EQ(view().LabViewName->text(), "ViVerify report:");
    EXPECT_EQ(prompts.errors,
              (QStringList{"Cannot open file " + log + ".", "Cannot open file " + report + "."}));
    EXPECT_EQ(shown(), "");
}

TEST_F(ReportViewerTest, TheGuardLogReplacesAReport) {
    start();
    prefix.mapDrive('C', prefix.path("drive-c"));
    prefix.writeFile("drive-c/WGUARD/WinGuard.LOG", "12/10/97 Virus found in C:\\X.COM\n");
    prefix.writeFile("FindViru.Rep", "scan report\n");
    form->Guard.EditLog->setText("C:\\wguard\\WinGuard.LOG");
    enterPage();
    view().btnFVrep->click();
    view().btnGuardLog->click();
    EXPECT_EQ(view().LabViewName->text(), "WinGuard.LOG (WinGuard log file):");
    EXPECT_EQ(shown(), "12/10/97 Virus found in C:\\X.COM\n");

    // A log that has vanished since is ignored without a word.
    form->Guard.EditLog->setText("C:\\wguard\\gone.log");
    view().btnGuardLog->click();
    EXPECT_EQ(view().LabViewName->text(), "WinGuard.LOG (WinGuard log file):");
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ReportViewerTest, BytesAreShownAsTheirText) {
    struct Row {
        const char* name;
        QByteArray bytes;
        QString text;
    };
    const Row rows[] = {
        {"UTF-8",
         "Virus \xe2\x80\x9c"
         "Form\xe2\x80\x9d in caf\xc3\xa9",
         u"Virus “Form” in café"_qs},
        {"Windows-1252",
         "Virus \x93"
         "Form\x94 in caf\xe9 \x80",
         u"Virus “Form” in café €"_qs},
        {"rich text stays raw", "{\\rtf1\\ansi <b>bold</b> &amp;}",
         "{\\rtf1\\ansi <b>bold</b> &amp;}"},
        {"every kind of line end", "one\r\ntwo\rthree\nfour", "one\ntwo\nthree\nfour"},
    };
    start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        prefix.writeFile("FindViru.Rep", row.bytes);
        enterPage();
        view().btnFVrep->click();
        EXPECT_EQ(shown(), row.text);
    }
}

TEST_F(ReportViewerTest, ALongReportIsShownWholeInOrder) {
    QByteArray bytes;
    QString expected;
    for (int n = 0; n < 5000; ++n) {
        const QByteArray line = "C:\\DOS\\FILE" + QByteArray::number(n) + ".COM  scanned";
        bytes += line + "\r\n";
        expected += QString::fromLatin1(line) + '\n';
    }
    start();
    prefix.writeFile("Repair.Rep", bytes);
    enterPage();
    view().BtnRepairRep->click();
    EXPECT_EQ(shown(), expected);
    // One line of the view per line of the file, and the empty one after the last line end.
    EXPECT_EQ(view().ViewWin->report().lineCount(), 5001);
}
