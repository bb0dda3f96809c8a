#include "store/RegFile.h"

#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>
#include <functional>
#include <utility>

namespace {

const QString Version4Header = "REGEDIT4";
const QString Version5Header = "Windows Registry Editor Version 5.00";

// Windows-1252 where it differs from Latin-1; the five unassigned codes keep their value.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromCp1252(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const uchar c = uchar(byte);
        text += QChar(c >= 0x80 && c < 0xA0 ? Cp1252High[c - 0x80] : char16_t(c));
    }
    return text;
}

// Bytes from Windows: UTF-8 when they are valid UTF-8, otherwise Windows-1252.
QString ansiText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? fromCp1252(bytes) : text;
}

QByteArray utf16Bytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// Code unit by code unit, so that half a surrogate pair stays what it is and can be refused
// where it matters, rather than turn silently into another character.
QString textOfUtf16(QByteArrayView bytes, bool bigEndian = false) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    const int high = bigEndian ? 0 : 1;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text[i / 2] = QChar(char16_t(uchar(bytes[i + 1 - high]) | (uchar(bytes[i + high]) << 8)));
    return text;
}

bool isHexDigit(QChar c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

[[noreturn]] void lineError(int line, const QString& what) {
    throw VallorinError(QString("Line %1: %2").arg(line).arg(what));
}

// The lines of a file's text, without their line breaks, decoded one at a time: a large file
// is held once, as its bytes, and never again as one text or a list of lines.
class LineReader {
public:
    explicit LineReader(QStringView text) : text(text), encoding(Encoding::Text) {}
    // The file's bytes: UTF-16 with a byte-order mark, else UTF-8 when valid (with or without a
    // mark), else Windows-1252.
    explicit LineReader(QByteArrayView bytes) : bytes(bytes) {
        if (bytes.startsWith("\xFF\xFE")) {
            encoding = Encoding::Utf16LE;
            pos = 2;
        } else if (bytes.startsWith("\xFE\xFF")) {
            encoding = Encoding::Utf16BE;
            pos = 2;
        } else if (bytes.startsWith("\xEF\xBB\xBF")) {
            encoding = Encoding::Utf8;
            pos = 3;
        } else {
            encoding = bytes.isValidUtf8() ? Encoding::Utf8 : Encoding::Cp1252;
        }
    }

    bool atEnd() const { return done; }

    QString next() {
        QString line = encoding == Encoding::Text ? nextOfText() : nextOfBytes();
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }

private:
    enum class Encoding { Text, Utf8, Cp1252, Utf16LE, Utf16BE };

    QString nextOfText() {
        qsizetype end = text.indexOf(u'\n', pos);
        done = end < 0;
        if (done)
            end = text.size();
        const QString line = text.sliced(pos, end - pos).toString();
        pos = end + 1;
        return line;
    }

    QString nextOfBytes() {
        const bool wide = encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE;
        const QByteArrayView lineFeed = encoding == Encoding::Utf16LE   ? QByteArrayView("\n\0", 2)
                                        : encoding == Encoding::Utf16BE ? QByteArrayView("\0\n", 2)
                                                                        : QByteArrayView("\n", 1);
        qsizetype end = bytes.indexOf(lineFeed, pos);
        // A line feed of UTF-16 begins on a code unit, never in the middle of one.
        while (wide && end >= 0 && (end - pos) % 2 != 0)
            end = bytes.indexOf(lineFeed, end + 1);
        done = end < 0;
        if (done)
            end = bytes.size();
        const QByteArrayView line = bytes.sliced(pos, end - pos);
        pos = end + lineFeed.size();
        switch (encoding) {
        case Encoding::Utf16LE:
            return textOfUtf16(line);
        case Encoding::Utf16BE:
            return textOfUtf16(line, true);
        case Encoding::Cp1252:
            return fromCp1252(line);
        default:
            return QString::fromUtf8(line);
        }
    }

    QStringView text;
    QByteArrayView bytes;
    Encoding encoding = Encoding::Utf8;
    qsizetype pos = 0;
    bool done = false;
};

// Reads the lines of one file and hands each operation to sink as soon as it is read, so that a
// caller may check a whole file before it applies it, without keeping its operations. Names
// and key paths are checked against every limit of the store. Hex lists may continue over
// several lines.
class Parser {
public:
    using Sink = std::function<void(const RegOperation&)>;
    Parser(LineReader& reader, Sink sink) : reader(reader), sink(std::move(sink)) {}

    void run() {
        QString header;
        while (!reader.atEnd() && header.isEmpty()) {
            header = reader.next().trimmed();
            ++next;
        }
        if (header.isEmpty())
            lineError(1, "the file is empty");
        if (header == Version5Header)
            ansi = false;
        else if (header == Version4Header)
            ansi = true;
        else
            lineError(next, QString("a registry file begins with \"%1\" or \"%2\"")
                                .arg(Version5Header, Version4Header));
        while (!reader.atEnd()) {
            const int number = ++next;
            const QString line = reader.next().trimmed();
            if (line.isEmpty() || line.startsWith(';'))
                continue;
            if (line.startsWith('['))
                keyLine(line, number);
            else if (line.startsWith('"') || line.startsWith('@'))
                valueLine(line, number);
            else
                lineError(number,
                          QString("\"%1\" is neither a key nor a value").arg(line.left(80)));
        }
    }

private:
    void keyLine(const QString& line, int number) {
        if (!line.endsWith(']'))
            lineError(number, "the key name has no closing \"]\"");
        QString name = line.mid(1, line.size() - 2);
        const bool remove = name.startsWith('-');
        if (remove)
            name.remove(0, 1);
        RegOperation op;
        op.line = number;
        if (!RegFile::splitKeyName(name, op.root, op.path))
            lineError(number, QString("\"%1\" does not begin with HKEY_CURRENT_USER or "
                                      "HKEY_LOCAL_MACHINE")
                                  .arg(name));
        QStringList parts;
        try {
            parts = SettingsStore::splitPath(op.path);
        } catch (const VallorinError& error) {
            lineError(number, error.message());
        }
        if (remove && parts.isEmpty())
            lineError(number, "a root key cannot be deleted");
        op.kind = remove ? RegOperation::Kind::DeleteKey : RegOperation::Kind::CreateKey;
        sink(op);
        inKey = !remove;
        keyRoot = op.root;
        keyPath = op.path;
    }

    // A quoted text starting at pos; pos ends after the closing quote.
    static QString quoted(const QString& line, qsizetype& pos, int number) {
        QString text;
        for (++pos; pos < line.size(); ++pos) {
            const QChar c = line[pos];
            if (c == '"') {
                ++pos;
                return text;
            }
            if (c == '\\') {
                if (++pos == line.size() || (line[pos] != '\\' && line[pos] != '"'))
                    lineError(number, "a \"\\\" in a text must be followed by \"\\\" or '\"'");
                text += line[pos];
            } else {
                text += c;
            }
        }
        lineError(number, "a text has no closing quote");
    }

    void valueLine(const QString& line, int number) {
        if (!inKey)
            lineError(number, "a value stands before any key");
        RegOperation op;
        op.line = number;
        op.root = keyRoot;
        op.path = keyPath;
        qsizetype pos = 0;
        if (line[0] == '@')
            pos = 1;
        else
            op.name = quoted(line, pos, number);
        try {
            SettingsStore::checkValueName(op.name);
        } catch (const VallorinError& error) {
            lineError(number, error.message());
        }
        while (pos < line.size() && line[pos].isSpace())
            ++pos;
        if (pos == line.size() || line[pos] != '=')
            lineError(number, "the value name is not followed by \"=\"");
        QString data = line.mid(pos + 1).trimmed();
        op.kind = RegOperation::Kind::SetValue;
        if (data == "-") {
            op.kind = RegOperation::Kind::DeleteValue;
        } else if (data.startsWith('"')) {
            qsizetype at = 0;
            const QString text = quoted(data, at, number);
            if (at != data.size())
                lineError(number, "there is more after the closing quote");
            op.type = ValueType::String;
            op.data = utf16Bytes(text + QChar(0));
        } else if (data.startsWith("dword:", Qt::CaseInsensitive)) {
            const QString digits = data.mid(6);
            bool ok = digits.size() >= 1 && digits.size() <= 8;
            for (QChar c : digits)
                ok = ok && isHexDigit(c);
            if (!ok)
                lineError(number, "a dword value needs one to eight hex digits");
            const quint32 value = digits.toUInt(nullptr, 16);
            op.type = ValueType::DWord;
            for (int i = 0; i < 4; ++i)
                op.data.append(char((value >> (8 * i)) & 0xFF));
        } else if (data.startsWith("hex", Qt::CaseInsensitive)) {
            hexValue(data.mid(3), number, op);
        } else {
            lineError(number, QString("\"%1\" is not a value of the format").arg(data.left(80)));
        }
        sink(op);
    }

    // "hex:..." or "hex(N):...", possibly continued with "\" at the ends of lines.
    void hexValue(QString rest, int number, RegOperation& op) {
        quint64 type = quint64(ValueType::Binary);
        if (rest.startsWith('(')) {
            const qsizetype close = rest.indexOf(')');
            const QString digits = rest.mid(1, close - 1);
            bool ok = close > 1 && digits.size() <= 8;
            for (QChar c : digits)
                ok = ok && isHexDigit(c);
            type = digits.toULongLong(nullptr, 16);
            if (!ok || type > 0x7FFFFFFF)
                lineError(number, "the type in \"hex(...)\" must be a hex number");
            rest = rest.mid(close + 1);
        }
        if (!rest.startsWith(':'))
            lineError(number, "\"hex\" must be followed by \":\"");
        QString segment = rest.mid(1).trimmed();
        int segmentLine = number;
        for (;;) {
            const bool continued = segment.endsWith('\\');
            if (continued)
                segment.chop(1);
            const QStringList items = segment.split(',');
            for (qsizetype i = 0; i < items.size(); ++i) {
                const QString item = items[i].trimmed();
                if (item.isEmpty() && i == items.size() - 1)
                    continue; // after the last comma of a line
                if (item.isEmpty() || item.size() > 2 || !isHexDigit(item[0]) ||
                    (item.size() == 2 && !isHexDigit(item[1])))
                    lineError(segmentLine, QString("\"%1\" is not a hex byte").arg(item.left(20)));
                op.data.append(char(item.toUInt(nullptr, 16)));
            }
            if (!continued)
                break;
            if (reader.atEnd())
                lineError(segmentLine, "the last line ends with a continuation \"\\\"");
            segmentLine = ++next;
            segment = reader.next().trimmed();
        }
        op.type = ValueType(type);
        // REGEDIT4 writes texts of every text type as ANSI; the store keeps them in UTF-16.
        if (ansi && (type == 1 || type == 2 || type == 7))
            op.data = utf16Bytes(ansiText(op.data));
    }

    LineReader& reader;
    Sink sink;
    int next = 0; // lines read so far
    bool ansi = false;
    bool inKey = false;
    RootKey keyRoot = RootKey::CurrentUser;
    QString keyPath;
};

// Applies operations to the store one after the other, keeping one key open for the values
// that follow it; an error names the line the operation came from.
class Applier {
public:
    explicit Applier(SettingsStore& store) : store(store) {}

    void operator()(const RegOperation& op) {
        try {
            switch (op.kind) {
            case RegOperation::Kind::CreateKey:
                openFor(op);
                break;
            case RegOperation::Kind::DeleteKey:
                store.setRootKey(op.root);
                open = false;
                store.deleteKey(op.path);
                break;
            case RegOperation::Kind::SetValue:
                openFor(op);
                store.writeRaw(op.name, op.type, op.data);
                break;
            case RegOperation::Kind::DeleteValue:
                openFor(op);
                store.deleteValue(op.name);
                break;
            }
        } catch (const VallorinError& error) {
            throw VallorinError(QString("Line %1: %2").arg(op.line).arg(error.message()));
        }
    }

private:
    void openFor(const RegOperation& op) {
        if (open && openRoot == op.root && openPath == op.path)
            return;
        store.setRootKey(op.root);
        store.openKey(op.path, true);
        open = true;
        openRoot = op.root;
        openPath = op.path;
    }

    SettingsStore& store;
    bool open = false;
    RootKey openRoot = RootKey::CurrentUser;
    QString openPath;
};

QList<RegOperation> collect(LineReader reader) {
    QList<RegOperation> operations;
    Parser(reader, [&](const RegOperation& op) { operations << op; }).run();
    return operations;
}

QString quote(const QString& text) {
    QString out = "\"";
    for (QChar c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A hex list wrapped as the registry editor wraps it, lines of at most 80 characters.
QString hexList(const QString& head, const QByteArray& data) {
    QString out = head;
    qsizetype column = head.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        out += QString("%1").arg(uchar(data[i]), 2, 16, QChar('0'));
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

QString valueLine(const QString& name, int type, const QByteArray& data) {
    const QString head = (name.isEmpty() ? QString("@") : quote(name)) + '=';
    if (type == int(ValueType::String)) {
        const QString text = textOfUtf16(data).section(QChar(0), 0, 0);
        // The quoted form holds one line of text with its terminating null, nothing else.
        if (utf16Bytes(text + QChar(0)) == data && !text.contains('\r') && !text.contains('\n'))
            return head + quote(text);
    }
    if (type == int(ValueType::DWord) && data.size() == 4) {
        const quint32 value = quint32(uchar(data[0])) | quint32(uchar(data[1])) << 8 |
                              quint32(uchar(data[2])) << 16 | quint32(uchar(data[3])) << 24;
        return head + QString("dword:%1").arg(value, 8, 16, QChar('0'));
    }
    if (type == int(ValueType::Binary))
        return hexList(head + "hex:", data);
    return hexList(head + QString("hex(%1):").arg(type, 0, 16), data);
}

// The spelling under which each key of the path was created.
QString storedSpelling(SettingsStore& store, const QString& path) {
    QString spelled;
    for (const QString& part : path.split('\\', Qt::SkipEmptyParts)) {
        QString name = part;
        for (const QString& child : store.keyNamesOf(spelled))
            if (child.compare(part, Qt::CaseInsensitive) == 0)
                name = child;
        spelled += (spelled.isEmpty() ? "" : "\\") + name;
    }
    return spelled;
}

} // namespace

namespace RegFile {

QString decode(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE"))
        return textOfUtf16(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return textOfUtf16(QByteArrayView(bytes).sliced(2), true);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return ansiText(bytes);
}

QList<RegOperation> parse(const QString& text) {
    return collect(LineReader(QStringView(text)));
}

QList<RegOperation> parseBytes(const QByteArray& bytes) {
    return collect(LineReader(QByteArrayView(bytes)));
}

bool splitKeyName(const QString& keyName, RootKey& root, QString& path) {
    const qsizetype separator = keyName.indexOf('\\');
    const QString head = keyName.left(separator);
    path = separator < 0 ? QString() : keyName.mid(separator + 1);
    for (const char* name : {"HKEY_CURRENT_USER", "HKCU"})
        if (head.compare(name, Qt::CaseInsensitive) == 0) {
            root = RootKey::CurrentUser;
            return true;
        }
    for (const char* name : {"HKEY_LOCAL_MACHINE", "HKLM"})
        if (head.compare(name, Qt::CaseInsensitive) == 0) {
            root = RootKey::LocalMachine;
            return true;
        }
    return false;
}

QString rootName(RootKey root) {
    return root == RootKey::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

void apply(SettingsStore& store, const QList<RegOperation>& operations) {
    QList<RootKey> roots;
    for (const RegOperation& op : operations)
        if (!roots.contains(op.root))
            roots << op.root;
    store.inOneTransaction(roots, [&] {
        Applier applier(store);
        for (const RegOperation& op : operations)
            applier(op);
    });
}

void importFile(SettingsStore& store, const QString& fileName) {
    // A named pipe or a device could block the read or never end it.
    const QString notAFile = FileSystem::NotARegularFile(fileName);
    if (!notAFile.isEmpty())
        throw VallorinError(
            QString("The file \"%1\" cannot be read: it is %2").arg(fileName, notAFile));
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly))
        throw VallorinError(
            QString("The file \"%1\" cannot be read: %2").arg(fileName, in.errorString()));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw VallorinError(
            QString("The file \"%1\" cannot be read: %2").arg(fileName, in.errorString()));
    in.close();
    try {
        // The whole file is read and checked first, keeping only which branches it changes;
        // then it is read again and applied in one transaction per branch. Reading twice costs
        // far less than keeping every operation, which took many times the file's size.
        QList<RootKey> roots;
        LineReader check{QByteArrayView(bytes)};
        Parser(check, [&](const RegOperation& op) {
            if (!roots.contains(op.root))
                roots << op.root;
        }).run();
        store.inOneTransaction(roots, [&] {
            Applier applier(store);
            LineReader reader{QByteArrayView(bytes)};
            Parser(reader, std::ref(applier)).run();
        });
    } catch (const VallorinError& error) {
        throw VallorinError(QString("%1, %2").arg(fileName, error.message()));
    }
}

QByteArray exportKey(SettingsStore& store, RootKey root, const QString& path) {
    store.setRootKey(root);
    if (!store.keyExists(path))
        throw VallorinError(QString("The key \"%1\" does not exist")
                                .arg(rootName(root) + (path.isEmpty() ? "" : "\\") + path));
    QString out = Version5Header + "\r\n\r\n";
    const std::function<void(const QString&)> writeKey = [&](const QString& key) {
        out += '[' + rootName(root) + (key.isEmpty() ? "" : "\\") + key + "]\r\n";
        store.openKey(key, false);
        for (const QString& name : store.getValueNames())
            out += valueLine(name, int(store.valueType(name)), store.readBinary(name)) + "\r\n";
        store.closeKey();
        out += "\r\n";
        for (const QString& child : store.keyNamesOf(key))
            writeKey(key.isEmpty() ? child : key + '\\' + child);
    };
    writeKey(storedSpelling(store, path));
    return QByteArray("\xFF\xFE", 2) + utf16Bytes(out);
}

void exportFile(SettingsStore& store, RootKey root, const QString& path, const QString& fileName) {
    const QByteArray bytes = exportKey(store, root, path);
    // Written aside and renamed, so a failed export never leaves half a file.
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw VallorinError(
            QString("The file \"%1\" cannot be written: %2").arg(fileName, out.errorString()));
}

} // namespace RegFile
