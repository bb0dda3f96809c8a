// vallorin-reg: the settings store's command-line tool, in the form of the registry's reg.exe.
#include "platform/VallorinError.h"
#include "store/Prefix.h"
#include "store/RegFile.h"
#include "store/SettingsStore.h"

#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

const char* const Usage = R"(Usage:
  vallorin-reg query KEY [/v NAME | /ve] [/s]
  vallorin-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
  vallorin-reg delete KEY [/v NAME | /ve | /va] [/f]
  vallorin-reg export KEY FILE [/y]
  vallorin-reg import FILE

  KEY    HKCU\path or HKLM\path (also HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE)
  /v     the value NAME            /ve   the key's unnamed default value
  /va    all values of the key     /s    the key and all its sub-keys
  /t     REG_SZ (default), REG_EXPAND_SZ, REG_BINARY (hex digits), REG_DWORD (decimal or 0x)
  /d     the data to write
  /f     accepted for reg.exe compatibility: add always overwrites an existing value and
         delete never asks, since this tool asks nothing
  /y     replace FILE when it exists; without it export refuses to overwrite

import reads and checks the whole FILE before it changes anything, then applies it whole.

The store is the one in $VALLORIN_PREFIX, or ~/.vallorin when that is not set.
)";

const QString NotFound = "The system was unable to find the specified registry key or value.";

// Ends the command with exit code 1 and "ERROR: " + text on stderr.
struct Failure {
    QString text;
    bool withUsage = false;
};

[[noreturn]] void invalidSyntax() {
    throw Failure{"Invalid syntax.", true};
}

void print(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
}

struct Arguments {
    QString command;
    QStringList positional;
    std::optional<QString> value; // /v NAME; "" with /ve
    bool allValues = false;       // /va
    bool recursive = false;       // /s
    bool replace = false;         // /y
    std::optional<QString> type;
    std::optional<QString> data;
};

Arguments parseArguments(const QStringList& args) {
    Arguments a;
    a.command = args.value(0).toLower();
    const QStringList commands = {"query", "add", "delete", "export", "import"};
    if (!commands.contains(a.command))
        invalidSyntax();
    // The switches each command takes, as reg.exe has them.
    const QMap<QString, QString> allowed = {{"query", "v ve s"},
                                            {"add", "v ve t d f"},
                                            {"delete", "v ve va f"},
                                            {"export", "y"},
                                            {"import", ""}};
    const QStringList switches = allowed[a.command].split(' ', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString arg = args[i];
        const QString name = arg.mid(1).toLower();
        // File paths begin with "/" here, so only a switch name of reg.exe counts as a switch.
        const QStringList anySwitch = {"v", "ve", "va", "s", "t", "d", "f", "y"};
        if (!(arg.startsWith('/') || arg.startsWith('-')) || !anySwitch.contains(name)) {
            a.positional << arg;
            continue;
        }
        if (!switches.contains(name))
            invalidSyntax();
        const auto operand = [&]() {
            if (++i == args.size())
                invalidSyntax();
            return args[i];
        };
        if ((name == "v" || name == "ve" || name == "va") && (a.value || a.allValues))
            invalidSyntax();
        if (name == "v")
            a.value = operand();
        else if (name == "ve")
            a.value = QString();
        else if (name == "va")
            a.allValues = true;
        else if (name == "s")
            a.recursive = true;
        else if (name == "y")
            a.replace = true;
        else if (name == "t")
            a.type = operand().toUpper();
        else if (name == "d")
            a.data = operand();
    }
    const qsizetype wanted = a.command == "export" ? 2 : 1;
    if (a.positional.size() != wanted || (a.recursive && a.value))
        invalidSyntax();
    return a;
}

// A key given on the command line: its branch, its path, and the name to show for it.
struct KeyName {
    RootKey root;
    QString path;
    QString shown;
};

KeyName keyName(const QString& text) {
    KeyName key{};
    if (!RegFile::splitKeyName(text, key.root, key.path))
        throw Failure{"Invalid key name."};
    key.path = key.path.split('\\', Qt::SkipEmptyParts).join('\\');
    key.shown = RegFile::rootName(key.root) + (key.path.isEmpty() ? "" : "\\") + key.path;
    return key;
}

QString typeName(ValueType type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    const int code = int(type);
    return code >= 0 && code < 12 ? names[code] : QString("0x%1").arg(code, 0, 16);
}

QString dataText(SettingsStore& store, const QString& name) {
    const ValueType type = store.valueType(name);
    const QByteArray data = store.readBinary(name);
    if (type == ValueType::String || type == ValueType::ExpandString)
        return store.readString(name);
    if ((type == ValueType::DWord && data.size() == 4) || (int(type) == 11 && data.size() == 8)) {
        quint64 number = 0;
        for (qsizetype i = 0; i < data.size(); ++i)
            number |= quint64(uchar(data[i])) << (8 * i);
        return "0x" + QString::number(number, 16);
    }
    if (int(type) == 7) {
        QString text;
        for (qsizetype i = 0; i + 1 < data.size(); i += 2)
            text += QChar(char16_t(uchar(data[i]) | (uchar(data[i + 1]) << 8)));
        while (text.endsWith(QChar(0)))
            text.chop(1);
        return text.replace(QChar(0), "\\0");
    }
    return QString::fromLatin1(data.toHex().toUpper());
}

QString row(SettingsStore& store, const QString& name) {
    return QString("    %1    %2    %3\n")
        .arg(name.isEmpty() ? "(Default)" : name, typeName(store.valueType(name)),
             dataText(store, name));
}

SettingsStore& openExisting(SettingsStore& store, const KeyName& key) {
    store.setRootKey(key.root);
    if (!store.openKey(key.path, false))
        throw Failure{NotFound};
    return store;
}

int query(SettingsStore& store, const Arguments& a) {
    const KeyName key = keyName(a.positional[0]);
    openExisting(store, key);
    if (a.value) {
        // Shown under the spelling it was created with, whatever case was asked for.
        for (const QString& name : store.getValueNames())
            if (name.compare(*a.value, Qt::CaseInsensitive) == 0) {
                print("\n" + key.shown + "\n" + row(store, name) + "\n");
                return 0;
            }
        throw Failure{NotFound};
    }
    if (a.recursive) {
        store.closeKey();
        const std::function<void(const QString&, const QString&)> walk = [&](const QString& path,
                                                                             const QString& shown) {
            store.openKey(path, false);
            QString out = "\n" + shown + "\n";
            for (const QString& name : store.getValueNames())
                out += row(store, name);
            const QStringList children = store.getKeyNames();
            store.closeKey();
            print(out);
            for (const QString& child : children)
                walk(path.isEmpty() ? child : path + '\\' + child, shown + '\\' + child);
        };
        walk(key.path, key.shown);
        return 0;
    }
    QString out = "\n" + key.shown + "\n";
    for (const QString& name : store.getValueNames())
        out += row(store, name);
    const QStringList children = store.getKeyNames();
    if (!children.isEmpty())
        out += "\n";
    for (const QString& child : children)
        out += key.shown + '\\' + child + "\n";
    print(out);
    return 0;
}

QByteArray binaryData(const QString& text) {
    const QByteArray hex = text.toLatin1();
    const bool digits =
        std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(uchar(c)); });
    if (!digits || hex.size() % 2 != 0 || QString::fromLatin1(hex) != text)
        throw Failure{"REG_BINARY data must be an even number of hex digits."};
    return QByteArray::fromHex(hex);
}

quint32 dwordData(const QString& text) {
    bool ok = false;
    const bool hex = text.startsWith("0x", Qt::CaseInsensitive);
    const qulonglong number = hex ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || number > 0xFFFFFFFFull || text.contains('+') || text.contains('-'))
        throw Failure{"REG_DWORD data must be a number from 0 to 4294967295 (or 0x0 to "
                      "0xffffffff)."};
    return quint32(number);
}

int add(SettingsStore& store, const Arguments& a) {
    const KeyName key = keyName(a.positional[0]);
    const QString type = a.type.value_or("REG_SZ");
    const QStringList types = {"REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD"};
    if (!types.contains(type))
        throw Failure{QString("Unsupported type %1; use REG_SZ, REG_EXPAND_SZ, REG_BINARY or "
                              "REG_DWORD.")
                          .arg(type)};
    store.setRootKey(key.root);
    store.openKey(key.path, true);
    // Data or a type without a name means the default value, as reg.exe takes it.
    if (a.value || a.type || a.data) {
        const QString name = a.value.value_or(QString());
        const QString data = a.data.value_or(QString());
        if (type == "REG_SZ")
            store.writeString(name, data);
        else if (type == "REG_EXPAND_SZ")
            store.writeExpandString(name, data);
        else if (type == "REG_BINARY")
            store.writeBinary(name, binaryData(data));
        else
            store.writeInteger(name, a.data ? dwordData(data) : 0);
    }
    store.closeKey();
    return 0;
}

int remove(SettingsStore& store, const Arguments& a) {
    const KeyName key = keyName(a.positional[0]);
    if (a.value) {
        if (!openExisting(store, key).deleteValue(*a.value))
            throw Failure{NotFound};
    } else if (a.allValues) {
        openExisting(store, key);
        for (const QString& name : store.getValueNames())
            store.deleteValue(name);
    } else {
        if (key.path.isEmpty())
            throw Failure{"A root key cannot be deleted."};
        store.setRootKey(key.root);
        if (!store.deleteKey(key.path))
            throw Failure{NotFound};
    }
    store.closeKey();
    return 0;
}

int exportKey(SettingsStore& store, const Arguments& a) {
    const KeyName key = keyName(a.positional[0]);
    const QString file = a.positional[1];
    store.setRootKey(key.root);
    if (!store.keyExists(key.path))
        throw Failure{NotFound};
    if (QFileInfo::exists(file) && !a.replace)
        throw Failure{QString("The file %1 exists; give /y to replace it.").arg(file)};
    RegFile::exportFile(store, key.root, key.path, file);
    return 0;
}

int run(const QStringList& args) {
    if (args.size() == 1 && (args[0] == "/?" || args[0] == "-?" || args[0] == "--help")) {
        print(Usage);
        return 0;
    }
    if (args.isEmpty())
        throw Failure{"No command given.", true};
    const Arguments a = parseArguments(args);
    SettingsStore store(Prefix::Prepare(Prefix::Location()));
    if (a.command == "query")
        return query(store, a);
    if (a.command == "add")
        add(store, a);
    else if (a.command == "delete")
        remove(store, a);
    else if (a.command == "export")
        exportKey(store, a);
    else
        RegFile::importFile(store, a.positional[0]);
    print("The operation completed successfully.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString error;
    bool withUsage = false;
    try {
        return run(args);
    } catch (const Failure& failure) {
        error = failure.text;
        withUsage = failure.withUsage;
    } catch (const VallorinError& failure) {
        error = failure.message();
    }
    std::fputs(("ERROR: " + error + "\n").toUtf8().constData(), stderr);
    if (withUsage)
        std::fputs(Usage, stderr);
    return 1;
}
