// The toolkit installed with the program becomes the default of a prefix without a toolkit key.
#include "support/FormFixture.h"

#include "platform/InstallLayout.h"
#include "toolkit/InstalledToolkit.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString ProgramKey = "Software\\Tesmarine\\Vallorin";

class InstalledToolkitTest : public FormFixture {
protected:
    // An install of the program: bin/vallorin and the toolkit where the layout puts it.
    QTemporaryDir install{QDir::tempPath() + "/vallorin install XXXXXX"};
    QString toolkit;

    void SetUp() override {
        ASSERT_TRUE(install.isValid());
        QDir().mkpath(install.filePath("bin"));
        programPath = install.filePath("bin/vallorin");
        toolkit = InstallLayout::ToolkitFolder(install.filePath("bin"));
    }
    void installToolkitFiles(const QStringList& files) const {
        QDir().mkpath(toolkit);
        for (const QString& name : files) {
            QFile file(toolkit + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
};

TEST_F(InstalledToolkitTest, APrefixWithoutAToolkitKeyGetsTheInstalledToolkit) {
    const QString elsewhere = "/opt/avtk/";
    struct Row {
        const char* name;
        QStringList installed;                      // the files of the installed toolkit
        QList<QPair<QString, QString>> userKeys;    // current user: key, value "Selected"
        QList<QPair<QString, QString>> toolkitKeys; // machine-wide: key, InstallPath ("": none)
        bool written;
        QString located; // the toolkit folder the window then uses ("=": the installed one)
    };
    const QStringList whole = {"WFindV32.exe", "WViVer32.exe", "CleanBoo.exe", "TK_Sched.exe",
                               "veinfo95.hlp"};
    const Row rows[] = {
        {"fresh prefix", whole, {}, {}, true, "="},
        // Settings brought over with an import before the first start.
        {"the program's settings but no toolkit",
         whole,
         {{ProgramKey + "\\Find", ""}},
         {},
         true,
         "="},
        {"a toolkit of the user's",
         whole,
         {},
         {{ToolkitKey::AntiVirus, elsewhere}},
         false,
         elsewhere},
        {"the older toolkit key", whole, {}, {{ToolkitKey::Avtk, elsewhere}}, false, elsewhere},
        {"a toolkit key without a folder", whole, {}, {{ToolkitKey::AntiVirus, ""}}, false, ""},
        {"installed without its scanner", {"veinfo95.hlp"}, {}, {}, false, ""},
        {"nothing installed", {}, {}, {}, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        QDir(toolkit).removeRecursively();
        installToolkitFiles(row.installed);
        for (const auto& [key, selected] : row.userKeys)
            seed(RootKey::CurrentUser, key, {{"Selected", selected}});
        for (const auto& [key, path] : row.toolkitKeys)
            seed(RootKey::LocalMachine, key,
                 path.isEmpty() ? QList<QPair<QString, QString>>{}
                                : QList{qMakePair(QString("InstallPath"), path)});
        TMainForm& main = start();
        EXPECT_EQ(main.ToolkitFolder, row.located == "=" ? toolkit : row.located);
        EXPECT_EQ(stored(RootKey::LocalMachine, ToolkitKey::AntiVirus, "InstallPath") == toolkit,
                  row.written);
        EXPECT_EQ(main.Find.SBtnScan->isEnabled(), row.written);
        EXPECT_TRUE(prompts.messages.isEmpty());
    }
}

TEST_F(InstalledToolkitTest, TheDefaultIsWrittenOnceAndTheUsersChoiceStays) {
    installToolkitFiles({"WFindV32.exe"});
    start();
    ASSERT_TRUE(closeForm());
    EXPECT_EQ(stored(RootKey::LocalMachine, ToolkitKey::AntiVirus, "InstallPath"), toolkit);
    // The user moves the toolkit elsewhere with vallorin-reg; later starts keep that.
    seed(RootKey::LocalMachine, ToolkitKey::AntiVirus, {{"InstallPath", "/opt/avtk/"}});
    form.reset();
    EXPECT_EQ(start().ToolkitFolder, "/opt/avtk/");
    ASSERT_TRUE(closeForm());
    // A key without a folder is the user's choice of no toolkit, and stays.
    seed(RootKey::LocalMachine, ToolkitKey::AntiVirus, {{"InstallPath", ""}});
    form.reset();
    EXPECT_EQ(start().ToolkitFolder, "");
    EXPECT_EQ(stored(RootKey::LocalMachine, ToolkitKey::AntiVirus, "InstallPath"), "");
}

} // namespace
