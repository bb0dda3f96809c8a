// The .reg importer: any bytes through the parser; what parses is applied to a store, and the
// store's export must parse again and, imported into an empty store, export the same bytes.
#include "platform/VallorinError.h"
#include "store/RegFile.h"
#include "store/SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// A store of its own in memory-backed space where there is one: syncs cost nothing there.
std::unique_ptr<SettingsStore> MakeStore(const QString& name) {
    static QTemporaryDir dir(QDir("/dev/shm").exists()
                                 ? QStringLiteral("/dev/shm/vallorin-fuzz-XXXXXX")
                                 : QString(QDir::tempPath() + "/vallorin-fuzz-XXXXXX"));
    QDir(dir.path()).mkdir(name);
    return std::make_unique<SettingsStore>(dir.path() + '/' + name + '/');
}

void Empty(SettingsStore& store) {
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
        store.setRootKey(root);
        for (const QString& key : store.keyNamesOf(""))
            store.deleteKey(key);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<RegOperation> operations;
    try {
        operations = RegFile::parseBytes(bytes);
    } catch (const VallorinError&) {
        return 0;
    }
    if (operations.size() > 200)
        return 0; // the parser has had its turn; spare the store
    static const auto first = MakeStore("first");
    static const auto second = MakeStore("second");
    Empty(*first);
    try {
        RegFile::apply(*first, operations);
    } catch (const VallorinError&) {
        // A path or name that the store refuses: refused cleanly, with no key left open.
        Check(!first->hasOpenKey());
        return 0;
    }
    Check(!first->hasOpenKey());
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
        const QByteArray exported = RegFile::exportKey(*first, root, "");
        QList<RegOperation> again;
        try {
            again = RegFile::parseBytes(exported);
        } catch (const VallorinError&) {
            std::abort(); // an export that its own importer refuses
        }
        Empty(*second);
        RegFile::apply(*second, again);
        Check(RegFile::exportKey(*second, root, "") == exported);
    }
    return 0;
}
