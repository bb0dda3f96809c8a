#include "TempPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

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
    WriteTestFile(file, content);
    return file;
}

void WriteTestFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(content) == content.size())
        << path.toStdString() << ": " << file.errorString().toStdString();
}
