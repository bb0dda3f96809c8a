#include "lib/Signatures.h"

namespace Signatures {

QByteArray EicarTestString() {
    QByteArray s = "X5O!P%@AP[4\\";
    s += "PZX54(P^)7CC)7}$";
    s += "EICAR-STANDARD-";
    s += "ANTIVIRUS-";
    s += "TEST-FILE!$H+H*";
    return s;
}

QString Detect(const QByteArray& content, const QList<Signature>& extra) {
    const QByteArray eicar = EicarTestString();
    if (content.startsWith(eicar) && content.size() <= 128) {
        bool onlyBlanks = true;
        for (qsizetype i = eicar.size(); i < content.size() && onlyBlanks; ++i)
            onlyBlanks = QByteArray(" \t\r\n\x1a").contains(content[i]);
        if (onlyBlanks)
            return EicarName;
    }
    for (const Signature& signature : extra)
        if (!signature.bytes.isEmpty() && content.contains(signature.bytes))
            return signature.name;
    return {};
}

QList<Signature> ParseDriver(const QByteArray& text, QStringList& errors) {
    QList<Signature> signatures;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        const qsizetype equals = line.indexOf('=');
        const QString name = QString::fromUtf8(line.left(equals)).trimmed();
        const QByteArray body = equals < 0 ? QByteArray() : line.mid(equals + 1).trimmed();
        QByteArray bytes;
        if (body.size() >= 2 && body.startsWith('"') && body.endsWith('"')) {
            bytes = body.mid(1, body.size() - 2);
        } else {
            const QByteArray hex = QByteArray(body).replace(' ', "");
            bytes = QByteArray::fromHex(hex);
            if (bytes.size() * 2 != hex.size())
                bytes.clear();
        }
        if (name.isEmpty() || bytes.size() < 4) {
            errors << QString("line %1: not \"name = hex bytes\" or \"name = \"text\"\" "
                              "with at least 4 bytes")
                          .arg(number);
            continue;
        }
        signatures << Signature{name, bytes};
    }
    return signatures;
}

QList<QRegularExpression> ParseChecklist(const QByteArray& text) {
    QList<QRegularExpression> patterns;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        patterns << QRegularExpression(QRegularExpression::wildcardToRegularExpression(line),
                                       QRegularExpression::CaseInsensitiveOption);
    }
    return patterns;
}

bool IsExecutableName(const QString& fileName) {
    static const QStringList extensions = {"exe", "com", "dll", "sys", "bin", "ovl", "ovr",
                                           "drv", "scr", "vxd", "386", "cpl", "ocx", "pif"};
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && extensions.contains(fileName.mid(dot + 1).toLower());
}

bool IsArchiveName(const QString& fileName) {
    return fileName.endsWith(".zip", Qt::CaseInsensitive);
}

} // namespace Signatures
