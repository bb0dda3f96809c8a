#include "resident/GuardLog.h"

#include "platform/Drives.h"

#include <QDateTime>

#include <cstdio>

namespace guard {

namespace {

QString Stamped(const QString& text) {
    return QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss") + "  " + text + "\r\n";
}

} // namespace

void GuardLog::write(const QString& text) {
    const QByteArray bytes = Stamped(text).toUtf8();
    if (file.isOpen()) {
        if (file.write(bytes) == bytes.size() && file.flush())
            return;
        // Said once, not with every line: the file is let go, and the settings read again try
        // it anew.
        const QString failed = Stamped(QString("The log file %1 can no longer be written (%2): "
                                               "the log goes to standard error.")
                                           .arg(path, file.errorString()));
        file.close();
        std::fputs(failed.toUtf8().constData(), stderr);
    }
    std::fputs(bytes.constData(), stderr);
    std::fflush(stderr);
}

QString GuardLog::pathOf(const Settings& settings) const {
    return settings.logFile.isEmpty() ? QString() : Drives::NativePath(prefix, settings.logFile);
}

void GuardLog::follow(const Settings& settings) {
    const QString wanted = pathOf(settings);
    if (wanted == path && file.isOpen())
        return;
    file.close();
    path = wanted;
    if (path.isEmpty())
        return;
    // Kept open and appended to: the log is never closed after writing, so its own lines raise
    // no event of the watch.
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        write(QString("The log file %1 cannot be written (%2): the log goes to standard error.")
                  .arg(path, file.errorString()));
}

} // namespace guard
