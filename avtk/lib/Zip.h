#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Zip archives as the scanner opens them: the central directory, then each member stored or
// deflated. Read from memory, with a cap on what one member may inflate to.
namespace Zip {

struct Member {
    QString name;
    QByteArray data;
    QString problem; // why the member could not be read; data is empty then
};

struct Archive {
    QString problem; // why the archive could not be opened; empty when it was
    QList<Member> members;
};

bool LooksLikeZip(const QByteArray& bytes);
Archive Read(const QByteArray& bytes, qint64 maxMemberSize);

struct Input {
    QString name;
    QByteArray data;
    bool deflate = true;
};
// A zip archive of the given members (for the sample drive and the tests).
QByteArray Write(const QList<Input>& members);

} // namespace Zip
