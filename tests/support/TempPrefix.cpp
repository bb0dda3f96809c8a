#include "TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempPrefix::TempPrefix() {
    reset();
}

void TempPrefix::reset() {
    dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vallorin-test-XXXXXX");
    QDir(dir->path()).mkpath("dosdevices");
}

QString TempPrefix::folder() const {
    return dir->path() + '/';
}

QString TempPrefix::path(const QString& relative) const {
    return folder() + relative;
}

void TempPrefix::mapDrive(QChar letter, const QString& target) const {
    const QString link = path(QString("dosdevices/%1:").arg(letter.toLower()));
    QFile::remove(link);
    QFile::link(target, link);
}

QString TempPrefix::writeFile(const QString& relative, const QByteArray& content) const {
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly))
        out.write(content);
    return file;
}
