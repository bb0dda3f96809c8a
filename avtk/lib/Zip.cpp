#include "lib/Zip.h"

#include <zlib.h>

#include <cstdint>

namespace Zip {

namespace {

constexpr quint32 LocalSignature = 0x04034b50;
constexpr quint32 CentralSignature = 0x02014b50;
constexpr quint32 EndSignature = 0x06054b50;

void put16(QByteArray& b, quint32 v) {
    b += char(v & 0xff);
    b += char((v >> 8) & 0xff);
}
void put32(QByteArray& b, quint32 v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

} // namespace

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
