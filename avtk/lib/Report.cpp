#include "lib/Report.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString Failed(const QString& name, const QString& reason) {
    return QString("Cannot write the report %1: %2").arg(name, reason);
}

} // namespace

QString Report::write() const {
    if (name.isEmpty())
        return {};
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    // A report name that is a link writes where the link points, and leaves the link.
    const QFileInfo info(name);
    const QString target = info.isSymLink() ? info.symLinkTarget() : name;
    const QFileInfo targetInfo(target);
    if (appending || (targetInfo.exists() && !targetInfo.isFile())) {
        QFile out(target);
        const bool appendHere = appending && targetInfo.isFile();
        const qint64 before = appendHere ? targetInfo.size() : 0;
        const QIODevice::OpenMode mode =
            QIODevice::WriteOnly | (appending ? QIODevice::Append : QIODevice::Truncate);
        if (!out.open(mode))
            return Failed(name, out.errorString());
        if (out.write(bytes) == bytes.size() && out.flush())
            return {};
        const QString error = out.errorString();
        // A report cut short is taken back, so that the earlier reports stay as they were.
        if (appendHere)
            out.resize(before);
        return Failed(name, error);
    }
    // A new report replaces the old one whole, or not at all.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return Failed(name, out.errorString());
    if (out.write(bytes) != bytes.size() || !out.commit())
        return Failed(name, out.errorString());
    return {};
}
