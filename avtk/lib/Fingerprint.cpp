#include "lib/Fingerprint.h"

#include "lib/Des.h"

#include <QMessageAuthenticationCode>
#include <QUrl>

namespace Fingerprint {

namespace {

const QByteArray Magic = "ViVerify stand-in fingerprints 1";

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
    return out;
}

std::optional<File> Read(const QByteArray& bytes, const QString& keyword, QString& error) {
    if (!bytes.startsWith(Magic + "\n")) {
        error = "This is not a fingerprint file of this checker.";
        return std::nullopt;
    }
    File file;
    qsizetype lineStart = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype thisStart = lineStart;
        lineStart += line.size() + 1;
        if (line.isEmpty() || line == Magic)
            continue;
        if (file.sealed) { // nothing may follow the seal
            error = "The fingerprint file is damaged.";
            return std::nullopt;
        }
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals);
        const QByteArray value = line.mid(equals + 1);
        if (name == "Algorithm") {
            const auto algorithm = FromName(QString::fromUtf8(value));
            if (!algorithm) {
                error = "The fingerprint file names an unknown algorithm.";
                return std::nullopt;
            }
            file.algorithm = *algorithm;
        } else if (name == "Stride") {
            file.stride = value.toInt();
        } else if (name == "Drives") {
            file.drives = QString::fromUtf8(value);
        } else if (name == "File") {
            const QList<QByteArray> parts = value.split('\t');
            if (parts.size() != 3) {
                error = "The fingerprint file is damaged.";
                return std::nullopt;
            }
            file.entries.insert(QUrl::fromPercentEncoding(parts[0]),
                                Entry{parts[1].toLongLong(), QString::fromUtf8(parts[2])});
        } else if (name == "Seal") {
            file.sealed = true;
            if (keyword.isEmpty()) {
                error = "The fingerprint file is sealed with a keyword, and none was given.";
                return std::nullopt;
            }
            if (seal(bytes.left(thisStart), keyword) != value) {
                error = "The keyword does not match the fingerprint file, or the file has been "
                        "altered.";
                return std::nullopt;
            }
        } else {
            error = "The fingerprint file is damaged.";
            return std::nullopt;
        }
    }
    if (file.stride < 1) {
        error = "The fingerprint file is damaged.";
        return std::nullopt;
    }
    return file;
}

} // namespace Fingerprint
