#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A fresh prefix folder for one test, removed afterwards.
class TempPrefix {
public:
    TempPrefix();
    // The prefix folder with a trailing "/".
    QString folder() const;
    // A path inside the prefix.
    QString path(const QString& relative) const;
    // Creates (or replaces) the drive mapping dosdevices/<letter>: -> target.
    void mapDrive(QChar letter, const QString& target) const;
    // Writes a file (creating its folders) and returns its path.
    QString writeFile(const QString& relative, const QByteArray& content) const;
    // Replaces the prefix by a fresh, empty one.
    void reset();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

// Writes a whole file, making its folders first; a write that fails fails the test.
void WriteTestFile(const QString& path, const QByteArray& content);
