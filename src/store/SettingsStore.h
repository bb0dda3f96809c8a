#pragma once

#include "platform/VallorinError.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The two branches of the store.
enum class RootKey { CurrentUser, LocalMachine };

// Value types, numbered as the registry numbers them (REG_SZ, REG_EXPAND_SZ, REG_BINARY,
// REG_DWORD), so that .reg files and the store agree.
enum class ValueType { None = 0, String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

// A settings file the store cannot use at all: damaged, not a store, or written by a newer version.
// Its text says which file, what is wrong and what the user can do; the file is left as it is,
// and every later change to it is refused with the same error.
class UnusableStoreError : public VallorinError {
public:
    using VallorinError::VallorinError;
};

// The settings store: a registry of keys and named values kept in one SQLite file per branch
// inside the prefix ("user.db", "system.db").
//
// Like the registry object the pages were written against, it has a current root and at most
// one open key. Every path is relative to the current root, uses "\" as separator and may not
// begin with one; a run of separators counts as one. Key and value names compare without
// regard to case and keep the spelling under which they were created. Sub-keys are listed
// sorted by the upper-case form of their names, values in creation order. The value named ""
// is the key's unnamed default value.
//
// An open key is one IMMEDIATE transaction on its branch's file; closing it commits, durably
// (WAL with synchronous=FULL). Every failure throws VallorinError with a text for the user.
class SettingsStore {
    Q_DECLARE_TR_FUNCTIONS(SettingsStore)

public:
    // When the files are checked for damage: before the constructor returns, or before their
    // first change (or checkFiles), whichever comes first: a program that reads at its start
    // need not wait for the check before it shows what it read.
    enum class Check { AtOpen, BeforeFirstChange };

    // Opens (creating when absent) the two branch files inside prefixFolder. A file that
    // exists but is not a store, or is damaged, is refused with UnusableStoreError and left as it
    // is: by the constructor, or by the check, or by whichever later call meets the damage; every
    // change after that is refused with that error.
    explicit SettingsStore(const QString& prefixFolder, Check check = Check::AtOpen);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Selecting a root closes any open key first (committing it).
    void setRootKey(RootKey root);
    RootKey rootKey() const;

    // Keys, by path from the current root. These work whether or not a key is open; while one
    // is open they run inside its transaction.
    bool keyExists(const QString& path);
    // Deletes the key with all its sub-keys and values; false when there was no such key.
    bool deleteKey(const QString& path);

    // Opens the key, closing (committing) any key open before. Without canCreate a missing key
    // gives false; with it the key and every missing key above it are created. "" is the root
    // itself. A path that begins with "\", holds a name longer than 255 characters or nests
    // deeper than 512 keys throws, here and in every other call that takes a path.
    bool openKey(const QString& path, bool canCreate);
    // Commits and closes the open key; nothing when none is open.
    void closeKey();
    bool hasOpenKey() const;
    // The path of the open key as it was given to openKey, empty when none is open.
    QString currentPath() const;

    // Values of the open key. Calling these with no key open throws.
    bool valueExists(const QString& name);
    ValueType valueType(const QString& name);
    // Text of a String or ExpandString value; an absent value reads as empty. A value of
    // another type throws, as the registry object does.
    QString readString(const QString& name);
    void writeString(const QString& name, const QString& value);
    void writeExpandString(const QString& name, const QString& value);
    // Bytes of a value of any type; an absent value reads as empty.
    QByteArray readBinary(const QString& name);
    void writeBinary(const QString& name, const QByteArray& data);
    // A DWord value; a value of another type throws.
    quint32 readInteger(const QString& name);
    void writeInteger(const QString& name, quint32 value);
    // Writes raw bytes with the given type (the .reg importer uses this).
    void writeRaw(const QString& name, ValueType type, const QByteArray& data);
    bool deleteValue(const QString& name);

    // Names below the open key.
    QStringList getKeyNames();
    QStringList getValueNames();

    // Sub-key names of any key by path (sorted as getKeyNames), for tools that walk the tree.
    QStringList keyNamesOf(const QString& path);

    // Runs change with each branch of roots in one write transaction: the keys it opens, closes
    // and deletes are all committed together, durably, when it returns, and none of them when
    // it throws. The branches commit one after the other, user first: each file is all or
    // nothing, but a kill between the two commits keeps the first. Using a branch that is not
    // in roots inside change throws. Leaves no key open.
    void inOneTransaction(const QList<RootKey>& roots, const std::function<void()>& change);

    // Runs a check left for later now (nothing when it has run); throws the refusal of a
    // damaged file.
    void checkFiles();

    // Gives the pages the store keeps of its files back to the heap (the system's file cache
    // keeps them too): for a program that has read what it shows and will read little more.
    void releaseMemory();

    // The names of a key path as the store takes them. Throws VallorinError for a path it
    // refuses: one that begins with "\", a name longer than MaxKeyNameLength or holding a
    // character the store cannot keep, or nesting deeper than MaxKeyDepth.
    static QStringList splitPath(const QString& path);
    // Throws VallorinError for a value name holding a character the store cannot keep.
    static void checkValueName(const QString& name);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The longest key name component the store accepts.
inline constexpr int MaxKeyNameLength = 255;
// The deepest key the store accepts: the registry's own nesting limit, which also keeps
// cascading deletes far below SQLite's trigger depth limit.
inline constexpr int MaxKeyDepth = 512;
