#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Zip archives written for the sample drive and the tests: members stored or deflated.
namespace Zip {

struct Input {
    QString name;
    QByteArray data;
    bool deflate = true;
};
// A zip archive of the given members.
QByteArray Write(const QList<Input>& members);

} // namespace Zip
