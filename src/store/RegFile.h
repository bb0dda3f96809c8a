#pragma once

#include "store/SettingsStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One effect of a line of a .reg file.
struct RegOperation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    RootKey root = RootKey::CurrentUser;
    QString path; // below the root; "" is the root itself
    QString name; // value name; "" is the default value
    ValueType type = ValueType::None;
    QByteArray data; // the value's bytes as the store keeps them (texts in UTF-16LE)
    int line = 0;    // where in the file it was written
    bool operator==(const RegOperation&) const = default;
};

// The .reg text formats of the registry editor: "REGEDIT4" (ANSI) and "Windows Registry Editor
// Version 5.00" (UTF-16LE; UTF-8 is accepted too).
namespace RegFile {

// The file's text: UTF-16 with a byte-order mark, else UTF-8 when valid, else Windows-1252.
QString decode(const QByteArray& bytes);
// A whole file's operations in file order. Throws VallorinError "Line N: ..." for a line that
// is not of the format, and for a key path or name the store would refuse (too long, too deep,
// holding a character it cannot keep).
QList<RegOperation> parse(const QString& text);
QList<RegOperation> parseBytes(const QByteArray& bytes);

// "HKEY_CURRENT_USER\Software\X", "HKCU\Software\X", "hklm": root and path below it. False
// when the name does not begin with a known root.
bool splitKeyName(const QString& keyName, RootKey& root, QString& path);
QString rootName(RootKey root);

// Applies operations to the store in one transaction per branch, all or nothing; an error names
// the line it came from. Leaves no key open.
void apply(SettingsStore& store, const QList<RegOperation>& operations);
// Reads and checks the whole file, then applies it as apply does, durably when it returns. It
// holds the file's bytes and little more, whatever the file's size; a file that is a device or
// a named pipe is refused.
void importFile(SettingsStore& store, const QString& fileName);

// The key with all its sub-keys as the registry editor exports it: version 5.00, UTF-16LE
// with a byte-order mark, CR LF. Throws when the key does not exist. Leaves no key open.
QByteArray exportKey(SettingsStore& store, RootKey root, const QString& path);
void exportFile(SettingsStore& store, RootKey root, const QString& path, const QString& fileName);

} // namespace RegFile
