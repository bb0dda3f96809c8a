#pragma once

#include "engine/ScanPool.h"
#include "engine/Scanner.h"
#include "resident/AccessWatch.h"
#include "resident/DiskWatch.h"
#include "resident/FileFeed.h"
#include "resident/GuardLog.h"
#include "resident/GuardSettings.h"
#include "resident/TreeWatch.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

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
    // Reads the settings again and makes the engine and the watches they ask for beside the
    // running ones, then swaps them: the old ones guard until the new ones do, so no file goes
    // unchecked meanwhile. When the new ones cannot be had, the old ones go on and the log says
    // why. False only when the driver key is gone (the guard was removed): the program ends.
    bool reload(const QString& why);
    // Stops cleanly: the queued files are scanned and handled, the stop is logged.
    void stop(const QString& why);

    // A line in the log (and on standard error when there is no log file).
    void log(const QString& text);

private:
    // What one reading of the settings set going: the engine, the scanning threads, the watches.
    struct Watching;
    enum class Built { Done, Failed, NotInstalled };

    Built build(bool first, std::unique_ptr<Watching>& made);
    bool loadEngine(Watching& w, bool first, const QString& ending);
    void startPools(Watching& w);
    bool startWatching(Watching& w, const QList<DriveMap::Drive>& drives);
    // Ends a set: with `finish`, the files it has taken are still scanned and answered (a
    // reload, where the next set already watches); otherwise waiting openings are let go.
    void retire(std::unique_ptr<Watching> old, bool finish);
    // The parts of ending a set that may wait for scans, on any thread.
    void windDown(Watching& w, bool finish);
    void release(Watching& w);
    // Lets a replaced set go, once its ender has posted its last outcome.
    void bury(Watching* ending);
    // Waits for every replaced set to end (the guard stops).
    void finishRetiring();
    // Takes the outcomes of a set's pool until it has finished.
    void collect(Watching& w, avtk::ScanPool& pool);
    // An outcome to the main thread, unless it needs nothing more than its answer.
    void forward(Watching& w, avtk::FileOutcome&& outcome, bool denied);
    void readTreeEvents(Watching& w);
    void rescan(Watching& w);
    void handle(Watching& w, avtk::FileOutcome&& outcome, bool denied);
    bool watchAccess(Watching& w, const QList<DriveMap::Drive>& drives);
    bool watchTrees(Watching& w, const QList<DriveMap::Drive>& drives);
    void watchDisks(Watching& w, const QList<DriveMap::Drive>& drives);
    void checkBoot(Watching& w, const DiskArrival& arrival);
    QString repairBoot(const DiskArrival& arrival);

    QString prefix, toolkitFolder;
    Alerts& alerts;
    GuardLog logBook;
    std::unique_ptr<Watching> current;
    // Replaced sets still scanning the files they took.
    std::vector<std::unique_ptr<Watching>> retiring;
    bool reloading = false;
    QString reloadAgain; // a reload asked for while one runs (its reason)
    // Files whose finding was alerted (by device and inode), with the virus: a program that keeps
    // trying to open one gets its openings denied without an alert or a question each time.
    std::map<std::pair<dev_t, ino_t>, QString> reported;
    // Files logged as not checked, with the version and the reason told.
    struct Unchecked {
        qint64 mtime, size;
        QString problem;
        bool operator==(const Unchecked&) const = default;
    };
    std::map<std::pair<dev_t, ino_t>, Unchecked> untold;
    QObject context; // outcomes come back to the main thread through it
};

} // namespace guard
