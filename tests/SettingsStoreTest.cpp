#include "store/SettingsStore.h"
#include "platform/VallorinError.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString helperProgram() {
    return qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-store-helper";
}

QByteArray fileBytes(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const VallorinError& error) {
        return error.message();
    }
    return QString();
}

void writeStoreWithValue(const TempPrefix& prefix, const QString& value) {
    SettingsStore store(prefix.folder());
    store.openKey("Software\\Kept", true);
    store.writeString("Value", value);
    store.closeKey();
}

// A SQLite file made by another program: the statements run on a new file, in the rollback
// journal every SQLite file starts with.
QByteArray foreignDatabase(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const bool made = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return made ? fileBytes(path) : QByteArray();
}

QString keptValue(const TempPrefix& prefix) {
    SettingsStore store(prefix.folder());
    if (!store.openKey("Software\\Kept", false))
        return "(no key)";
    return store.valueType("Value") == ValueType::String ? store.readString("Value") : "(replaced)";
}

} // namespace

TEST(SettingsStoreTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    ASSERT_TRUE(store.openKey("Software\\Tesmarine\\Daily", true));
    store.writeString("Drives", "C");
    store.writeString("DRIVES", "CD");
    store.writeString("Größe", "1");
    store.writeString("GRÖSSE", "2"); // "ß" has no one-letter upper case: another name
    store.writeString("ÄRGER", "3");
    store.writeString("ärger", "4");
    EXPECT_EQ(store.getValueNames(), QStringList({"Drives", "Größe", "GRÖSSE", "ÄRGER"}));
    EXPECT_EQ(store.readString("drives"), "CD");
    EXPECT_EQ(store.readString("Ärger"), "4");
    store.closeKey();

    ASSERT_TRUE(store.openKey("SOFTWARE\\tesmarine\\DAILY", true));
    store.closeKey();
    EXPECT_EQ(store.keyNamesOf("software"), QStringList({"Tesmarine"}));
    EXPECT_EQ(store.keyNamesOf("SOFTWARE\\TESMARINE"), QStringList({"Daily"}));
}

TEST(SettingsStoreTest, SubKeysSortByUpperCaseCodeAndValuesKeepCreationOrder) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    for (const QString name : {"b", "A", "_x", "a1", "Z", "é", "Y"})
        store.openKey("Defs\\" + name, true);
    store.closeKey();
    // Upper-case codes: A < A1 < B < Y < Z < _X < É. Lower-case order would put "_x" first.
    const QStringList sorted = {"A", "a1", "b", "Y", "Z", "_x", "é"};
    EXPECT_EQ(store.keyNamesOf("Defs"), sorted);
    ASSERT_TRUE(store.openKey("Defs", false));
    EXPECT_EQ(store.getKeyNames(), sorted);

    store.writeString("zeta", "1");
    store.writeString("Alpha", "2");
    store.writeString("mid", "3");
    store.writeString("ZETA", "4"); // overwriting keeps the place
    EXPECT_EQ(store.getValueNames(), QStringList({"zeta", "Alpha", "mid"}));
    EXPECT_TRUE(store.deleteValue("alpha"));
    EXPECT_FALSE(store.deleteValue("alpha"));
    store.writeString("Alpha", "5"); // a new value goes last
    EXPECT_EQ(store.getValueNames(), QStringList({"zeta", "mid", "Alpha"}));
}

TEST(SettingsStoreTest, ValueTypesReadAsTheRegistryReadsThem) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    ASSERT_TRUE(store.openKey("Guard", true));
    store.writeString("", "default");
    store.writeString("Text", "½ and ¼");
    store.writeExpandString("Path", "%WINDIR%");
    store.writeBinary("Flag", QByteArray("\x01\x00\x00\x00", 4));
    store.writeInteger("Number", 0x1f);
    store.writeRaw("Multi", ValueType(7), QByteArray("a\0\0\0\0\0", 6));

    struct Row {
        QString name;
        ValueType type;
        QByteArray bytes;
        QString text; // what readString gives, or the start of its error
        QString integer;
    };
    const Row rows[] = {
        {"", ValueType::String, QByteArray("d\0e\0f\0a\0u\0l\0t\0\0\0", 16), "default",
         "Invalid data type for ''"},
        {"Text", ValueType::String, QByteArray("\xbd\0 \0a\0n\0d\0 \0\xbc\0\0\0", 16), "½ and ¼",
         "Invalid data type for 'Text'"},
        {"Path", ValueType::ExpandString, QByteArray("%\0W\0I\0N\0D\0I\0R\0%\0\0\0", 18),
         "%WINDIR%", "Invalid data type for 'Path'"},
        {"Flag", ValueType::Binary, QByteArray("\x01\0\0\0", 4), "Invalid data type for 'Flag'",
         "Invalid data type for 'Flag'"},
        {"Number", ValueType::DWord, QByteArray("\x1f\0\0\0", 4), "Invalid data type for 'Number'",
         "31"},
        {"Multi", ValueType(7), QByteArray("a\0\0\0\0\0", 6), "Invalid data type for 'Multi'",
         "Invalid data type for 'Multi'"},
        {"Absent", ValueType::None, QByteArray(), "", "Failed to get data for 'Absent'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(store.valueExists(row.name), row.type != ValueType::None);
        EXPECT_EQ(store.valueType(row.name), row.type);
        EXPECT_EQ(store.readBinary(row.name), row.bytes);
        QString text;
        const QString textError = errorOf([&] { text = store.readString(row.name); });
        EXPECT_EQ(textError.isEmpty() ? text : textError, row.text);
        quint32 number = 0;
        const QString numberError = errorOf([&] { number = store.readInteger(row.name); });
        EXPECT_EQ(numberError.isEmpty() ? QString::number(number) : numberError, row.integer);
    }
    EXPECT_EQ(store.getValueNames(), QStringList({"", "Text", "Path", "Flag", "Number", "Multi"}));
}

TEST(SettingsStoreTest, PathsAreCheckedAndRunsOfSeparatorsCountAsOne) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    const QString longest(MaxKeyNameLength, 'k');
    const QString tooLong = QString(MaxKeyNameLength + 1, 'k');
    struct Row {
        QString path;
        QString error; // empty: opens
        QString sameAs;
    };
    const Row rows[] = {
        {"A\\\\\\B", "", "A\\B"},
        {"A\\B\\", "", "A\\B"},
        {"", "", ""},
        {"Long\\" + longest, "", "LONG\\" + longest},
        {"\\A", "The key path \"\\A\" may not begin with \"\\\"", ""},
        {"Long\\" + tooLong,
         QString("The key name \"%1\" is longer than 255 characters").arg(tooLong), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const QString error = errorOf([&] { store.openKey(row.path, true); });
        EXPECT_EQ(error, row.error);
        if (!row.error.isEmpty()) {
            EXPECT_FALSE(store.hasOpenKey());
            EXPECT_EQ(errorOf([&] { store.keyExists(row.path); }), row.error);
            continue;
        }
        EXPECT_EQ(store.currentPath(), row.path);
        store.writeString("Marker", row.path);
        store.closeKey();
        ASSERT_TRUE(store.openKey(row.sameAs, false));
        EXPECT_EQ(store.readString("marker"), row.path);
        store.closeKey();
    }
    EXPECT_EQ(store.keyNamesOf("a"), QStringList({"B"}));
    // The root holds the keys; its own value is the one that "" wrote.
    EXPECT_EQ(store.keyNamesOf(""), QStringList({"A", "Long"}));
}

TEST(SettingsStoreTest, KeysAreCreatedWithTheirParentsAndDeletedWithTheirChildren) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    EXPECT_FALSE(store.openKey("Software\\Tesmarine\\Vallorin\\Find", false));
    EXPECT_FALSE(store.hasOpenKey());
    EXPECT_FALSE(store.keyExists("Software"));

    ASSERT_TRUE(store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Daily", true));
    store.writeString("Drives", "C");
    // Inside the open key's transaction the new keys are already visible.
    EXPECT_TRUE(store.keyExists("software\\tesmarine"));
    EXPECT_EQ(store.keyNamesOf("Software\\Tesmarine\\Vallorin"), QStringList({"Find"}));
    store.closeKey();
    ASSERT_TRUE(store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Weekly\\Deeper", true));
    store.writeString("X", "1");
    store.closeKey();

    EXPECT_TRUE(store.deleteKey("Software\\Tesmarine\\Vallorin\\FIND"));
    EXPECT_FALSE(store.deleteKey("Software\\Tesmarine\\Vallorin\\Find"));
    EXPECT_FALSE(store.keyExists("Software\\Tesmarine\\Vallorin\\Find\\Daily"));
    EXPECT_TRUE(store.keyExists("Software\\Tesmarine\\Vallorin"));
    ASSERT_TRUE(store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Daily", true));
    EXPECT_FALSE(store.valueExists("Drives")) << "values went with their key";
    // Deleting the open key itself leaves nothing to write to.
    EXPECT_TRUE(store.deleteKey("Software\\Tesmarine\\Vallorin\\Find"));
    EXPECT_NE(errorOf([&] { store.writeString("Drives", "D"); }), "");
    store.closeKey();
    EXPECT_FALSE(store.keyExists("Software\\Tesmarine\\Vallorin\\Find"));
    EXPECT_NE(errorOf([&] { store.deleteKey(""); }), "");
    EXPECT_EQ(errorOf([&] { store.readString("Drives"); }), "No settings key is open to read from");

    // A chain as deep as the registry allows is deleted whole.
    QString deep = "Deep";
    for (int level = 1; level < 512; ++level)
        deep += "\\k";
    ASSERT_TRUE(store.openKey(deep, true));
    store.closeKey();
    EXPECT_NE(errorOf([&] { store.openKey(deep + "\\k", true); }), "");
    EXPECT_TRUE(store.deleteKey("Deep"));
    EXPECT_FALSE(store.keyExists("Deep\\k"));
}

TEST(SettingsStoreTest, BranchesAreSeparateFilesAndSelectingARootClosesTheKey) {
    TempPrefix prefix;
    {
        SettingsStore store(prefix.folder());
        ASSERT_TRUE(store.openKey("Software\\Both", true));
        store.writeString("Where", "user");
        store.setRootKey(RootKey::LocalMachine);
        EXPECT_FALSE(store.hasOpenKey());
        EXPECT_EQ(store.rootKey(), RootKey::LocalMachine);
        EXPECT_FALSE(store.keyExists("Software\\Both"));
        ASSERT_TRUE(store.openKey("Software\\Both", true));
        store.writeString("Where", "machine");
        // Left open: destroying the store commits it.
    }
    for (const char* name : {"user.db", "system.db"})
        EXPECT_EQ(QFileInfo(prefix.path(name)).permissions() & 0x0077, 0) << name;
    SettingsStore store(prefix.folder());
    ASSERT_TRUE(store.openKey("Software\\Both", false));
    EXPECT_EQ(store.readString("Where"), "user");
    store.setRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(store.openKey("Software\\Both", false));
    EXPECT_EQ(store.readString("Where"), "machine");
}

TEST(SettingsStoreTest, AClosedKeySurvivesTheProgramBeingKilled) {
    TempPrefix prefix;
    QProcess helper;
    helper.start(helperProgram(), {prefix.folder(), "hold"});
    ASSERT_TRUE(helper.waitForStarted());
    ASSERT_TRUE(helper.waitForReadyRead(20000));
    ASSERT_EQ(helper.readAllStandardOutput(), "closed\n");
    helper.kill(); // SIGKILL: no destructor, no clean close of the database
    ASSERT_TRUE(helper.waitForFinished());

    SettingsStore store(prefix.folder());
    ASSERT_TRUE(store.openKey("Software\\Held", false));
    EXPECT_EQ(store.readString("Value"), "written");
}

TEST(SettingsStoreTest, InstancesOnOnePrefixLoseNoUpdate) {
    TempPrefix prefix;
    const auto increment = [](SettingsStore& store) {
        store.openKey("Software\\Counter", true);
        const quint32 now = store.valueExists("Count") ? store.readInteger("Count") : 0;
        store.writeInteger("Count", now + 1);
        store.closeKey();
    };
    SettingsStore first(prefix.folder());
    SettingsStore second(prefix.folder());
    QProcess others[2];
    for (QProcess& other : others)
        other.start(helperProgram(), {prefix.folder(), "count", "150"});
    for (int i = 0; i < 50; ++i) {
        increment(first);
        increment(second);
    }
    for (QProcess& other : others) {
        ASSERT_TRUE(other.waitForFinished(60000));
        EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardOutput().toStdString();
    }
    ASSERT_TRUE(first.openKey("Software\\Counter", false));
    EXPECT_EQ(first.readInteger("Count"), 400u);
}

// A second store opened in a program that has one open, while another program opens and closes
// its own: the other program must not take itself for the file's last user (and move the journal
// away) while the first store still writes to it.
TEST(SettingsStoreTest, AStoreOpenedBesideAnotherLosesNoChangeOfEither) {
    TempPrefix prefix;
    const auto write = [](SettingsStore& store, const QString& name) {
        store.openKey("Software\\Both", true);
        store.writeString(name, name);
        store.closeKey();
    };
    const auto other = [&] {
        QProcess helper;
        helper.start(helperProgram(), {prefix.folder(), "count", "1"});
        ASSERT_TRUE(helper.waitForFinished(30000));
        EXPECT_EQ(helper.exitCode(), 0) << helper.readAllStandardOutput().toStdString();
    };
    {
        SettingsStore first(prefix.folder());
        write(first, "One");
        {
            SettingsStore second(prefix.folder());
            write(second, "Two");
        }
        other();
        write(first, "Three");
        other();
        write(first, "Four");
    }
    SettingsStore reopened(prefix.folder());
    ASSERT_TRUE(reopened.openKey("Software\\Both", false));
    EXPECT_EQ(reopened.getValueNames(), QStringList({"One", "Two", "Three", "Four"}));
    ASSERT_TRUE(reopened.openKey("Software\\Counter", false));
    EXPECT_EQ(reopened.readInteger("Count"), 2u);
}

TEST(SettingsStoreTest, FilesThatAreNotStoresAreRefusedAndLeftAlone) {
    struct Row {
        const char* what;
        std::function<QByteArray(QByteArray)> make; // from a sound store file
    };
    const auto patched = [](int offset, QByteArray bytes) {
        return
            [offset, bytes](QByteArray file) { return file.replace(offset, bytes.size(), bytes); };
    };
    const Row rows[] = {
        {"text",
         [](QByteArray) { return QByteArray("[HKEY_CURRENT_USER]\r\nnot a database\r\n"); }},
        {"short garbage", [](QByteArray) { return QByteArray("SQLite"); }},
        {"other application", patched(68, QByteArray("\x12\x34\x56\x78", 4))},
        {"no application mark", patched(68, QByteArray(4, '\0'))},
        {"newer schema", patched(60, QByteArray("\0\0\0\x09", 4))},
        {"damaged pages", patched(4096, QByteArray(600, '\x5a'))},
        // Our mark, but not our tables: switching its journal would already change its header.
        {"mark without tables",
         [](QByteArray) {
             QTemporaryDir dir;
             return foreignDatabase(dir.filePath("f.db"), "PRAGMA application_id=1450996295;"
                                                          "CREATE TABLE other(x)");
         }},
        {"mark with other columns",
         [](QByteArray) {
             QTemporaryDir dir;
             return foreignDatabase(dir.filePath("f.db"),
                                    "PRAGMA application_id=1450996295;"
                                    "CREATE TABLE keys(id INTEGER PRIMARY KEY, label TEXT);"
                                    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key, name, upper,"
                                    " type, data)");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempPrefix prefix;
        writeStoreWithValue(prefix, "old");
        const QByteArray content = row.make(fileBytes(prefix.path("user.db")));
        QFile::remove(prefix.path("user.db"));
        prefix.writeFile("user.db", content);
        const QString error = errorOf([&] { SettingsStore store(prefix.folder()); });
        EXPECT_TRUE(error.contains(prefix.path("user.db"))) << error.toStdString();
        ASSERT_FALSE(content.isEmpty());
        EXPECT_EQ(fileBytes(prefix.path("user.db")), content);
        EXPECT_FALSE(QFileInfo::exists(prefix.path("user.db-wal")));
    }
}

// A check left until the first change: a store damaged where its opening does not read opens,
// but refuses every change with the error the opening would have given, and stays as it was.
TEST(SettingsStoreTest, ADeferredCheckRefusesEveryChangeToADamagedFile) {
    TempPrefix prefix;
    {
        SettingsStore store(prefix.folder());
        store.openKey("Software\\Kept", true);
        for (int i = 0; i < 200; ++i)
            store.writeString(QString("Value %1").arg(i), QString(100, QChar('a' + i % 26)));
        store.closeKey();
    }
    QByteArray content = fileBytes(prefix.path("user.db"));
    ASSERT_GT(content.size(), 4 * 4096);
    // The header of the file's last page, far from the pages an opening reads.
    content.replace(content.size() - 4096, 600, QByteArray(600, '\x5a'));
    QFile::remove(prefix.path("user.db"));
    prefix.writeFile("user.db", content);

    struct Row {
        const char* what;
        std::function<void(SettingsStore&)> action;
    };
    const Row rows[] = {
        {"the check itself", [](SettingsStore& store) { store.checkFiles(); }},
        {"a new key", [](SettingsStore& store) { store.openKey("Software\\New", true); }},
        {"a value written",
         [](SettingsStore& store) {
             store.openKey("Software\\Kept", false);
             store.writeString("Value 1", "changed");
         }},
        {"a value deleted",
         [](SettingsStore& store) {
             store.openKey("Software\\Kept", false);
             store.deleteValue("Value 1");
         }},
        {"a key deleted", [](SettingsStore& store) { store.deleteKey("Software\\Kept"); }},
        {"the same change twice",
         [](SettingsStore& store) {
             EXPECT_FALSE(errorOf([&] { store.deleteKey("Software\\Kept"); }).isEmpty());
             store.deleteKey("Software\\Kept");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        {
            SettingsStore store(prefix.folder(), SettingsStore::Check::BeforeFirstChange);
            EXPECT_TRUE(store.keyExists("Software\\Kept"));
            const QString error = errorOf([&] { row.action(store); });
            EXPECT_TRUE(error.contains(prefix.path("user.db"))) << error.toStdString();
            EXPECT_TRUE(error.contains("damaged")) << error.toStdString();
        }
        EXPECT_EQ(fileBytes(prefix.path("user.db")), content);
    }
    // Checked at the opening, the same file is refused there.
    EXPECT_TRUE(errorOf([&] { SettingsStore store(prefix.folder()); }).contains("damaged"));
    EXPECT_EQ(fileBytes(prefix.path("user.db")), content);
}

TEST(SettingsStoreTest, ADeferredCheckOfASoundFileLetsEveryChangeThrough) {
    TempPrefix prefix;
    writeStoreWithValue(prefix, "old");
    {
        SettingsStore store(prefix.folder(), SettingsStore::Check::BeforeFirstChange);
        ASSERT_TRUE(store.openKey("Software\\Kept", false));
        store.writeString("Value", "new");
        store.closeKey();
        store.checkFiles();
    }
    EXPECT_EQ(keptValue(prefix), "new");
}

TEST(SettingsStoreTest, AFailedWriteKeepsWhatWasStoredBefore) {
    struct Row {
        const char* command;
        const char* reason;
    };
    const Row rows[] = {{"readonly", "the file is read-only"}, {"full", "the disk is full"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        TempPrefix prefix;
        writeStoreWithValue(prefix, "old");
        if (QString(row.command) == "readonly") {
            QFile::setPermissions(prefix.folder(), QFileDevice::Permissions(0x7777));
            QFile::setPermissions(prefix.path("user.db"), QFileDevice::Permissions(0x4444));
            QFile::setPermissions(prefix.path("system.db"), QFileDevice::Permissions(0x6666));
        }
        QProcess helper;
        helper.start(helperProgram(), {prefix.folder(), row.command});
        ASSERT_TRUE(helper.waitForFinished(30000));
        const QString output = QString::fromUtf8(helper.readAllStandardOutput());
        EXPECT_EQ(helper.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(row.reason)) << output.toStdString();
        EXPECT_TRUE(output.contains(prefix.path("user.db"))) << output.toStdString();
        EXPECT_EQ(keptValue(prefix), "old");
    }
}

// A store file that is not a file is named for what it is, and none of them blocks the program:
// a named pipe would wait for a writer, a device read like a failing disk.
TEST(SettingsStoreTest, AStoreFileThatIsNoFileIsNamedForWhatItIs) {
    struct Row {
        const char* what;
        std::function<void(const QString&)> make;
        QString says;
    };
    const Row rows[] = {
        {"link to /dev/zero", [](const QString& file) { QFile::link("/dev/zero", file); },
         "it is a link to \"/dev/zero\", which is a character device"},
        {"named pipe",
         [](const QString& file) { ::mkfifo(QFile::encodeName(file).constData(), 0600); },
         "it is a named pipe (FIFO)"},
        {"link to a named pipe",
         [](const QString& file) {
             ::mkfifo(QFile::encodeName(file + ".pipe").constData(), 0600);
             QFile::link(file + ".pipe", file);
         },
         "it is a link to \"%1.pipe\", which is a named pipe (FIFO)"},
        {"folder", [](const QString& file) { QDir().mkdir(file); }, "it is a folder"},
        {"dangling link", [](const QString& file) { QFile::link("/nonexistent/user.db", file); },
         "it is a link to \"/nonexistent/user.db\", which does not exist"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempPrefix prefix;
        const QString file = prefix.path("user.db");
        row.make(file);
        const QString error = errorOf([&] { SettingsStore store(prefix.folder()); });
        EXPECT_EQ(error, QString("The settings file \"%1\" cannot be used: %2. It was left "
                                 "unchanged; restore it from a backup, or remove it to start "
                                 "afresh.")
                             .arg(file, QString(row.says).replace("%1", file)));
    }
}

TEST(SettingsStoreTest, NamesItCouldNotAddressAgainAreRefused) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    const QString nul = QString("a") + QChar(0) + "b";
    const QString halfPair = QString("a") + QChar(0xDC00);
    struct Row {
        const char* what;
        std::function<void()> action;
        QString error;
    };
    const Row rows[] = {
        {"key with NUL", [&] { store.openKey("Software\\" + nul, true); },
         "The key name \"a<U+0000>b\" holds a NUL character, which the settings cannot keep"},
        {"key with half a pair", [&] { store.keyExists(halfPair + "\\x"); },
         "The key name \"a<U+DC00>\" holds half of a surrogate pair, which the settings cannot "
         "keep"},
        {"value with NUL",
         [&] {
             store.openKey("Software", true);
             store.writeString(nul, "x");
         },
         "The value name \"a<U+0000>b\" holds a NUL character, which the settings cannot keep"},
        {"value with half a pair",
         [&] {
             store.openKey("Software", true);
             store.writeInteger(halfPair, 1);
         },
         "The value name \"a<U+DC00>\" holds half of a surrogate pair, which the settings cannot "
         "keep"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(errorOf(row.action), row.error);
        store.closeKey();
    }
    ASSERT_TRUE(store.openKey("Software", false));
    EXPECT_EQ(store.getValueNames(), QStringList());
    EXPECT_EQ(store.getKeyNames(), QStringList());
}

// One change over both branches: committed together when it returns, rolled back in both when
// it throws, and confined to the branches it was given.
TEST(SettingsStoreTest, AChangeInOneTransactionIsKeptWholeOrNotAtAll) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    const auto change = [&](bool fail) {
        store.setRootKey(RootKey::CurrentUser);
        store.openKey("Software\\A", true);
        store.writeString("Value", "user");
        store.openKey("Software\\B", true); // closing A commits nothing yet
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("Software\\C", true);
        store.writeString("Value", "machine");
        if (fail)
            throw VallorinError("stop");
    };
    const QList<RootKey> both = {RootKey::CurrentUser, RootKey::LocalMachine};
    EXPECT_EQ(errorOf([&] { store.inOneTransaction(both, [&] { change(true); }); }), "stop");
    EXPECT_FALSE(store.hasOpenKey());
    {
        // Another program sees nothing of it either.
        SettingsStore other(prefix.folder());
        EXPECT_FALSE(other.keyExists("Software"));
        other.setRootKey(RootKey::LocalMachine);
        EXPECT_FALSE(other.keyExists("Software"));
    }
    EXPECT_EQ(
        errorOf([&] { store.inOneTransaction({RootKey::CurrentUser}, [&] { change(false); }); }),
        "The settings change was not prepared for this branch");
    store.setRootKey(RootKey::CurrentUser);
    EXPECT_FALSE(store.keyExists("Software"));

    store.inOneTransaction(both, [&] { change(false); });
    EXPECT_FALSE(store.hasOpenKey());
    SettingsStore other(prefix.folder());
    EXPECT_EQ(other.keyNamesOf("Software"), QStringList({"A", "B"}));
    other.setRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(other.openKey("Software\\C", false));
    EXPECT_EQ(other.readString("Value"), "machine");
}
