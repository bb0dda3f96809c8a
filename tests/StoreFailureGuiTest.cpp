#include "support/FormFixture.h"
#include "support/SavedDefinitions.h"

#include "platform/FileSystem.h"
#include "store/SettingsStore.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int PageSize = 4096;

// Mounts are made in a mount namespace of this test program's own (it runs as one process per
// test case), so nothing of them is seen outside or outlives the test.
bool EnterPrivateMounts() {
    static const bool entered = ::unshare(CLONE_NEWNS) == 0 &&
                                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

QByteArray Md5Of(const QString& file) {
    return QCryptographicHash::hash(FileSystem::ReadWholeFile(file), QCryptographicHash::Md5)
        .toHex();
}

// Overwrites count bytes of the file from offset.
void Overwrite(const QString& file, qint64 offset, qint64 count) {
    QByteArray content = FileSystem::ReadWholeFile(file);
    ASSERT_GE(content.size(), offset + count) << file.toStdString();
    content.replace(offset, count, QByteArray(count, '\x5a'));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::ReadWrite)); // in place: the file stays the store's inode
    out.write(content);
}

// Fills the file system of the file's folder until a write fails; returns the bytes written.
qint64 FillDisk(const QString& file) {
    QFile filler(file);
    if (!filler.open(QIODevice::WriteOnly))
        return 0;
    const QByteArray block(4096, 'f');
    qint64 written = 0;
    while (filler.write(block) == block.size() && filler.flush())
        written += block.size();
    return written;
}

// The immutable attribute of a file, for when no read-only mount can be made (the tests run as
// root, who ignores modes).
bool SetImmutable(const QByteArray& file, bool on) {
    const int fd = ::open(file.constData(), O_RDONLY);
    int flags = 0;
    const bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                       ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0)
        ::close(fd);
    return done;
}

class StoreFailureGuiTest : public FormFixture {
protected:
    // 300 definitions, a selection and a key the start-up never reads, written last so that
    // the file's last pages hold it.
    void seedStore() {
        installToolkit({"WFindV32.exe", "WViVer32.exe", "CleanBoo.exe", "mine.lst"});
        auto store = openStore();
        for (int i = 0; i < 300; ++i)
            SavedDefinitions::save(*store, QString("Daily %1").arg(i), i);
        store->openKey("Software\\Tesmarine\\Vallorin\\Find", true);
        store->writeString("Selected", "Before");
        store->openKey("Software\\Other", true);
        for (int i = 0; i < 200; ++i)
            store->writeString(QString("Value %1").arg(i), QString(100, QChar('a' + i % 26)));
        store->closeKey();
    }
};

// No store that is damaged, foreign, read-only or on a full disk keeps the window open. One
// that cannot be used is reported once, wherever that shows (at the start, in the whole-file
// check once the window is shown, or at the save of the close), in one wording; what needs it
// is disabled and Exit closes without a question. A save that fails otherwise asks whether to
// close anyway. Either way the file stays exactly as it was.
TEST_F(StoreFailureGuiTest, NoDamagedOrLockedStoreKeepsTheWindowOpen) {
    enum class Shows { AtStart, OnceShown, AtClose };
    const QString damaged = "it is damaged";
    QTemporaryDir mountPoint;
    const QByteArray mountPath = QFile::encodeName(mountPoint.path());
    const bool smallDisk =
        EnterPrivateMounts() && ::mount("tmpfs", mountPath.constData(), "tmpfs",
                                        MS_NOSUID | MS_NODEV, "size=16m,mode=0700") == 0;
    if (!smallDisk)
        std::cout << "[ fallback ] no private tmpfs here: a file size limit stands in for the "
                     "full disk"
                  << std::endl;
    rlimit fileSizeLimit{};
    QByteArray readOnlyFile; // the store's file while it is read-only
    bool immutable = false;

    struct Row {
        const char* name;
        Shows shows;
        QString reason;                  // what the box says is wrong with the file
        std::function<void()> make;      // damages or locks the seeded store; empty: nothing
        std::function<void()> undo = {}; // after the window is gone; empty: nothing
    };
    const QString user = "user.db";
    const Row rows[] = {
        {"header", Shows::AtStart, damaged,
         [&] { Overwrite(prefix.path(user), 16, 84); }}, // all of it but "SQLite format 3"
        {"middle pages (filling the definitions)", Shows::AtStart, damaged,
         [&] { Overwrite(prefix.path(user), 2 * PageSize, 4 * PageSize); }},
        {"tail pages (only the whole-file check)", Shows::OnceShown, damaged,
         [&] {
             const qint64 size = QFileInfo(prefix.path(user)).size();
             Overwrite(prefix.path(user), size - PageSize, 600);
         }},
        {"a foreign SQLite file", Shows::AtStart, "it is not a settings file of this program",
         [&] {
             QFile file(prefix.path(user));
             ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.seek(68));
             file.write("\x12\x34\x56\x78", 4); // the application mark of another program
         }},
        {"damaged while open", Shows::AtClose, damaged, {}},
        {"read-only file", Shows::AtClose, "the file is read-only",
         [&] {
             readOnlyFile = QFile::encodeName(prefix.path(user));
             ASSERT_TRUE(QFile::setPermissions(prefix.path(user), QFile::ReadOwner));
             const char* file = readOnlyFile.constData();
             if (EnterPrivateMounts() && ::mount(file, file, nullptr, MS_BIND, nullptr) == 0 &&
                 ::mount(nullptr, file, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0)
                 return;
             immutable = SetImmutable(readOnlyFile, true);
             ASSERT_TRUE(immutable) << "neither a read-only mount nor the immutable attribute";
         },
         [&] {
             if (immutable)
                 SetImmutable(readOnlyFile, false);
             else
                 ::umount2(readOnlyFile.constData(), MNT_DETACH);
         }},
        {"full disk",
         Shows::AtClose,
         smallDisk ? "the disk is full" : "the disk is full or failing",
         {},
         [&] {
             if (smallDisk)
                 QFile::remove(prefix.path("filler"));
             else
                 ::setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        const bool onSmallDisk = smallDisk && QString(row.name) == "full disk";
        if (onSmallDisk) {
            qputenv("TMPDIR", mountPath);
            prefix.reset();
            qunsetenv("TMPDIR");
        }
        seedStore();
        if (row.make)
            row.make();
        const QString file = prefix.path(user);
        const bool unusable = row.reason.startsWith("it ");
        const QString says =
            unusable
                ? QString("The settings file \"%1\" cannot be used: %2. It was left unchanged; "
                          "restore it from a backup, or remove it to start afresh.")
                      .arg(file, row.reason)
                : QString("The changes cannot be saved.\r\rThe settings file \"%1\" could not be "
                          "used: %2.\r\rClose anyway?")
                      .arg(file, row.reason);

        start();
        EXPECT_EQ(prompts.texts(), row.shows == Shows::AtStart ? QStringList{says} : QStringList{});
        form->show();
        QTest::qWait(20); // the whole-file check, which waits for the window
        EXPECT_EQ(prompts.texts(), row.shows == Shows::AtClose ? QStringList{} : QStringList{says});
        if (QString(row.name) == "damaged while open") {
            // A change saved meanwhile lies in the journal, which is not to be copied into the
            // file once it is found damaged.
            SettingsStore& store = form->store();
            ASSERT_TRUE(store.openKey("Software\\Other", false));
            store.writeString("Value 0", "changed");
            store.closeKey();
            Overwrite(file, 1 * PageSize, 5 * PageSize);
        }
        if (QString(row.name) == "full disk") {
            if (onSmallDisk) {
                ASSERT_GT(FillDisk(prefix.path("filler")), 0);
            } else {
                // Writes beyond 4 KB fail (EFBIG), as on a full disk.
                ::signal(SIGXFSZ, SIG_IGN);
                ::getrlimit(RLIMIT_FSIZE, &fileSizeLimit);
                const rlimit limit{4096, fileSizeLimit.rlim_max};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
        }
        const QByteArray md5 = Md5Of(file);

        if (unusable) {
            // Exit asks nothing: not the guard page's question, nor about the save.
            EXPECT_TRUE(closeForm());
            EXPECT_EQ(prompts.texts(), QStringList{says});
            EXPECT_TRUE(form->StoreGivenUp);
            for (const QWidget* control : std::initializer_list<const QWidget*>{
                     form->Find.ScanCombo, form->Find.SBtnScan, form->Find.SBtnDelScan,
                     form->Check.SBtnVerify, form->Guard.SBtnApply})
                EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        } else {
            // No keeps the window open; Yes closes it.
            prompts.answers = {MessageAnswer::No};
            EXPECT_FALSE(closeForm());
            EXPECT_TRUE(form->isVisible());
            prompts.answers = {MessageAnswer::Yes};
            EXPECT_TRUE(closeForm());
            EXPECT_EQ(prompts.texts(), QStringList({says, says}));
        }
        EXPECT_FALSE(form->isVisible());
        form.reset(); // the store's files are closed
        EXPECT_EQ(Md5Of(file), md5);
        if (row.undo)
            row.undo();
    }
    reset();
    if (smallDisk)
        ::umount2(mountPath.constData(), MNT_DETACH);
}

} // namespace
