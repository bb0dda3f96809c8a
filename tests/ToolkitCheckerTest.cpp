// The checker (ViVerify) started as Vallorin starts it, in the prefix without a display, on a
// fingerprint file that the test then damages or on files it makes unreadable. As root it runs as
// nobody, whom a file's permissions still keep out.
#include "platform/InstallLayout.h"
#include "support/HeadlessRun.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ToolkitChecker : public ::testing::Test {
protected:
    void SetUp() override {
        const QString bin = qEnvironmentVariable("VALLORIN_BIN");
        ASSERT_FALSE(bin.isEmpty());
        const QString toolkit = temp.path() + "/toolkit/";
        QDir().mkpath(toolkit);
        checker = toolkit + "WViVer32.exe";
        ASSERT_TRUE(QFile::copy(InstallLayout::ToolkitFolder(bin) + "WViVer32.exe", checker));
        if (::geteuid() == 0) {
            if (QStandardPaths::findExecutable("setpriv").isEmpty())
                GTEST_SKIP() << "running as root without setpriv";
            asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        for (int i = 0; i < 20; ++i)
            prefix.writeFile(QString("drive/files/file%1.txt").arg(i),
                             "content " + QByteArray::number(i));
        prefix.writeFile("drive/locked.com", "locked");
        prefix.writeFile("drive/secret/hidden.com", "hidden");
        prefix.mapDrive('t', prefix.path("drive"));
        for (const QString& open : {temp.path(), toolkit, prefix.folder()})
            ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(checker).constData(), 0755), 0);
    }

    int run(const QStringList& more) {
        const QStringList args = QStringList{"/D=T:", "/NOPSW", "/FF=" + prefix.path("Check"),
                                             "/CRC", "/REPORT=Verify.Rep"} +
                                 more;
        const HeadlessRun done =
            asNobody.isEmpty()
                ? RunHeadless(checker, args, prefix.folder())
                : RunHeadless("/usr/bin/setpriv", asNobody + QStringList{checker} + args,
                              prefix.folder());
        output = done.output;
        return done.exitCode;
    }
    QByteArray fingerprints() const {
        QFile file(prefix.path("Check.vvf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void setFingerprints(const QByteArray& bytes) const {
        QFile file(prefix.path("Check.vvf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void lock(const QString& name, mode_t mode) const {
        ASSERT_EQ(::chmod(QFile::encodeName(prefix.path(name)).constData(), mode), 0);
    }

    QTemporaryDir temp;
    TempPrefix prefix;
    QString checker, output;
    QStringList asNobody;
};

TEST_F(ToolkitChecker, DamageIsToldFromChangeAndWhatWasNotReadCounts) {
    struct Row {
        QString name;
        std::function<void()> spoil;
        int exitCode;
        QStringList said;
    };
    const QList<Row> rows = {
        {"64 random bytes in the middle",
         [&] {
             QByteArray bytes = fingerprints();
             std::mt19937 bits(64);
             for (qsizetype i = bytes.size() / 2 - 32; i < bytes.size() / 2 + 32; ++i)
                 bytes[i] = char(bits());
             setFingerprints(bytes);
         },
         5,
         {"damaged: its content does not match its checksum", "nothing was compared"}},
        {"cut in half",
         [&] { setFingerprints(fingerprints().left(fingerprints().size() / 2)); },
         5,
         {"damaged: it ends without its checksum"}},
        {"cut before its last line",
         [&] {
             const QByteArray bytes = fingerprints();
             setFingerprints(bytes.left(bytes.lastIndexOf('\n', bytes.size() - 2) + 1));
         },
         5,
         {"damaged: it ends without its checksum"}},
        {"of the first format, without a checksum",
         [&] {
             QByteArray bytes = fingerprints();
             bytes = bytes.left(bytes.lastIndexOf('\n', bytes.size() - 2) + 1);
             bytes.replace("fingerprints 2\n", "fingerprints 1\n");
             setFingerprints(bytes);
         },
         0,
         {"carries no checksum, so damage to it cannot be told", "No changes found."}},
        {"an unreadable file",
         [&] { lock("drive/locked.com", 0); },
         4,
         {"Not checked: T:\\locked.com", "not checked: 1", "could not be read"}},
        {"an unreadable folder",
         [&] { lock("drive/secret", 0); },
         4,
         {"Not checked: T:\\secret: Permission denied", "not checked: 1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        lock("drive/locked.com", 0644);
        lock("drive/secret", 0755);
        ASSERT_EQ(run({"/CREATE"}), 0) << output.toStdString();
        row.spoil();
        EXPECT_EQ(run({}), row.exitCode) << output.toStdString();
        for (const QString& line : row.said)
            EXPECT_TRUE(output.contains(line)) << line.toStdString() << "\n"
                                               << output.toStdString();
        // Nothing on the drive changed: no file is said to have.
        for (const char* change : {"Changed: ", "New: ", "Missing: "})
            EXPECT_FALSE(output.contains(change)) << output.toStdString();
    }
    // Fingerprints made with a folder left out are not a clean run either.
    lock("drive/secret", 0);
    EXPECT_EQ(run({"/CREATE"}), 4) << output.toStdString();
    EXPECT_TRUE(output.contains("Not fingerprinted: T:\\secret")) << output.toStdString();
    lock("drive/secret", 0755);
}

TEST_F(ToolkitChecker, AReportNameWithAFolderPartIsRefused) {
    for (const QString& name :
         QStringList{"Verify.Rep", "../Verify.Rep", prefix.path("elsewhere.rep")}) {
        SCOPED_TRACE(name.toStdString());
        const HeadlessRun done =
            RunHeadless(checker, {"/CREATE", "/D=T:", "/NOPSW", "/FF=Check", "/REPORT=" + name},
                        prefix.folder());
        EXPECT_EQ(done.exitCode == 8, name != "Verify.Rep") << done.output.toStdString();
        EXPECT_EQ(QFile::exists(prefix.path("Check.vvf")), name == "Verify.Rep");
        QFile::remove(prefix.path("Check.vvf"));
    }
}

} // namespace
