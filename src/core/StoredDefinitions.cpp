#include "core/StoredDefinitions.h"

#include "core/TextForms.h"
#include "platform/SettingsStore.h"

#include <QDir>

namespace {

// Runs body on the key of the current user's branch; false when there is no such key.
bool ReadKey(SettingsStore& store, const QString& path, const std::function<void()>& body) {
    store.setRootKey(RootKey::CurrentUser);
    return store.keyExists(path) && WithOpenKey(store, path, false, body);
}

// A chooser's entry: the toolkit's "<name>.<extension>" file, without regard to case, else none.
QString ToolkitEntry(const QString& toolkitFolder, const QString& name, const QString& extension) {
    if (name.isEmpty() || toolkitFolder.isEmpty())
        return NoneEntry;
    const QStringList files = QDir(toolkitFolder).entryList({"*." + extension}, QDir::Files);
    for (const QString& file : files)
        if (file.compare(name + '.' + extension, Qt::CaseInsensitive) == 0)
            return file.chopped(extension.size() + 1);
    return NoneEntry;
}

} // namespace

bool WithOpenKey(SettingsStore& store, const QString& path, bool canCreate,
                 const std::function<void()>& body) {
    if (!store.openKey(path, canCreate)) {
        store.closeKey();
        return false;
    }
    try {
        body();
    } catch (...) {
        store.closeKey();
        throw;
    }
    store.closeKey();
    return true;
}

bool ReadFlag(SettingsStore& store, const QString& name, bool defaultValue) {
    // A value of another type than text is garbage for a flag, as an unreadable text is.
    const ValueType type = store.valueType(name);
    if (type != ValueType::String && type != ValueType::ExpandString)
        return defaultValue;
    return FlagFromText(store.readString(name), defaultValue);
}

void WriteFlag(SettingsStore& store, const QString& name, bool on) {
    store.writeString(name, FlagText(on));
}

QString ReadText(SettingsStore& store, const QString& name, const QString& fallback) {
    const ValueType type = store.valueType(name);
    if (type != ValueType::String && type != ValueType::ExpandString)
        return fallback;
    return store.readString(name);
}

std::optional<ScanOptions> ReadScanDefinition(SettingsStore& store, const QString& name,
                                              const QString& toolkitFolder) {
    if (name.isEmpty() || name.contains(u'\\'))
        return std::nullopt;
    ScanOptions o;
    const bool found = ReadKey(store, VallorinProgramKey + "\\Find\\" + name, [&] {
        const QString drives = ReadText(store, "Drives");
        o.drives = drives == u"All"     ? DriveChoice::All
                   : drives == u"Local" ? DriveChoice::Local
                                        : DriveChoice::Listed;
        if (o.drives == DriveChoice::Listed)
            o.driveText = drives;
        o.exe = ReadFlag(store, "Exe", true);
        o.data = ReadFlag(store, "Data", false);
        o.archives = ReadFlag(store, "Archives", false);
        o.compressed = ReadFlag(store, "Compressed", false);
        o.boot = ReadFlag(store, "Boot", true);
        o.partition = ReadFlag(store, "Partition", true);
        o.memCheck = ReadFlag(store, "MemCheck", true);
        o.floppies = ReadFlag(store, "Floppies", false);
        o.beep = ReadFlag(store, "Beep", true);
        o.extErr = ReadFlag(store, "ExtErr", false);
        o.programH = ReadFlag(store, "PrgH", false);
        o.macroH = ReadFlag(store, "MacH", false);
        // The older single switch for both heuristics wins while it is stored.
        if (store.valueExists("AHA"))
            o.programH = o.macroH = ReadFlag(store, "AHA", false);
        o.autoExit = ReadFlag(store, "Exit", false);
        o.preventExit = ReadFlag(store, "PreventExit", false);
        o.checkList = ToolkitEntry(toolkitFolder, ReadText(store, "CheckList", NoneEntry), "lst");
        o.extraDrv = ToolkitEntry(toolkitFolder, ReadText(store, "Extra Drv", NoneEntry), "drv");
        o.detail = ReadFlag(store, "Detail", false);
        o.report = ReadFlag(store, "Report", false);
        o.appendReport = ReadFlag(store, "+Report", false);
        o.print = ReadFlag(store, "Print", false);
    });
    if (!found)
        return std::nullopt;
    return o;
}

std::optional<CheckOptions> ReadCheckDefinition(SettingsStore& store, const QString& name) {
    if (name.isEmpty() || name.contains(u'\\'))
        return std::nullopt;
    CheckOptions o;
    const bool found = ReadKey(store, VallorinProgramKey + "\\Verify\\" + name, [&] {
        o.driveText = ReadText(store, "Drives");
        o.boot = ReadFlag(store, "Boot", true);
        o.partition = ReadFlag(store, "Partition", true);
        o.preventExit = ReadFlag(store, "PreventExit", false);
        o.useKeyword = ReadFlag(store, "Keyword", true);
        const QString keyword = ReadText(store, "Key");
        o.keyword = keyword.isEmpty() ? QStringLiteral("None") : keyword;
        const QString algorithm = ReadText(store, "Algorithm");
        const std::pair<const char*, FingerprintAlgorithm> captions[] = {
            {"File size", FingerprintAlgorithm::Sizes},
            {"Checksum", FingerprintAlgorithm::Checksum},
            {"CCITT CRC", FingerprintAlgorithm::CcittCrc},
            {"DES", FingerprintAlgorithm::Des}};
        for (const auto& [caption, value] : captions)
            if (algorithm == QLatin1String(caption))
                o.algorithm = value;
        o.turbo = ReadFlag(store, "Turbo", true);
        o.bytes = AcceptedByteInterval(ReadText(store, "Bytes", "5"));
        o.beep = ReadFlag(store, "Beep", true);
        o.detail = ReadFlag(store, "Detail", false);
        o.print = ReadFlag(store, "Print", false);
        o.report = ReadFlag(store, "Report", false);
    });
    if (!found)
        return std::nullopt;
    return o;
}
