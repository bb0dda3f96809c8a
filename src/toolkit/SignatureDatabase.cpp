#include "toolkit/SignatureDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace SignatureDatabase {

namespace {

QFileInfoList SignedDatabases(const QString& folder) {
    // freshclam keeps main, daily and bytecode as .cvd (as published) or .cld (updated in place).
    return QDir(folder).entryInfoList({"*.cvd", "*.cld"}, QDir::Files | QDir::Readable);
}

// A signed database begins with a 512-byte header "ClamAV-VDB:time:version:count:...".
qint64 HeaderCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.read(512).split(':');
    bool number = false;
    const qint64 count =
        fields.size() > 3 && fields[0] == "ClamAV-VDB" ? fields[3].toLongLong(&number) : -1;
    return number ? count : -1;
}

} // namespace

QString Folder() {
    const QString named = qEnvironmentVariable("AVTK_CLAMAV_DATABASE");
    return named.isEmpty() ? QStringLiteral("/var/lib/clamav") : named;
}

State Look(const QString& folder) {
    State state;
    for (const QFileInfo& file : SignedDatabases(folder)) {
        state.installed = true;
        if (!state.updated.isValid() || file.lastModified() > state.updated)
            state.updated = file.lastModified();
    }
    return state;
}

State Read(const QString& folder) {
    State state = Look(folder);
    if (!state.installed)
        return state;
    for (const QFileInfo& file : SignedDatabases(folder))
        if (const qint64 count = HeaderCount(file.filePath()); count >= 0)
            state.signatures = std::max<qint64>(state.signatures, 0) + count;
    return state;
}

} // namespace SignatureDatabase
