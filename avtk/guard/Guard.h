#pragma once

#include "engine/ScanPool.h"
#include "engine/Scanner.h"
#include "guard/AccessWatch.h"
#include "guard/DiskWatch.h"
#include "guard/FileFeed.h"
#include "guard/GuardSettings.h"
#include "guard/TreeWatch.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>

class QSocketNotifier;

namespace guard {

// How the guard tells the user: alerts and the repair question. The program gives a desktop
// notification or a window; without a display, lines on standard output and the question on
// standard input.
class Alerts {
public:
    virtual ~Alerts() = default;
    virtual void alert(const QString& text) = 0;
    // Repair (true) or leave (false) the infected file.
    virtual bool askRepair(const QString& file, const QString& virus) = 0;
    // The mode and the last alerts, for a tray icon; nothing by default.
    virtual void status(const QString&) {}
};

// The resident guard: the settings of the driver key, the engine, the watched drives, the log.
class Guard {
public:
    // The environment's WINGUARD_MODE=inotify keeps the guard to inotify where fanotify could be
    // used.
    Guard(QString prefix, QString toolkitFolder, Alerts& alerts);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // Reads the settings and starts watching; false (with the reason logged) when the driver key
    // is gone or nothing can be watched, after which the program ends.
    bool start();
    // Stops watching and scanning, then reads the settings again and starts anew.
    bool reload();
    // Stops cleanly: the queued files are scanned and handled, the stop is logged.
    void stop(const QString& why);

    // A line in the log (and on standard error when there is no log file).
    void log(const QString& text);

private:
    bool begin();
    void end();
    void submit(FileToCheck&& file);
    void rescan();
    void handle(avtk::FileOutcome&& outcome, bool denied);
    bool watchAccess(const QList<DriveMap::Drive>& drives);
    bool watchTrees(const QList<DriveMap::Drive>& drives);
    void watchDisks(const QList<DriveMap::Drive>& drives);
    void checkBoot(const DiskArrival& arrival);
    QString repairBoot(const DiskArrival& arrival);
    void openLog();

    QString prefix, toolkitFolder;
    Alerts& alerts;
    Settings settings;
    QFile logFile;
    QString logPath;
    std::unique_ptr<avtk::Scanner> engine; // the shared engine, or the guard's own
    pid_t enginePid = 0;                   // the shared engine's process
    std::unique_ptr<avtk::ScanPool> pool;
    std::unique_ptr<AccessWatch> access; // fanotify mode
    std::unique_ptr<TreeWatch> watch;    // inotify mode
    std::unique_ptr<FileFeed> feed;      // inotify mode
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<DiskWatch> disks;
    std::unique_ptr<QSocketNotifier> mountsNotifier, imagesNotifier;
    std::thread collector, rescanner;
    std::atomic<bool> rescanning = false;
    // Files whose finding was alerted (by device and inode), with the virus: a program that keeps
    // trying to open one gets its openings denied without an alert or a question each time.
    std::map<std::pair<dev_t, ino_t>, QString> reported;
    QObject context; // outcomes come back to the main thread through it
};

} // namespace guard
