#include "lib/Report.h"

#include <QFile>

QString Report::write() const {
    if (name.isEmpty())
        return {};
    QFile out(name);
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (appending ? QIODevice::Append : QIODevice::Truncate);
    if (!out.open(mode))
        return QString("Cannot write the report %1: %2").arg(name, out.errorString());
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    if (out.write(bytes) != bytes.size() || !out.flush())
        return QString("Cannot write the report %1: %2").arg(name, out.errorString());
    return {};
}
