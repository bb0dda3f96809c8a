#include "support/FormFixture.h"
#include "support/SavedDefinitions.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

// Mounts are made in a mount namespace of this test program's own (it runs as one process per
// test case), so nothing of them is seen outside or outlives the test.
bool EnterPrivateMounts() {
    static const bool entered = ::unshare(CLONE_NEWNS) == 0 &&
                                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

// Every key and value below the root of a branch, as lines, to compare before and after.
void dumpKey(SettingsStore& store, const QString& path, QStringList& lines) {
    if (!store.openKey(path, false))
        return;
    for (const QString& name : store.getValueNames())
        lines << path + " : " + name + " = " + store.readBinary(name).toHex();
    store.closeKey();
    for (const QString& child : store.keyNamesOf(path))
        dumpKey(store, path.isEmpty() ? child : path + '\\' + child, lines);
}

QStringList dump(SettingsStore& store) {
    QStringList lines;
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
        store.setRootKey(root);
        lines << (root == RootKey::CurrentUser ? "[user]" : "[machine]");
        for (const QString& key : store.keyNamesOf(""))
            dumpKey(store, key, lines);
    }
    return lines;
}

// Fills the file system of folder until a write fails; returns the bytes written.
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

class StoreFailureGuiTest : public FormFixture {
protected:
    // A store holding a definition, the selection and the toolkit's key, made before the window
    // opens; what the failure must leave exactly as it is.
    QStringList seedStore() {
        installToolkit({"WFindV32.exe", "WViVer32.exe", "CleanBoo.exe", "mine.lst"});
        auto store = openStore();
        SavedDefinitions::save(*store, "Daily", 7);
        store->openKey("Software\\Tesmarine\\Vallorin\\Find", true);
        store->writeString("Selected", "Before");
        store->closeKey();
        return dump(*store);
    }

    // The window is asked to close while the store cannot be written (breakStore runs after
    // the start-up): the error box tells why, the window stays open, and the store keeps what
    // it held.
    void expectRefusedClose(
        const QStringList& before, const char* reason,
        const std::function<void()>& breakStore = [] {}) {
        start();
        ASSERT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
        breakStore();
        // A change that the close must write: the selection is stored at every close.
        form->Find.ScanCombo->addItem("After");
        form->Find.ScanCombo->setCurrentIndex(form->Find.ScanCombo->count() - 1);
        prompts.clear();
        EXPECT_FALSE(closeForm());
        ASSERT_EQ(prompts.errors.size(), 1) << prompts.texts().join('|').toStdString();
        EXPECT_TRUE(prompts.errors[0].contains(reason)) << prompts.errors[0].toStdString();
        EXPECT_TRUE(prompts.errors[0].contains("user.db")) << prompts.errors[0].toStdString();
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(dump(*openStore()), before);
    }
};

// A disk that fills up: the close fails with "the disk is full", the window stays open, and
// once there is room again the same close succeeds and saves.
TEST_F(StoreFailureGuiTest, AFullDiskRefusesTheCloseAndKeepsTheStore) {
    QTemporaryDir mountPoint;
    const bool smallDisk =
        EnterPrivateMounts() && ::mount("tmpfs", QFile::encodeName(mountPoint.path()).constData(),
                                        "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,mode=0700") == 0;
    rlimit previousLimit{};
    if (smallDisk) {
        // The prefix on the small file system.
        qputenv("TMPDIR", QFile::encodeName(mountPoint.path()));
        prefix.reset();
        qunsetenv("TMPDIR");
    } else {
        std::cout << "[ fallback ] no private tmpfs here: a file size limit stands in for the "
                     "full disk"
                  << std::endl;
    }
    const QStringList before = seedStore();
    // The disk fills up while the window is open.
    expectRefusedClose(before, smallDisk ? "the disk is full" : "the disk is full or failing", [&] {
        if (smallDisk) {
            ASSERT_GT(FillDisk(prefix.path("filler")), 0);
            return;
        }
        // Writes beyond 4 KB fail (EFBIG), as on a full disk.
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previousLimit);
        const rlimit limit{4096, previousLimit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });

    if (smallDisk)
        QFile::remove(prefix.path("filler"));
    else
        ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    prompts.clear();
    EXPECT_TRUE(closeForm()) << prompts.texts().join('|').toStdString();
    EXPECT_EQ(stored(RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin\\Find", "Selected"),
              "After");
    form.reset();
    if (smallDisk)
        ::umount2(QFile::encodeName(mountPoint.path()).constData(), MNT_DETACH);
}

// A store file that may not be written (mode 0400, and since the tests run as root, who ignores
// modes, also a read-only bind mount or the immutable attribute): the same refusal.
TEST_F(StoreFailureGuiTest, AReadOnlyStoreRefusesTheCloseAndKeepsTheStore) {
    const QStringList before = seedStore();
    const QString file = prefix.path("user.db");
    const QByteArray name = QFile::encodeName(file);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
    bool immutable = false;
    if (!(EnterPrivateMounts() &&
          ::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) == 0 &&
          ::mount(nullptr, name.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
              0)) {
        const int fd = ::open(name.constData(), O_RDONLY);
        int flags = 0;
        immutable = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        if (fd >= 0)
            ::close(fd);
        ASSERT_TRUE(immutable) << "neither a read-only mount nor the immutable attribute works";
        std::cout << "[ fallback ] the store file is made immutable" << std::endl;
    }
    expectRefusedClose(before, "the file is read-only");

    form.reset();
    if (immutable) {
        const int fd = ::open(name.constData(), O_RDONLY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0)
            ::close(fd);
    } else {
        ::umount2(name.constData(), MNT_DETACH);
    }
}

// A store that could not be opened at all (a file that is not a store is never touched): the
// start-up says so, and the window still closes, since there is nothing it could save into.
TEST_F(StoreFailureGuiTest, AStoreThatNeverOpenedLetsTheWindowClose) {
    const QByteArray foreign = "not a settings file";
    prefix.writeFile("user.db", foreign);
    start();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("is not a settings file of this program"));
    prompts.clear();
    EXPECT_TRUE(closeForm()) << prompts.texts().join('|').toStdString();
    EXPECT_TRUE(prompts.messages.isEmpty());
    QFile file(prefix.path("user.db"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), foreign);
}

} // namespace
