#pragma once

#include "resident/GuardSettings.h"

#include <QFile>
#include <QString>

#include <utility>

namespace guard {

// The guard's log: the file the settings name, kept open and appended to, or standard error when
// they name none or it cannot be written.
class GuardLog {
public:
    explicit GuardLog(QString prefix) : prefix(std::move(prefix)) {}

    // A line, stamped with the time.
    void write(const QString& text);
    // Goes over to the file the settings name (nothing changes when it is the one open).
    void follow(const Settings& settings);
    // The file the settings name, as a path of this system; empty for none.
    QString pathOf(const Settings& settings) const;

private:
    QString prefix;
    QFile file;
    QString path;
};

} // namespace guard
