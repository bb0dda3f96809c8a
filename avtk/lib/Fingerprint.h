#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// File fingerprints of the integrity checker and the file they are kept in.
namespace Fingerprint {

enum class Algorithm {
    Sizes,    // the file size alone
    Checksum, // the 32-bit sum of the bytes read
    Crc,      // CCITT CRC-16 (polynomial 0x1021, start 0xFFFF) of the bytes read
    Des,      // DES CBC-MAC of the bytes read, keyed by the keyword
};

QString Name(Algorithm algorithm);
std::optional<Algorithm> FromName(const QString& name);

quint16 Crc16Ccitt(const QByteArray& bytes, quint16 start = 0xFFFF);

// The DES key made of a keyword: its first eight bytes, padded with blanks.
quint64 DesKey(const QString& keyword);

// Computes one file's fingerprint from its content; with a stride above 1 ("turbo mode") only
// every stride-th byte is read into it, from the first on. The size is always part of it.
class Hasher {
public:
    Hasher(Algorithm algorithm, quint64 desKey, int stride);
    void add(const QByteArray& chunk);
    QString result() const;

private:
    void desByte(quint8 byte);
    Algorithm algorithm;
    quint64 key;
    int stride;
    qint64 offset = 0;
    quint32 sum = 0;
    quint16 crc = 0xFFFF;
    quint64 chain = 0, pending = 0;
    int pendingBytes = 0;
};

struct Entry {
    qint64 size = 0;
    QString value;
};

// The fingerprint file: a text header naming how it was made, one line per file, when a keyword
// was given a seal (HMAC-SHA-256 of everything before it) that the keyword must match, and last a
// checksum (SHA-256 of everything before it), by which damage is told from changed files. Files
// of the first format, written before the checksum, are read too.
struct File {
    Algorithm algorithm = Algorithm::Crc;
    int stride = 1;
    QString drives;               // "T:;U:"
    QMap<QString, Entry> entries; // by drive path
    bool sealed = false;
    bool checksummed = true; // false for a file of the first format
};

QByteArray Write(const File& file, const QString& keyword);

// Reads a fingerprint file; an error sentence (damaged, bad seal, keyword missing or not
// matching) comes back in `error`, and `damaged` says whether the file's own bytes are wrong
// (rather than the keyword).
std::optional<File> Read(const QByteArray& bytes, const QString& keyword, QString& error,
                         bool* damaged = nullptr);

} // namespace Fingerprint
