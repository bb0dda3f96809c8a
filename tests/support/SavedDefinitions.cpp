#include "SavedDefinitions.h"

#include "store/SettingsStore.h"

namespace SavedDefinitions {

const QStringList& valueNames() {
    static const QStringList names = {
        "Drives",    "Exe",      "Data",        "Archives",  "Compressed", "Boot",
        "Partition", "MemCheck", "Floppies",    "Beep",      "ExtErr",     "PrgH",
        "MacH",      "Exit",     "PreventExit", "CheckList", "Extra Drv",  "Detail",
        "Report",    "+Report",  "Print",       "LastScan",  "Serial"};
    return names;
}

QString keyOf(const QString& name) {
    return "Software\\Tesmarine\\Vallorin\\Find\\" + name;
}

QString crashName(long serial) {
    return "Def" + QString::number(serial % CrashKeys);
}

void save(SettingsStore& store, const QString& name, long serial) {
    store.setRootKey(RootKey::CurrentUser);
    store.openKey(keyOf(name), true);
    const QString text = QString::number(serial);
    for (const QString& value : valueNames())
        store.writeString(value, text);
    store.closeKey();
}

long storedSerial(SettingsStore& store, const QString& name) {
    store.setRootKey(RootKey::CurrentUser);
    if (!store.openKey(keyOf(name), false))
        return -1;
    long serial = -3;
    for (const QString& value : valueNames()) {
        bool number = false;
        const long read = store.valueExists(value) ? store.readString(value).toLong(&number) : -2;
        if (!number || (serial != -3 && read != serial)) {
            serial = -2;
            break;
        }
        serial = read;
    }
    store.closeKey();
    return serial;
}

QString check(SettingsStore& store, const QString& name, long serial) {
    const long stored = storedSerial(store, name);
    if (stored == serial)
        return {};
    if (stored == -1)
        return "missing: " + name;
    if (stored == -2)
        return "torn: " + name;
    return QString("%1 holds save %2 instead of %3").arg(name).arg(stored).arg(serial);
}

} // namespace SavedDefinitions
