#pragma once

#include <QString>

// An exclusive lock on a file, taken without waiting and held until the object goes. It is a
// kernel lock (flock), so the kernel drops it when the process ends, however it ends: a crash
// leaves nothing locked. The file holds the holder's process number for the one refused.
class ProcessLock {
public:
    // removeOnRelease: the holder removes the file when it lets go (a pid file that is there only
    // while its program runs).
    explicit ProcessLock(const QString& path, bool removeOnRelease = false);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // The process that holds the lock of the file at path, 0 when none does. Only looked at: the
    // lock is never taken, so a holder starting meanwhile is not refused.
    static qint64 Holder(const QString& path);

    bool held() const { return fd >= 0; }
    // When not held, whether another process holds it (rather than the file failing us).
    bool busy() const { return otherHolder; }
    // When not held: "process <number>" for another holder, else why the file cannot be used.
    const QString& why() const { return reason; }

private:
    QString path;
    bool removeOnRelease;
    int fd = -1;
    bool otherHolder = false;
    QString reason;
};
