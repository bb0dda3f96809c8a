#include "lib/Zip.h"

#include <zlib.h>

#include <cstdint>

namespace Zip {

namespace {

constexpr quint32 LocalSignature = 0x04034b50;
constexpr quint32 CentralSignature = 0x02014b50;
constexpr quint32 EndSignature = 0x06054b50;

quint32 le16(const QByteArray& b, qsizetype at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8;
}
quint32 le32(const QByteArray& b, qsizetype at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}
void put16(QByteArray& b, quint32 v) {
    b += char(v & 0xff);
    b += char((v >> 8) & 0xff);
}
void put32(QByteArray& b, quint32 v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// Inflates raw deflate data, stopping with an error past the cap (so a small bomb cannot fill
// the memory).
QString inflateRaw(const QByteArray& in, qint64 cap, QByteArray& out) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return "cannot start inflating";
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (out.size() > cap) {
            inflateEnd(&z);
            out.clear();
            return QString("larger than %1 bytes when inflated").arg(cap);
        }
        if (result == Z_BUF_ERROR && z.avail_in == 0)
            break; // truncated input
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) {
        out.clear();
        return "damaged compressed data";
    }
    return {};
}

Member readMember(const QByteArray& bytes, qsizetype entry, qint64 cap) {
    Member member;
    const quint32 flags = le16(bytes, entry + 8);
    const quint32 method = le16(bytes, entry + 10);
    const quint32 crc = le32(bytes, entry + 16);
    const qint64 packed = le32(bytes, entry + 20);
    const qint64 size = le32(bytes, entry + 24);
    const quint32 nameLength = le16(bytes, entry + 28);
    const qsizetype local = le32(bytes, entry + 42);
    member.name = QString::fromUtf8(bytes.mid(entry + 46, nameLength));
    if (flags & 1) {
        member.problem = "encrypted";
        return member;
    }
    if (packed == 0xffffffff || size == 0xffffffff || local == 0xffffffff) {
        member.problem = "ZIP64 member, not opened";
        return member;
    }
    if (local < 0 || local + 30 > bytes.size() || le32(bytes, local) != LocalSignature) {
        member.problem = "local header missing";
        return member;
    }
    const qsizetype data = local + 30 + le16(bytes, local + 26) + le16(bytes, local + 28);
    if (data + packed > bytes.size()) {
        member.problem = "truncated";
        return member;
    }
    const QByteArray raw = bytes.mid(data, packed);
    if (method == 0) {
        if (size > cap) {
            member.problem = QString("larger than %1 bytes").arg(cap);
            return member;
        }
        member.data = raw;
    } else if (method == 8) {
        member.problem = inflateRaw(raw, cap, member.data);
        if (!member.problem.isEmpty())
            return member;
    } else {
        member.problem = QString("compression method %1 not supported").arg(method);
        return member;
    }
    const uLong actual = crc32(0L, reinterpret_cast<const Bytef*>(member.data.constData()),
                               uInt(member.data.size()));
    if (actual != crc) {
        member.data.clear();
        member.problem = "CRC mismatch";
    }
    return member;
}

} // namespace

bool LooksLikeZip(const QByteArray& bytes) {
    return bytes.size() >= 22 && (bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06"));
}

Archive Read(const QByteArray& bytes, qint64 maxMemberSize) {
    Archive archive;
    // The end record is within the last 64 KiB + 22 bytes (its comment is at most 64 KiB).
    qsizetype end = -1;
    for (qsizetype at = bytes.size() - 22; at >= 0 && at >= bytes.size() - 22 - 65535; --at)
        if (le32(bytes, at) == EndSignature) {
            end = at;
            break;
        }
    if (end < 0) {
        archive.problem = "no zip directory";
        return archive;
    }
    const quint32 count = le16(bytes, end + 10);
    qsizetype entry = le32(bytes, end + 16);
    for (quint32 i = 0; i < count; ++i) {
        if (entry < 0 || entry + 46 > bytes.size() || le32(bytes, entry) != CentralSignature) {
            archive.problem = "damaged zip directory";
            return archive;
        }
        archive.members << readMember(bytes, entry, maxMemberSize);
        entry += 46 + le16(bytes, entry + 28) + le16(bytes, entry + 30) + le16(bytes, entry + 32);
    }
    return archive;
}

QByteArray Write(const QList<Input>& members) {
    QByteArray out;
    QByteArray central;
    for (const Input& member : members) {
        QByteArray packed = member.data;
        quint32 method = 0;
        if (member.deflate) {
            z_stream z{};
            deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
            packed.resize(qsizetype(deflateBound(&z, uLong(member.data.size()))));
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data.constData()));
            z.avail_in = uInt(member.data.size());
            z.next_out = reinterpret_cast<Bytef*>(packed.data());
            z.avail_out = uInt(packed.size());
            deflate(&z, Z_FINISH);
            packed.resize(qsizetype(z.total_out));
            deflateEnd(&z);
            method = 8;
        }
        const QByteArray name = member.name.toUtf8();
        const quint32 crc = quint32(crc32(
            0L, reinterpret_cast<const Bytef*>(member.data.constData()), uInt(member.data.size())));
        const quint32 offset = quint32(out.size());
        auto common = [&](QByteArray& b) {
            put16(b, 20);    // version needed
            put16(b, 0x800); // names are UTF-8
            put16(b, method);
            put16(b, 0);    // time
            put16(b, 0x21); // date: 1980-01-01
            put32(b, crc);
            put32(b, quint32(packed.size()));
            put32(b, quint32(member.data.size()));
            put16(b, quint32(name.size()));
            put16(b, 0); // extra
        };
        put32(out, LocalSignature);
        common(out);
        out += name + packed;
        put32(central, CentralSignature);
        put16(central, 20); // made by
        common(central);
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, 0); // external attributes
        put32(central, offset);
        central += name;
    }
    const quint32 centralOffset = quint32(out.size());
    out += central;
    put32(out, EndSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint32(members.size()));
    put16(out, quint32(members.size()));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

} // namespace Zip
