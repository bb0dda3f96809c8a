// The guard settings file reader: any bytes through the decoder and the line parser, and what
// the page would write back of the values read (a save followed by a load gives them again).
#include "core/GuardFile.h"
#include "platform/VallorinError.h"

#include <QHash>
#include <QSet>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString text;
    try {
        text = DecodeGuardFile(bytes, "fuzz.txt");
    } catch (const VallorinError&) {
        return 0;
    }
    const QList<GuardFileEntry> entries = ParseGuardFile(text);
    // One entry per line.
    Check(entries.size() == SplitGuardFileLines(text).size());

    // Saving the values read (one per name, as the driver key holds them) and loading the file
    // again gives the same values, or the save refuses them.
    QList<GuardFileValue> values;
    QSet<QString> seen;
    for (const GuardFileEntry& entry : entries) {
        if (entry.name.isEmpty() || seen.contains(entry.name.toCaseFolded()) ||
            entry.name.compare("StaticVxD", Qt::CaseInsensitive) == 0)
            continue;
        seen.insert(entry.name.toCaseFolded());
        values.append({entry.name, !entry.flag, entry.value});
    }
    QString saved;
    try {
        saved = FormatGuardFile(values);
    } catch (const VallorinError&) {
        return 0;
    }
    const QString reread = DecodeGuardFile(EncodeGuardFile(saved), "fuzz.txt");
    QHash<QString, GuardFileEntry> again;
    for (const GuardFileEntry& entry : ParseGuardFile(reread))
        again.insert(entry.name.toCaseFolded(), entry);
    Check(again.size() == values.size());
    for (const GuardFileValue& value : values) {
        const GuardFileEntry& entry = again.value(value.name.toCaseFolded());
        Check(entry.name == value.name);
        Check(entry.flag == !value.isText || (value.isText && entry.flag));
        if (value.isText && !entry.flag)
            Check(entry.value == value.text);
    }
    return 0;
}
