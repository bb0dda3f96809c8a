#include "core/StoredDefinitions.h"

#include "core/TextForms.h"
#include "store/SettingsStore.h"

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

// The stored captions of the fingerprint algorithms.
const std::pair<const char*, FingerprintAlgorithm> AlgorithmCaptions[] = {
    {"File size", FingerprintAlgorithm::Sizes},
    {"Checksum", FingerprintAlgorithm::Checksum},
    {"CCITT CRC", FingerprintAlgorithm::CcittCrc},
    {"DES", FingerprintAlgorithm::Des}};

// Every stored value of a definition with the field that holds it, in the order a save writes
// them: the one list of the values' names. A field's initial value is its value's default.
template <typename Scan, typename Visit> void EachScanValue(Scan& scan, const Visit& visit) {
    auto& o = scan.options;
    visit("Drives", o.drives, o.driveText);
    visit("Exe", o.exe);
    visit("Data", o.data);
    visit("Archives", o.archives);
    visit("Compressed", o.compressed);
    visit("Boot", o.boot);
    visit("Partition", o.partition);
    visit("MemCheck", o.memCheck);
    visit("Floppies", o.floppies);
    visit("Beep", o.beep);
    visit("PrgH", o.programH);
    visit("MacH", o.macroH);
    visit("PreventExit", o.preventExit);
    visit("Exit", o.autoExit);
    visit("ExtErr", o.extErr);
    visit("CheckList", o.checkList);
    visit("Extra Drv", o.extraDrv);
    visit("Detail", o.detail);
    visit("Report", o.report);
    visit("+Report", o.appendReport);
    visit("Print", o.print);
    visit("LastScan", scan.lastRun);
}

template <typename Check, typename Visit> void EachCheckValue(Check& check, const Visit& visit) {
    auto& o = check.options;
    visit("Drives", o.driveText);
    visit("Boot", o.boot);
    visit("Partition", o.partition);
    visit("PreventExit", o.preventExit);
    visit("Keyword", o.useKeyword);
    visit("Key", o.keyword);
    visit("Algorithm", o.algorithm);
    visit("Turbo", o.turbo);
    visit("Bytes", o.bytes);
    visit("Beep", o.beep);
    visit("Detail", o.detail);
    visit("Print", o.print);
    visit("Report", o.report);
    visit("CheckDate", check.lastRun);
}

// Reads each value of the open key into its field, which holds the default.
struct ValueReader {
    SettingsStore& store;
    void operator()(const char* name, bool& on) const { on = ReadFlag(store, name, on); }
    void operator()(const char* name, QString& text) const { text = ReadText(store, name, text); }
    void operator()(const char* name, double& dateTime) const {
        dateTime = DateTimeFromText(ReadText(store, name));
    }
    void operator()(const char* name, std::optional<FingerprintAlgorithm>& algorithm) const {
        const QString text = ReadText(store, name);
        for (const auto& [caption, value] : AlgorithmCaptions)
            if (text == QLatin1String(caption))
                algorithm = value;
    }
    void operator()(const char* name, DriveChoice& drives, QString& driveText) const {
        const QString text = ReadText(store, name);
        drives = StoredDriveChoice(text);
        if (drives == DriveChoice::Listed)
            driveText = text;
    }
};

// Writes each field into its value of the open key.
struct ValueWriter {
    SettingsStore& store;
    void operator()(const char* name, bool on) const { WriteFlag(store, name, on); }
    void operator()(const char* name, const QString& text) const { store.writeString(name, text); }
    void operator()(const char* name, double dateTime) const {
        store.writeString(name, DateTimeText(dateTime));
    }
    // No algorithm chosen leaves the stored one as it is.
    void operator()(const char* name, std::optional<FingerprintAlgorithm> algorithm) const {
        for (const auto& [caption, value] : AlgorithmCaptions)
            if (algorithm == value)
                store.writeString(name, caption);
    }
    void operator()(const char* name, DriveChoice drives, const QString& driveText) const {
        store.writeString(name, StoredDrivesText(drives, driveText));
    }
};

} // namespace

// The captions that "Drives" holds for the two choices without a drive text. Only the exact
// captions choose them; any other text is a drive text.
DriveChoice StoredDriveChoice(const QString& stored) {
    return stored == u"All"     ? DriveChoice::All
           : stored == u"Local" ? DriveChoice::Local
                                : DriveChoice::Listed;
}

QString StoredDrivesText(DriveChoice drives, const QString& driveText) {
    return drives == DriveChoice::All     ? QStringLiteral("All")
           : drives == DriveChoice::Local ? QStringLiteral("Local")
                                          : driveText;
}

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

std::optional<StoredScan> ReadStoredScan(SettingsStore& store, const QString& path,
                                         OlderValues older) {
    StoredScan scan;
    const bool found = ReadKey(store, path, [&] {
        EachScanValue(scan, ValueReader{store});
        if (store.valueExists("AHA")) {
            scan.options.programH = scan.options.macroH = ReadFlag(store, "AHA", false);
            if (older == OlderValues::Drop)
                store.deleteValue("AHA");
        }
    });
    return found ? std::optional(scan) : std::nullopt;
}

void WriteStoredScan(SettingsStore& store, const QString& path, const StoredScan& scan) {
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, path, true, [&] { EachScanValue(scan, ValueWriter{store}); });
}

std::optional<StoredCheck> ReadStoredCheck(SettingsStore& store, const QString& path) {
    StoredCheck check;
    const bool found = ReadKey(store, path, [&] { EachCheckValue(check, ValueReader{store}); });
    if (check.options.keyword.isEmpty())
        check.options.keyword = QStringLiteral("None");
    return found ? std::optional(check) : std::nullopt;
}

void WriteStoredCheck(SettingsStore& store, const QString& path, const StoredCheck& check) {
    store.setRootKey(RootKey::CurrentUser);
    WithOpenKey(store, path, true, [&] { EachCheckValue(check, ValueWriter{store}); });
}

std::optional<ScanOptions> ReadScanDefinition(SettingsStore& store, const QString& name,
                                              const QString& toolkitFolder) {
    if (name.isEmpty() || name.contains(u'\\'))
        return std::nullopt;
    auto scan = ReadStoredScan(store, VallorinProgramKey + "\\Find\\" + name, OlderValues::Keep);
    if (!scan)
        return std::nullopt;
    scan->options.checkList = ToolkitEntry(toolkitFolder, scan->options.checkList, "lst");
    scan->options.extraDrv = ToolkitEntry(toolkitFolder, scan->options.extraDrv, "drv");
    return scan->options;
}

std::optional<CheckOptions> ReadCheckDefinition(SettingsStore& store, const QString& name) {
    if (name.isEmpty() || name.contains(u'\\'))
        return std::nullopt;
    auto check = ReadStoredCheck(store, VallorinProgramKey + "\\Verify\\" + name);
    if (!check)
        return std::nullopt;
    check->options.bytes = AcceptedByteInterval(check->options.bytes);
    return check->options;
}
