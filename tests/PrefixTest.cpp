#include "store/Prefix.h"
#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

int modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

TEST(Prefix, LocationComesFromTheEnvironment) {
    const QByteArray savedPrefix = qgetenv("VALLORIN_PREFIX");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("VALLORIN_PREFIX", "/srv/vallorin/");
    EXPECT_EQ(Prefix::Location(), "/srv/vallorin");
    qputenv("VALLORIN_PREFIX", "");
    qputenv("HOME", "/home/tester");
    EXPECT_EQ(Prefix::Location(), "/home/tester/.vallorin");
    qunsetenv("VALLORIN_PREFIX");
    EXPECT_EQ(Prefix::Location(), "/home/tester/.vallorin");
    qputenv("HOME", savedHome);
    if (!savedPrefix.isNull())
        qputenv("VALLORIN_PREFIX", savedPrefix);
}

TEST(Prefix, AFreshPrefixIsPrivateAndMapsDriveC) {
    QTemporaryDir dir;
    const QString location = dir.path() + "/nested/prefix";
    EXPECT_EQ(Prefix::Prepare(location), location + '/');
    EXPECT_EQ(modeOf(location), 0700);
    EXPECT_EQ(modeOf(location + "/dosdevices"), 0700);
    const QFileInfo c(location + "/dosdevices/c:");
    EXPECT_TRUE(c.isSymLink());
    EXPECT_EQ(c.symLinkTarget(), "/");
    // A trailing "/" on the location changes nothing.
    EXPECT_EQ(Prefix::Prepare(location + '/'), location + '/');
}

// Every folder the program makes is its owner's alone, whatever the umask: the missing folders
// above the prefix, the prefix, its drive map, and the fingerprint folder made later.
TEST(Prefix, EveryFolderItMakesIsPrivateWhateverTheUmask) {
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(0277)}) {
        SCOPED_TRACE(mask);
        QTemporaryDir dir;
        const mode_t previous = ::umask(mask);
        const QString prefix = Prefix::Prepare(dir.path() + "/missing/parent/prefix");
        const bool printsMade = FileSystem::CreateDirectory(prefix + "Prints/Sub");
        ::umask(previous);
        ASSERT_TRUE(printsMade);
        for (const char* folder :
             {"/missing", "/missing/parent", "/missing/parent/prefix",
              "/missing/parent/prefix/dosdevices", "/missing/parent/prefix/Prints",
              "/missing/parent/prefix/Prints/Sub"})
            EXPECT_EQ(modeOf(dir.path() + folder), 0700) << folder;
    }
}

TEST(Prefix, AnExistingPrefixIsLeftAsItsOwnerMadeIt) {
    QTemporaryDir dir;
    const QString location = dir.path() + "/prefix";
    Prefix::Prepare(location);
    ::chmod(QFile::encodeName(location).constData(), 0750);
    QFile::remove(location + "/dosdevices/c:");
    QFile::link("/tmp", location + "/dosdevices/d:");

    EXPECT_EQ(Prefix::Prepare(location), location + '/');
    EXPECT_EQ(modeOf(location), 0750);
    EXPECT_FALSE(QFileInfo(location + "/dosdevices/c:").isSymLink());
    EXPECT_TRUE(QFileInfo(location + "/dosdevices/d:").isSymLink());

    // A prefix folder without a drive map gets a fresh one.
    const QString bare = dir.path() + "/bare";
    QDir().mkpath(bare);
    Prefix::Prepare(bare);
    EXPECT_EQ(QFileInfo(bare + "/dosdevices/c:").symLinkTarget(), "/");
}

TEST(Prefix, APrefixThatCannotBeMadeIsAnError) {
    QTemporaryDir dir;
    QFile file(dir.path() + "/a file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QDir().mkpath(dir.path() + "/blocked");
    QFile blocker(dir.path() + "/blocked/dosdevices");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& location :
         QStringList{dir.path() + "/a file", dir.path() + "/a file/prefix", dir.path() + "/blocked",
                     "/proc/vallorin-prefix"}) {
        try {
            Prefix::Prepare(location);
            ADD_FAILURE() << "no error for " << location.toStdString();
        } catch (const VallorinError& e) {
            EXPECT_TRUE(e.message().startsWith("Cannot create")) << e.message().toStdString();
        }
    }
}

} // namespace
