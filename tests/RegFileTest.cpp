#include "store/RegFile.h"
#include "platform/VallorinError.h"
#include "store/SettingsStore.h"
#include "support/TempPrefix.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Kind = RegOperation::Kind;

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

RegOperation op(Kind kind, int line, RootKey root, const QString& path, const QString& name = {},
                ValueType type = ValueType::None, const QByteArray& data = {}) {
    return RegOperation{kind, root, path, name, type, data, line};
}

const QString V5 = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr RootKey User = RootKey::CurrentUser;
constexpr RootKey Machine = RootKey::LocalMachine;

} // namespace

TEST(RegFileTest, ParsesEveryLineForm) {
    struct Row {
        const char* what;
        QString text;
        QList<RegOperation> expected;
    };
    const QString key = "[HKEY_CURRENT_USER\\Software\\Test]\r\n";
    const RegOperation open = op(Kind::CreateKey, 3, User, "Software\\Test");
    const auto set = [](const QString& name, ValueType type, const QByteArray& data) {
        return op(Kind::SetValue, 4, User, "Software\\Test", name, type, data);
    };
    const Row rows[] = {
        {"text",
         V5 + key + "\"Name\"=\"a \\\"quoted\\\" C:\\\\path\"\r\n",
         {open,
          set("Name", ValueType::String, utf16(QString("a \"quoted\" C:\\path") + QChar(0)))}},
        {"default",
         V5 + key + "@=\"default\"\r\n",
         {open, set("", ValueType::String, utf16(QString("default") + QChar(0)))}},
        {"escaped name",
         V5 + key + "\"a\\\\b \\\"c\\\"\"=-\r\n",
         {open, op(Kind::DeleteValue, 4, User, "Software\\Test", "a\\b \"c\"")}},
        {"dword",
         V5 + key + "\"D\"=dword:0000001f\r\n",
         {open, set("D", ValueType::DWord, QByteArray("\x1f\0\0\0", 4))}},
        {"binary",
         V5 + key + "\"B\"=hex:01,00,ff, 7\r\n",
         {open, set("B", ValueType::Binary, QByteArray("\x01\x00\xff\x07", 4))}},
        {"empty binary", V5 + key + "\"B\"=hex:\r\n", {open, set("B", ValueType::Binary, {})}},
        {"continued",
         V5 + key + "\"B\"=hex:01,02,\\\r\n  03,\\\r\n  04\r\n",
         {open, set("B", ValueType::Binary, QByteArray("\x01\x02\x03\x04"))}},
        {"expandable v5",
         V5 + key + "\"E\"=hex(2):25,00,58,00,00,00\r\n",
         {open, set("E", ValueType::ExpandString, QByteArray("%\0X\0\0\0", 6))}},
        {"expandable ansi",
         "REGEDIT4\r\n\r\n" + key + "\"E\"=hex(2):25,bd,00\r\n",
         {open, set("E", ValueType::ExpandString, utf16(QString("%½") + QChar(0)))}},
        {"any type",
         V5 + key + "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n",
         {open, set("Q", ValueType(11), QByteArray("\1\2\3\4\5\6\7\x08"))}},
        {"deletions and roots",
         V5 + "[-HKEY_LOCAL_MACHINE\\System\\Old]\n[hklm]\n; a comment\n[HKCU\\A\\\\B]\n",
         {op(Kind::DeleteKey, 3, Machine, "System\\Old"), op(Kind::CreateKey, 4, Machine, ""),
          op(Kind::CreateKey, 6, User, "A\\\\B")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        try {
            EXPECT_EQ(RegFile::parse(row.text), row.expected);
        } catch (const VallorinError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST(RegFileTest, RefusesGarbageNamingItsLine) {
    struct Row {
        QString text;
        QString error;
    };
    const QString key = "[HKEY_CURRENT_USER\\Software]\r\n";
    const Row rows[] = {
        {"", "Line 1: the file is empty"},
        {"\r\nREGEDIT5\r\n", "Line 2: a registry file begins with"},
        {V5 + "\"Early\"=\"x\"\r\n", "Line 3: a value stands before any key"},
        {V5 + key + "garbage\r\n", "Line 4: \"garbage\" is neither a key nor a value"},
        {V5 + "[HKEY_USERS\\x]\r\n", "Line 3: \"HKEY_USERS\\x\" does not begin with"},
        {V5 + "[HKCU\\x\r\n", "Line 3: the key name has no closing"},
        {V5 + "[-HKCU]\r\n", "Line 3: a root key cannot be deleted"},
        {V5 + "[HKCU\\" + QString(256, 'k') + "]\r\n", "Line 3: The key name \"kkk"},
        {V5 + key + "\"a\"=\"open\r\n", "Line 4: a text has no closing quote"},
        {V5 + key + "\"a\"=\"bad \\n\"\r\n", "Line 4: a \"\\\" in a text must be followed"},
        {V5 + key + "\"a\"=\"x\" y\r\n", "Line 4: there is more after the closing quote"},
        {V5 + key + "\"a\"\"x\"\r\n", "Line 4: the value name is not followed by \"=\""},
        {V5 + key + "\"a\"=dword:123456789\r\n", "Line 4: a dword value needs"},
        {V5 + key + "\"a\"=dword:\r\n", "Line 4: a dword value needs"},
        {V5 + key + "\"a\"=hex:01,\\\r\n  02,zz\r\n", "Line 5: \"zz\" is not a hex byte"},
        {V5 + key + "\"a\"=hex:01,,02\r\n", "Line 4: \"\" is not a hex byte"},
        {V5 + key + "\"a\"=hex:01,\\", "Line 4: the last line ends with a continuation"},
        {V5 + key + "\"a\"=hex(z):01\r\n", "Line 4: the type in \"hex(...)\" must be"},
        {V5 + key + "\"a\"=hex;01\r\n", "Line 4: \"hex\" must be followed by \":\""},
        {V5 + key + "\"a\"=word:1\r\n", "Line 4: \"word:1\" is not a value of the format"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        QString error;
        try {
            RegFile::parse(row.text);
        } catch (const VallorinError& e) {
            error = e.message();
        }
        EXPECT_TRUE(error.startsWith(row.error)) << error.toStdString();
    }
}

TEST(RegFileTest, DecodesEveryEncodingTheEditorWrites) {
    const QString text = "REGEDIT4\r\n[HKCU\\½Ä]\r\n";
    const QByteArray utf16le = QByteArray("\xFF\xFE", 2) + utf16(text);
    const QByteArray cp1252 = "REGEDIT4\r\n[HKCU\\\xBD\xC4]\r\n"; // not valid UTF-8
    for (const QByteArray& bytes : QList<QByteArray>{
             utf16le, QByteArray("\xEF\xBB\xBF") + text.toUtf8(), text.toUtf8(), cp1252}) {
        const QList<RegOperation> ops = RegFile::parseBytes(bytes);
        ASSERT_EQ(ops.size(), 1);
        EXPECT_EQ(ops[0].path, "½Ä");
    }
    EXPECT_EQ(RegFile::decode("\x80\x9f"), QString("€Ÿ"));
}

TEST(RegFileTest, ExportWritesTheEditorsFormatAndImportRestoresEverything) {
    TempPrefix source;
    {
        SettingsStore store(source.folder());
        store.openKey("Software\\Tesmarine\\Vallorin", true);
        store.writeString("", "½ and ¼ \"quoted\" C:\\dir");
        store.writeString("Lines", "one\r\ntwo");
        store.writeExpandString("Path", "%WINDIR%\\x");
        store.writeBinary("Flag", QByteArray("\x01\x00\x00\x00", 4));
        store.writeBinary("Long", QByteArray(40, '\xab'));
        store.writeInteger("Count", 0x1f);
        store.writeRaw("Odd", ValueType::DWord, "\x01");
        store.writeRaw("Multi", ValueType(7), utf16(QString("a") + QChar(0) + "b" + QChar(0)));
        store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Daily", true);
        store.writeString("Drives", "C");
        store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Ärger", true);
        store.closeKey();
        store.setRootKey(RootKey::LocalMachine);
        store.openKey("Software\\Other", true);
    }
    SettingsStore store(source.folder());
    const QByteArray exported =
        RegFile::exportKey(store, RootKey::CurrentUser, "software\\tesmarine\\VALLORIN");
    EXPECT_FALSE(store.hasOpenKey());
    ASSERT_TRUE(exported.startsWith("\xFF\xFE"));
    const QString text = RegFile::decode(exported);
    const QString expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin]\r\n"
        "@=\"½ and ¼ \\\"quoted\\\" C:\\\\dir\"\r\n"
        "\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\r\n"
        "\"Path\"=hex(2):25,00,57,00,49,00,4e,00,44,00,49,00,52,00,25,00,5c,00,78,00,00,\\\r\n"
        "  00\r\n"
        "\"Flag\"=hex:01,00,00,00\r\n"
        "\"Long\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
        "  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab\r\n"
        "\"Count\"=dword:0000001f\r\n"
        "\"Odd\"=hex(4):01\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin\\Find]\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin\\Find\\Daily]\r\n"
        "\"Drives\"=\"C\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tesmarine\\Vallorin\\Find\\Ärger]\r\n"
        "\r\n";
    EXPECT_EQ(text.toStdString(), expected.toStdString());

    TempPrefix target;
    const QString file = target.path("export.reg");
    RegFile::exportFile(store, RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin", file);
    SettingsStore restored(target.folder());
    RegFile::importFile(restored, file);
    EXPECT_FALSE(restored.hasOpenKey());
    EXPECT_EQ(RegFile::exportKey(restored, RootKey::CurrentUser, "Software\\Tesmarine\\Vallorin"),
              exported);
    restored.openKey("Software\\Tesmarine\\Vallorin", false);
    EXPECT_EQ(restored.readString(""), "½ and ¼ \"quoted\" C:\\dir");
    EXPECT_EQ(restored.readString("Lines"), "one\r\ntwo");
    EXPECT_EQ(restored.valueType("Path"), ValueType::ExpandString);
    restored.closeKey();
    EXPECT_FALSE(restored.keyExists("Software\\Other"));
    EXPECT_THROW(RegFile::exportKey(store, RootKey::CurrentUser, "Software\\Missing"),
                 VallorinError);
}

TEST(RegFileTest, ImportDeletesAndNamesTheLineOfAStoreError) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    store.openKey("Software\\Gone\\Sub", true);
    store.openKey("Software\\Kept", true);
    store.writeString("Old", "x");
    store.writeString("Stay", "y");
    store.closeKey();
    RegFile::apply(store, RegFile::parse(V5 + "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
                                              "[HKEY_CURRENT_USER\\Software\\Kept]\r\n"
                                              "\"old\"=-\r\n"
                                              "\"New\"=dword:00000002\r\n"));
    EXPECT_FALSE(store.keyExists("Software\\Gone"));
    store.openKey("Software\\Kept", false);
    EXPECT_EQ(store.getValueNames(), QStringList({"Stay", "New"}));
    EXPECT_EQ(store.readInteger("New"), 2u);
    store.closeKey();

    QString error;
    const QList<RegOperation> misuse = {op(Kind::DeleteKey, 7, User, "\\Bad")};
    try {
        RegFile::apply(store, misuse);
    } catch (const VallorinError& e) {
        error = e.message();
    }
    EXPECT_TRUE(error.startsWith("Line 7: The key path")) << error.toStdString();
}

// A name the store could not address again (cut at a NUL, or holding half a surrogate pair that
// has no UTF-8 form) and a key deeper than the store allows are refused while reading, with
// the line, before anything is applied.
TEST(RegFileTest, RefusesNamesAndPathsTheStoreCannotKeepNamingTheirLine) {
    const QString nul(QChar(0));
    const QString halfPair(QChar(0xD800));
    QString deep = "[HKCU";
    for (int level = 0; level <= MaxKeyDepth; ++level)
        deep += "\\k";
    struct Row {
        const char* what;
        QString text;
        QString error;
    };
    const Row rows[] = {
        {"NUL in a key name", V5 + "[HKCU\\Soft" + nul + "ware]\r\n",
         "Line 3: The key name \"Soft<U+0000>ware\" holds a NUL character"},
        {"NUL in a deleted key", V5 + "[-HKCU\\A\\" + nul + "]\r\n", "Line 3: The key name"},
        {"NUL in a value name", V5 + "[HKCU\\A]\r\n\"x" + nul + "y\"=\"1\"\r\n",
         "Line 4: The value name \"x<U+0000>y\" holds a NUL character"},
        {"NUL in a deleted value", V5 + "[HKCU\\A]\r\n\r\n\"" + nul + "\"=-\r\n",
         "Line 5: The value name"},
        {"half a pair in a key", V5 + "[HKCU\\A" + halfPair + "]\r\n",
         "Line 3: The key name \"A<U+D800>\" holds half of a surrogate pair"},
        {"half a pair in a value", V5 + "[HKCU\\A]\r\n\"" + halfPair + "b\"=dword:1\r\n",
         "Line 4: The value name \"<U+D800>b\" holds half of a surrogate pair"},
        {"too deep", V5 + "[HKCU\\A]\r\n\"B\"=hex:01,\\\r\n 02\r\n" + deep + "]\r\n",
         "Line 6: The key path \"" + deep.mid(6) + "\" is nested deeper than 512 keys"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // As text, and as the UTF-16 file the registry editor writes, which can hold both.
        const QByteArray file = QByteArray("\xFF\xFE", 2) + utf16(row.text);
        for (const auto& parse : {std::function([&] { RegFile::parse(row.text); }),
                                  std::function([&] { RegFile::parseBytes(file); })}) {
            QString error;
            try {
                parse();
            } catch (const VallorinError& e) {
                error = e.message();
            }
            EXPECT_TRUE(error.startsWith(row.error)) << error.toStdString();
        }
    }
    // A whole surrogate pair is an ordinary character.
    EXPECT_EQ(RegFile::parse(V5 + "[HKCU\\" + QString::fromUcs4(U"\U0001F600") + "]").size(), 1);
}

// An import is all or nothing: a file that fails anywhere, in its text or in the store, leaves
// both branches as they were; a file that succeeds is there in full.
TEST(RegFileTest, AnImportThatFailsAnywhereChangesNothing) {
    TempPrefix prefix;
    SettingsStore store(prefix.folder());
    store.openKey("Software\\Kept", true);
    store.writeString("Value", "old");
    store.setRootKey(RootKey::LocalMachine);
    store.openKey("Software\\Machine", true);
    store.writeString("Value", "old");
    store.closeKey();
    const auto snapshot = [&]() -> QByteArray {
        return RegFile::exportKey(store, User, "") + RegFile::exportKey(store, Machine, "");
    };
    const QByteArray before = snapshot();
    const QString changes = V5 + "[HKCU\\Software\\New1]\r\n\"a\"=\"1\"\r\n"
                                 "[-HKCU\\Software\\Kept]\r\n"
                                 "[HKLM\\Software\\Machine]\r\n\"Value\"=\"new\"\r\n"
                                 "[HKCU\\Software\\New2]\r\n";
    struct Row {
        const char* what;
        QString text;
        QString error;
    };
    QString deep = "[HKCU\\Software";
    for (int level = 1; level <= MaxKeyDepth; ++level)
        deep += "\\k";
    const Row rows[] = {
        {"a line of garbage at the end", changes + "garbage\r\n", "Line 9:"},
        {"a key too deep at the end", changes + deep + "]\r\n", "Line 9: The key path"},
        {"a NUL at the end", changes + "\"" + QChar(0) + "\"=\"x\"\r\n", "Line 9: The value name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QString file = prefix.writeFile("bad.reg", row.text.toUtf8());
        QString error;
        try {
            RegFile::importFile(store, file);
        } catch (const VallorinError& e) {
            error = e.message();
        }
        EXPECT_TRUE(error.startsWith(file + ", " + row.error)) << error.toStdString();
        EXPECT_FALSE(store.hasOpenKey());
        EXPECT_EQ(snapshot(), before);
    }

    // A failure in the store itself, after both branches have been changed: a path it refuses.
    QList<RegOperation> failing = RegFile::parse(changes);
    failing << op(Kind::DeleteValue, 99, Machine, "Software\\Machine", "Value")
            << op(Kind::DeleteKey, 100, Machine, "\\Bad");
    QString error;
    try {
        RegFile::apply(store, failing);
    } catch (const VallorinError& e) {
        error = e.message();
    }
    EXPECT_TRUE(error.startsWith("Line 100: The key path")) << error.toStdString();
    EXPECT_FALSE(store.hasOpenKey());
    EXPECT_EQ(snapshot(), before);

    RegFile::importFile(store, prefix.writeFile("good.reg", changes.toUtf8()));
    EXPECT_FALSE(store.keyExists("Software\\Kept"));
    EXPECT_TRUE(store.keyExists("Software\\New1"));
    EXPECT_TRUE(store.keyExists("Software\\New2"));
    store.setRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(store.openKey("Software\\Machine", false));
    EXPECT_EQ(store.readString("Value"), "new");
}
