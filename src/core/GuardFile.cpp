#include "GuardFile.h"

#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QHash>

#include <algorithm>

QStringList SplitGuardFileLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == '\r' && i + 1 < size && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines << text.mid(start);
    return lines;
}

QList<GuardFileEntry> ParseGuardFile(const QString& text) {
    const QStringList lines = SplitGuardFileLines(text);
    // The value of each name is that of its first line with an "="; keyed by the folded name.
    QHash<QString, QString> firstValue;
    QList<QString> names;
    names.reserve(lines.size());
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf('=');
        const QString name = equals < 0 ? QString() : line.left(equals);
        names << name;
        if (equals >= 0) {
            const QString key = name.toCaseFolded();
            if (!firstValue.contains(key))
                firstValue.insert(key, line.mid(equals + 1));
        }
    }
    QList<GuardFileEntry> entries;
    entries.reserve(names.size());
    for (const QString& name : names) {
        GuardFileEntry entry;
        entry.name = name;
        entry.value = firstValue.value(name.toCaseFolded());
        const bool alwaysText = name.compare("AllFiles", Qt::CaseInsensitive) == 0 ||
                                name.compare("Repair", Qt::CaseInsensitive) == 0;
        entry.flag = !alwaysText && entry.value.compare("True", Qt::CaseInsensitive) == 0;
        entries << entry;
    }
    return entries;
}

namespace {

bool HasLineBreak(const QString& text) {
    return text.contains('\r') || text.contains('\n');
}

} // namespace

QString FormatGuardFile(QList<GuardFileValue> values) {
    values.removeIf([](const GuardFileValue& v) {
        return v.name.compare("StaticVxD", Qt::CaseInsensitive) == 0;
    });
    std::stable_sort(values.begin(), values.end(),
                     [](const GuardFileValue& a, const GuardFileValue& b) {
                         return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
                     });
    QString text;
    for (const GuardFileValue& v : values) {
        if (HasLineBreak(v.name) || v.name.contains('='))
            throw VallorinError("The value name \"" + v.name +
                                "\" cannot be saved in a settings file");
        if (v.isText && HasLineBreak(v.text))
            throw VallorinError("The value " + v.name +
                                " holds a line break and cannot be saved in a settings file");
        text += v.name + '=' + (v.isText ? v.text : QStringLiteral("True")) + "\r\n";
    }
    return text;
}

QByteArray EncodeGuardFile(const QString& text) {
    return text.toUtf8();
}

QString DecodeGuardFile(const QByteArray& bytes, const QString& fileName) {
    if (bytes.size() > MaxGuardFileSize)
        throw VallorinError("The file " + fileName +
                            " is too large to be a WinGuard settings file");
    if (bytes.contains('\0'))
        throw VallorinError("The file " + fileName + " is not a WinGuard settings file");
    return FileSystem::DecodeText(bytes);
}
