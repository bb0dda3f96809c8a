#include "lib/Fingerprint.h"

#include "lib/Des.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QUrl>

#include <utility>

namespace Fingerprint {

namespace {

const QByteArray Magic = "ViVerify stand-in fingerprints 2";
// The first format: the same lines without the checksum.
const QByteArray FirstMagic = "ViVerify stand-in fingerprints 1";
const QByteArray ChecksumName = "Checksum=";

QByteArray Checksum(QByteArrayView body) {
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
}

QByteArray seal(const QByteArray& body, const QString& keyword) {
    return QMessageAuthenticationCode::hash(body, keyword.toUtf8(), QCryptographicHash::Sha256)
        .toHex();
}

} // namespace

QString Name(Algorithm algorithm) {
    switch (algorithm) {
    case Algorithm::Sizes:
        return "SIZES";
    case Algorithm::Checksum:
        return "WHOLESUM";
    case Algorithm::Crc:
        return "CRC";
    case Algorithm::Des:
        return "DES";
    }
    return {};
}

std::optional<Algorithm> FromName(const QString& name) {
    for (Algorithm a : {Algorithm::Sizes, Algorithm::Checksum, Algorithm::Crc, Algorithm::Des})
        if (Name(a) == name)
            return a;
    return std::nullopt;
}

quint16 Crc16Ccitt(const QByteArray& bytes, quint16 start) {
    quint16 crc = start;
    for (char c : bytes) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

quint64 DesKey(const QString& keyword) {
    QByteArray bytes = keyword.toUtf8().left(8);
    bytes.append(8 - bytes.size(), ' ');
    quint64 key = 0;
    for (char c : bytes)
        key = (key << 8) | quint8(c);
    return key;
}

Hasher::Hasher(Algorithm algorithm, quint64 desKey, int stride)
    : algorithm(algorithm), key(desKey), stride(stride < 1 ? 1 : stride) {}

void Hasher::add(const QByteArray& chunk) {
    const qint64 start = offset;
    offset += chunk.size();
    if (algorithm == Algorithm::Sizes)
        return;
    // The first byte of this chunk that falls on the stride.
    qint64 i = (stride - start % stride) % stride;
    for (; i < chunk.size(); i += stride) {
        const quint8 byte = quint8(chunk[i]);
        switch (algorithm) {
        case Algorithm::Checksum:
            sum += byte;
            break;
        case Algorithm::Crc:
            crc = Crc16Ccitt(QByteArray(1, char(byte)), crc);
            break;
        case Algorithm::Des:
            desByte(byte);
            break;
        case Algorithm::Sizes:
            break;
        }
    }
}

void Hasher::desByte(quint8 byte) {
    pending = (pending << 8) | byte;
    if (++pendingBytes == 8) {
        chain = Des(key).encrypt(chain ^ pending);
        pending = 0;
        pendingBytes = 0;
    }
}

QString Hasher::result() const {
    switch (algorithm) {
    case Algorithm::Sizes:
        return QString::number(offset);
    case Algorithm::Checksum:
        return QString("%1").arg(sum, 8, 16, QChar(u'0')).toUpper();
    case Algorithm::Crc:
        return QString("%1").arg(crc, 4, 16, QChar(u'0')).toUpper();
    case Algorithm::Des: {
        // Padding of ISO/IEC 9797-1 method 2 (a 0x80 byte, then zeros), then the length block.
        Hasher copy = *this;
        copy.desByte(0x80);
        while (copy.pendingBytes != 0)
            copy.desByte(0);
        const quint64 mac = Des(key).encrypt(copy.chain ^ quint64(offset));
        return QString("%1").arg(mac, 16, 16, QChar(u'0')).toUpper();
    }
    }
    return {};
}

QByteArray Write(const File& file, const QString& keyword) {
    QByteArray out = Magic + "\n";
    out += "Algorithm=" + Name(file.algorithm).toUtf8() + "\n";
    out += "Stride=" + QByteArray::number(file.stride) + "\n";
    out += "Drives=" + file.drives.toUtf8() + "\n";
    for (auto it = file.entries.begin(); it != file.entries.end(); ++it)
        out += "File=" + QUrl::toPercentEncoding(it.key(), ":\\") + "\t" +
               QByteArray::number(it->size) + "\t" + it->value.toUtf8() + "\n";
    if (!keyword.isEmpty())
        out += "Seal=" + seal(out, keyword) + "\n";
    out += ChecksumName + Checksum(out) + "\n";
    return out;
}

std::optional<File> Read(const QByteArray& whole, const QString& keyword, QString& error,
                         bool* damaged) {
    const auto fail = [&](const QString& sentence, bool ownBytes) {
        error = sentence;
        if (damaged)
            *damaged = ownBytes;
        return std::nullopt;
    };
    File file;
    QByteArray bytes = whole;
    if (whole.startsWith(QByteArray(Magic + "\n"))) {
        // The last line is the checksum of everything before it; cut off, it is missing.
        const qsizetype last =
            whole.endsWith('\n') ? whole.lastIndexOf('\n', whole.size() - 2) + 1 : 0;
        const QByteArray line = whole.mid(last).chopped(whole.endsWith('\n') ? 1 : 0);
        if (last == 0 || !line.startsWith(ChecksumName))
            return fail("The fingerprint file is damaged: it ends without its checksum (it was "
                        "cut short).",
                        true);
        bytes = whole.left(last);
        if (line.mid(ChecksumName.size()) != Checksum(bytes))
            return fail("The fingerprint file is damaged: its content does not match its "
                        "checksum.",
                        true);
    } else if (whole.startsWith(QByteArray(FirstMagic + "\n"))) {
        file.checksummed = false;
    } else {
        return fail("The fingerprint file is damaged: it does not begin as a fingerprint file of "
                    "this checker.",
                    true);
    }
    const QString broken = "The fingerprint file is damaged.";
    qsizetype lineStart = 0;
    bool first = true;
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype thisStart = lineStart;
        lineStart += line.size() + 1;
        if (std::exchange(first, false) || line.isEmpty())
            continue;    // the first line is the format's, checked above
        if (file.sealed) // nothing may follow the seal
            return fail(broken, true);
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals);
        const QByteArray value = line.mid(equals + 1);
        bool number = true;
        if (name == "Algorithm") {
            const auto algorithm = FromName(QString::fromUtf8(value));
            if (!algorithm)
                return fail("The fingerprint file names an unknown algorithm.", true);
            file.algorithm = *algorithm;
        } else if (name == "Stride") {
            file.stride = value.toInt(&number);
        } else if (name == "Drives") {
            file.drives = QString::fromUtf8(value);
        } else if (name == "File") {
            const QList<QByteArray> parts = value.split('\t');
            if (parts.size() != 3)
                return fail(broken, true);
            file.entries.insert(QUrl::fromPercentEncoding(parts[0]),
                                Entry{parts[1].toLongLong(&number), QString::fromUtf8(parts[2])});
        } else if (name == "Seal") {
            file.sealed = true;
            if (keyword.isEmpty())
                return fail("The fingerprint file is sealed with a keyword, and none was given.",
                            false);
            if (seal(bytes.left(thisStart), keyword) != value)
                return fail("The keyword does not match the fingerprint file, or the file has "
                            "been altered.",
                            false);
        } else {
            return fail(broken, true);
        }
        if (!number)
            return fail(broken, true);
    }
    if (file.stride < 1)
        return fail(broken, true);
    return file;
}

} // namespace Fingerprint
