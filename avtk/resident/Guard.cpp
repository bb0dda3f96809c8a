#include "resident/Guard.h"

#include "engine/Background.h"
#include "engine/Harmless.h"
#include "engine/Sectors.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "engine/SystemError.h"
#include "engine/Walk.h"
#include "lib/Floppy.h"
#include "platform/Drives.h"
#include "platform/VallorinError.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace guard {

struct Guard::Watching {
    Settings settings;
    std::unique_ptr<avtk::Scanner> engine; // the shared engine, or the guard's own
    pid_t enginePid = 0;                   // the shared engine's process
    // The scans nobody waits for (of written files), in the background. (In fanotify mode the
    // scans an opener waits for are made by the watch's own threads.)
    std::unique_ptr<avtk::ScanPool> pool;
    std::unique_ptr<AccessWatch> access; // fanotify mode
    std::unique_ptr<TreeWatch> watch;    // inotify mode
    std::unique_ptr<FileFeed> feed;      // inotify mode
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<DiskWatch> disks;
    std::unique_ptr<QSocketNotifier> mountsNotifier, imagesNotifier;
    std::thread collector, rescanner;
    std::thread ender; // a replaced set's, which waits for its last scans
    std::atomic<bool> rescanning = false;
};

Guard::Guard(QString prefix, QString toolkitFolder, Alerts& alerts)
    : prefix(std::move(prefix)), toolkitFolder(std::move(toolkitFolder)), alerts(alerts),
      logBook(this->prefix) {}

Guard::~Guard() {
    retire(std::move(current), false);
    finishRetiring();
}

void Guard::log(const QString& text) {
    logBook.write(text);
}

bool Guard::start() {
    return build(true, current) == Built::Done;
}

bool Guard::reload(const QString& why) {
    // A question to the user can run the event loop while a reload runs: a second reload then
    // waits for the first to end.
    if (reloading) {
        reloadAgain = why;
        return true;
    }
    reloading = true;
    log("Settings read again (" + why + ").");
    std::unique_ptr<Watching> next;
    const Built built = build(false, next);
    if (built == Built::Done) {
        std::unique_ptr<Watching> old = std::move(current);
        current = std::move(next);
        logBook.follow(current->settings);
        retire(std::move(old), true);
        log("The new settings are in use.");
    } else {
        retire(std::move(next), false);
        if (built == Built::Failed)
            log("The settings read again cannot be used: WinGuard goes on with the ones it had.");
    }
    reloading = false;
    if (built == Built::NotInstalled)
        return false;
    if (!reloadAgain.isEmpty())
        return reload(std::exchange(reloadAgain, QString()));
    return true;
}

Guard::Built Guard::build(bool first, std::unique_ptr<Watching>& made) {
    made = std::make_unique<Watching>();
    Watching& w = *made;
    Settings& settings = w.settings;
    // At start nothing runs that could go on: a set that cannot be had ends the guard.
    const QString ending = first ? "WinGuard stops." : "the settings it had stay in use.";
    QStringList problems;
    bool installed = false;
    try {
        SettingsStore store(prefix);
        installed = ReadSettings(store, settings, problems);
    } catch (const VallorinError& error) {
        log("The settings store cannot be read (" + error.message() + "): " + ending);
        return Built::Failed;
    }
    if (!installed) {
        log("WinGuard is not installed (there is no driver key): it stops.");
        return Built::NotInstalled;
    }
    if (first) {
        logBook.follow(settings);
        log(QString("WinGuard started (process %1).").arg(::getpid()));
    }
    for (const QString& problem : problems)
        log(problem);

    if (!loadEngine(w, first, ending))
        return Built::Failed;

    log("Files: " + DescribeFiles(settings) + "; repair: " + DescribeRepair(settings) + '.');
    problems.clear();
    const QList<DriveMap::Drive> drives = ChosenDrives(prefix, settings, problems);
    for (const QString& problem : problems)
        log(problem);

    const bool inotifyOnly =
        qEnvironmentVariable("WINGUARD_MODE").compare("inotify", Qt::CaseInsensitive) == 0;
    if (inotifyOnly)
        log("WINGUARD_MODE=inotify: fanotify is not tried.");
    else if (!watchAccess(w, drives))
        w.access.reset();
    startPools(w);

    if (!startWatching(w, drives)) {
        log(ending);
        return Built::Failed;
    }
    watchDisks(w, drives);
    return Built::Done;
}

// The extra driver the settings name and the engine with it; false (logged) when no signatures
// can be used.
bool Guard::loadEngine(Watching& w, bool first, const QString& ending) {
    const Settings& settings = w.settings;
    QString driver;
    if (!settings.extra.isEmpty()) {
        const QDir folder(toolkitFolder);
        for (const QString& name : QStringList{settings.extra, settings.extra + ".drv"})
            if (driver.isEmpty() && QFileInfo(folder.filePath(name)).isFile())
                driver = folder.filePath(name);
        const QString native = Drives::NativePath(prefix, settings.extra);
        if (driver.isEmpty() && QFileInfo(native).isFile())
            driver = native;
        if (driver.isEmpty())
            log(QString("The extra driver \"%1\" is not found: it is not loaded.")
                    .arg(settings.extra));
    }
    // The toolkit's shared engine, which the guard's connection keeps loaded while it runs.
    avtk::ObtainedScanner obtained = avtk::ObtainScanner(
        toolkitFolder, driver, [&](const QString& f) { log(f); },
        [&](const QString& n) { log(n); });
    const avtk::LoadSummary loaded = obtained.loaded;
    w.engine = std::move(obtained.scanner);
    w.enginePid = pid_t(obtained.servicePid);
    const QString compileError = !loaded.signatures ? QString("none loaded")
                                 : !w.engine        ? obtained.compileError
                                                    : QString();
    if (!compileError.isEmpty()) {
        log("No virus signatures can be used (" + compileError + "): " + ending);
        return false;
    }
    log(QString("Signatures: %1 from %2 files.").arg(loaded.signatures).arg(loaded.files));
    if (first && !loaded.systemDatabase)
        log(avtk::TestSignaturesOnly);

    return true;
}

namespace {

avtk::ScanOptions OptionsOf(const Settings& settings) {
    avtk::ScanOptions options;
    options.programHeuristics = settings.programHeuristics;
    options.macroHeuristics = settings.macroHeuristics;
    return options;
}

avtk::Selection SelectionOf(const Settings& settings) {
    return {settings.files == FileChoice::AllFiles, false};
}

unsigned Cores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

// The background scanning threads of a set, for written files, with their collector.
void Guard::startPools(Watching& w) {
    // Nobody waits for the scan of a written file: a core is left to the programs writing the
    // files, and the threads (which inherit the priority of the thread that starts them) and
    // the engine service's scans for them take the processor and the disk only when no other
    // program wants them.
    QString background;
    std::thread([&] {
        background = avtk::SetBackground(true);
        avtk::ScanOptions unwaited = OptionsOf(w.settings);
        unwaited.background = true;
        w.pool = std::make_unique<avtk::ScanPool>(*w.engine, unwaited, SelectionOf(w.settings),
                                                  std::max(1u, Cores() - 1));
    }).join();
    if (!background.isEmpty())
        log("The scans of written files keep the normal priority: " + background);
    w.collector = std::thread([this, &w] { collect(w, *w.pool); });
}

// Starts the set's watching in its mode and says what is watched; false when inotify mode
// cannot watch.
bool Guard::startWatching(Watching& w, const QList<DriveMap::Drive>& drives) {
    const Settings& settings = w.settings;
    QStringList watched;
    for (const DriveMap::Drive& drive : drives)
        if (drive.folder)
            watched << QString(drive.letter) + ": (" + drive.root + ')';
    if (w.access) {
        // An opener waits for these scans: one at a time a core, at the normal priority.
        avtk::ScanOptions held = OptionsOf(settings);
        held.held = true;
        const AccessWatch::Checking checking{*w.engine, held, SelectionOf(settings), Cores()};
        w.access->start(
            checking, *w.pool,
            [this, &w](avtk::FileOutcome&& outcome, bool denied) {
                forward(w, std::move(outcome), denied);
            },
            [this](const QString& line) {
                QMetaObject::invokeMethod(
                    &context, [this, line] { log(line); }, Qt::QueuedConnection);
            });
        log(QString("Mode: fanotify: opening or executing an infected file is denied; files are "
                    "checked when opened or executed%1.")
                .arg(settings.writes ? QString(" and when closed after writing") : QString()));
        if (!w.access->executionOnly().isEmpty())
            log(QString("On %1 (on the mount of the system's folders): only executing an infected "
                        "file is denied; files are checked when closed after writing, without "
                        "the writer waiting, and before they are executed; programs of /usr, "
                        "/etc, /var, /boot, /proc, /sys, /dev and /run run unchecked.")
                    .arg(w.access->executionOnly().join(", ")));
        log(QString("Watching: %1; whole trees through fanotify.")
                .arg(watched.isEmpty() ? QString("no drive") : watched.join(", ")));
    } else {
        if (!watchTrees(w, drives))
            return false;
        log(QString("Watching: %1; %2 folders.")
                .arg(watched.isEmpty() ? QString("no drive") : watched.join(", "))
                .arg(w.watch->watches()));
    }
    // Running without a watched folder protects no file: the status does not say otherwise.
    if (watched.isEmpty()) {
        log("No drive is watched: files are not protected.");
        alerts.status("WinGuard watches no drive: protection is off");
    } else {
        alerts.status(w.access ? "WinGuard runs in fanotify mode: infected files are blocked"
                               : "WinGuard runs in inotify mode: infected files are found, not "
                                 "blocked");
    }
    return true;
}

void Guard::collect(Watching& w, avtk::ScanPool& pool) {
    while (true) {
        std::vector<avtk::FileOutcome> ready = pool.collect(std::chrono::milliseconds(200));
        for (avtk::FileOutcome& one : ready) {
            const bool denied = w.access && w.access->answer(one);
            forward(w, std::move(one), denied);
        }
        if (ready.empty() && pool.finished())
            return;
    }
}

void Guard::forward(Watching& w, avtk::FileOutcome&& outcome, bool denied) {
    // Outcomes are handed to the main thread, where the log, the alerts and repairs happen (an
    // opening that waited for its scan is answered before, so that no question to the user holds
    // it up). A clean or unselected file needs nothing more: the main thread is not woken for it.
    if (outcome.kind == avtk::FileOutcome::NotSelected ||
        (outcome.kind == avtk::FileOutcome::Scanned &&
         outcome.result.kind == avtk::ScanResult::Clean))
        return;
    QMetaObject::invokeMethod(
        &context,
        [this, &w, o = std::move(outcome), denied]() mutable { handle(w, std::move(o), denied); },
        Qt::QueuedConnection);
}

void Guard::watchDisks(Watching& w, const QList<DriveMap::Drive>& drives) {
    QList<DriveMap::Drive> letters;
    for (const DriveMap::Drive& drive : drives)
        if (!drive.folder)
            letters << drive;
    w.disks = std::make_unique<DiskWatch>(letters);
    for (const QString& problem : w.disks->problems())
        log(problem);
    // Each of the watch's two sources: its descriptor, the kind of readiness it gives, what it
    // reports as arrived, and how the log says so.
    const auto notify = [this, &w](int fd, QSocketNotifier::Type type,
                                   std::vector<DiskArrival> (DiskWatch::*arrived)(),
                                   const QString& said) {
        if (fd < 0)
            return std::unique_ptr<QSocketNotifier>();
        auto notifier = std::make_unique<QSocketNotifier>(fd, type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &context,
                         [this, &w, arrived, said] {
                             for (const DiskArrival& arrival : (w.disks.get()->*arrived)()) {
                                 log(arrival.disk + said);
                                 checkBoot(w, arrival);
                             }
                         });
        return notifier;
    };
    w.mountsNotifier = notify(w.disks->mountsFd(), QSocketNotifier::Exception, &DiskWatch::mounted,
                              " was mounted.");
    w.imagesNotifier = notify(w.disks->imagesFd(), QSocketNotifier::Read, &DiskWatch::imagesChanged,
                              " has a new disk (its image was written).");
    // Watched first, then checked: a disk changed meanwhile is checked again, never missed.
    for (const DriveMap::Drive& drive : letters)
        checkBoot(w, DiskArrival{QString(drive.letter) + u':',
                                 QFile::encodeName(drive.root).toStdString(), drive});
}

bool Guard::watchAccess(Watching& w, const QList<DriveMap::Drive>& drives) {
    w.access = std::make_unique<AccessWatch>(w.settings.writes,
                                             QFile::encodeName(toolkitFolder).toStdString());
    w.access->letThrough(w.enginePid);
    if (!w.access->available()) {
        log(w.access->error() + ": inotify is used instead.");
        return false;
    }
    for (const DriveMap::Drive& drive : drives) {
        QString problem;
        if (drive.folder && !w.access->addTree(QFile::encodeName(drive.root).toStdString(),
                                               QString(drive.letter) + ":\\", problem)) {
            log(problem + ": inotify is used instead.");
            return false;
        }
    }
    return true;
}

bool Guard::watchTrees(Watching& w, const QList<DriveMap::Drive>& drives) {
    w.feed = std::make_unique<FileFeed>(*w.pool);
    w.watch = std::make_unique<TreeWatch>(w.settings.writes);
    if (w.watch->fd() < 0) {
        log(w.watch->error() + '.');
        return false;
    }
    // The log these settings write (opened when they come into use).
    const QString ownLog = logBook.pathOf(w.settings);
    if (!ownLog.isEmpty())
        w.watch->ignoreFile(QFile::encodeName(QFileInfo(ownLog).absoluteFilePath()).toStdString());
    log("Mode: inotify: files are checked when closed after writing, created or moved in; an "
        "infected file is found, not blocked.");
    for (const DriveMap::Drive& drive : drives) {
        if (!drive.folder)
            continue;
        QStringList watchProblems;
        w.watch->addTree(QFile::encodeName(drive.root).toStdString(), QString(drive.letter) + ":\\",
                         watchProblems);
        for (const QString& problem : watchProblems)
            log(problem);
    }
    w.notifier = std::make_unique<QSocketNotifier>(w.watch->fd(), QSocketNotifier::Read);
    QObject::connect(w.notifier.get(), &QSocketNotifier::activated, &context,
                     [this, &w] { readTreeEvents(w); });
    return true;
}

void Guard::readTreeEvents(Watching& w) {
    QStringList readProblems;
    w.watch->readEvents([&w](FileToCheck&& f) { w.feed->add(std::move(f)); },
                        [this, &w] { rescan(w); }, readProblems);
    for (const QString& problem : readProblems)
        log(problem);
}

void Guard::rescan(Watching& w) {
    log("Events were lost (the kernel's queue overflowed): the watched drives are scanned again.");
    if (w.rescanning.exchange(true))
        return;
    if (w.rescanner.joinable())
        w.rescanner.join();
    w.rescanner = std::thread([&w, roots = w.watch->roots(), p = w.pool.get()] {
        for (const auto& [root, shown] : roots)
            avtk::Walk(root, shown, {}, [&](avtk::WalkEntry&& entry) {
                if (entry.kind == avtk::WalkEntry::File)
                    return p->submit(
                        avtk::FileJob{std::move(entry.path), entry.shown, false, -1, 0, true});
                return true;
            });
        w.rescanning = false;
    });
}

void Guard::handle(Watching& w, avtk::FileOutcome&& outcome, bool denied) {
    using avtk::FileOutcome;
    const Settings& settings = w.settings;
    TreeWatch* const watch = w.watch.get();
    for (const QString& note : w.engine ? w.engine->takeNotes() : QStringList())
        log(note);
    if (outcome.kind == FileOutcome::NotChecked) {
        struct stat st;
        const bool gone = ::stat(outcome.path.c_str(), &st) != 0;
        // Once per file and change, not at every opening of a file that cannot be checked (one
        // larger than the limit).
        if (!gone) {
            if (untold.size() >= 100'000)
                untold.clear();
            const Unchecked seen{qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                                 qint64(st.st_size), outcome.problem};
            auto [at, added] = untold.try_emplace({st.st_dev, st.st_ino}, seen);
            if (!added && at->second == seen)
                return;
            at->second = seen;
        }
        log(outcome.shown + "  not checked: " +
            (gone ? QString("removed before it could be checked") : outcome.problem));
        return;
    }
    if (outcome.kind != FileOutcome::Scanned) {
        return;
    }
    if (outcome.result.kind == avtk::ScanResult::Failed) {
        log(outcome.shown + "  not checked: " + outcome.result.problem);
        return;
    }
    const std::pair identity{outcome.device, outcome.inode};
    if (outcome.result.kind != avtk::ScanResult::Infected) {
        reported.erase(identity); // cleaned or replaced: a new finding is alerted again
        return;
    }
    const QString virus = outcome.result.finding.virus;
    // A finding inside an archive names the member in the log, as FindVirus's report does; the
    // alert and the repair are about the archive, the file the user has.
    QString found = outcome.shown;
    for (const QString& member : outcome.result.finding.members)
        found += " > " + avtk::ShownName(member.toStdString());
    const auto known = reported.find(identity);
    if (denied && known != reported.end() && known->second == virus) {
        log(found + "  Infected: " + virus + " (its opening was denied again)");
        return;
    }
    reported[identity] = virus;
    log(found + "  Infected: " + virus + (denied ? " (its opening was denied)" : ""));
    bool repair = settings.repair == RepairChoice::Repair;
    if (settings.repair == RepairChoice::Prompt) {
        repair = alerts.askRepair(outcome.shown, virus);
        log(outcome.shown + "  the user chose: " + (repair ? "Repair" : "Leave"));
    }
    if (repair) {
        // Reached again from "/" without following a link: the guard's paths begin with drive
        // folders that are resolved already, so no link is on the way to a file that is there.
        const avtk::HarmlessResult result = avtk::MakeHarmless(outcome, false);
        if (result.done && watch)
            watch->ignoreArrival(result.target);
        log(outcome.shown + "  " + result.action);
        const QString text = result.done ? FillAlert(settings.fileRepair, outcome.shown, virus, {})
                                         : FillAlert(settings.fileAlert, outcome.shown, virus, {});
        log("Alert: " + text);
        alerts.alert(text);
        return;
    }
    const QString text = FillAlert(settings.fileAlert, outcome.shown, virus, {});
    log("Alert: " + text);
    alerts.alert(text);
}

void Guard::checkBoot(Watching& w, const DiskArrival& arrival) {
    const Settings& settings = w.settings;
    const QString& disk = arrival.disk;
    QString error;
    const auto sectors = avtk::ReadSectors(arrival.target, error);
    if (!sectors || !sectors->boot) {
        log(disk + " boot sector  not checked: " + (sectors ? sectors->bootNote : error));
        return;
    }
    const avtk::ScanResult result =
        w.engine->scan(sectors->boot->constData(), size_t(sectors->boot->size()),
                       QString(disk + " boot sector").toStdString(), {});
    if (result.kind != avtk::ScanResult::Infected) {
        log(disk + " boot sector checked: " +
            (result.kind == avtk::ScanResult::Clean ? QString("clean") : result.problem));
        return;
    }
    const QString virus = result.finding.virus;
    log(disk + " boot sector  Infected: " + virus);
    bool repair = settings.repair == RepairChoice::Repair;
    if (settings.repair == RepairChoice::Prompt) {
        repair = alerts.askRepair(disk + " boot sector", virus);
        log(disk + " boot sector  the user chose: " + (repair ? "Repair" : "Leave"));
    }
    const QString problem = repair ? repairBoot(arrival) : QString();
    if (!problem.isEmpty())
        log(disk + " boot sector  not repaired: " + problem);
    const QString text = repair && problem.isEmpty()
                             ? FillAlert(settings.bootRepair, {}, virus, disk)
                             : FillAlert(settings.bootAlert, {}, virus, disk);
    log("Alert: " + text);
    alerts.alert(text);
}

QString Guard::repairBoot(const DiskArrival& arrival) {
    // As the cleaner writes it: only a floppy disk or floppy image of a drive letter.
    if (!arrival.drive)
        return "no drive letter stands for this disk";
    QString error;
    const std::optional<Floppy::Medium> medium = Floppy::FindMedium(*arrival.drive, error);
    if (!medium)
        return error;
    if (medium->readOnly)
        return QString("%1 is read-only").arg(arrival.drive->root);
    const std::optional<QByteArray> head = Floppy::ReadHead(medium->path, error);
    if (!head)
        return error;
    const BootSector::Recognition recognised = BootSector::Recognise(*head, medium->bytes);
    if (!recognised.cleanable())
        return "it holds " + recognised.found + ", not a FAT floppy disk";
    const QByteArray old = head->left(BootSector::Size);
    const BootSector::Bpb bpb = Floppy::BpbToWrite(old, recognised);
    const Floppy::Written written = Floppy::WriteClean(*medium, old, bpb);
    if (!written.saved.isEmpty())
        log(arrival.disk + " boot sector  the old one was saved in " + written.saved + '.');
    if (written.failure != Floppy::Written::None)
        return written.error;
    log(arrival.disk + " boot sector  a clean boot sector was written and read back.");
    return {};
}

void Guard::retire(std::unique_ptr<Watching> old, bool finish) {
    if (!old)
        return;
    Watching& w = *old;
    // What the watch took in while the main thread was busy (making the next set) is still
    // checked: the next set watches only from its own start.
    if (finish && w.watch && w.feed) {
        readTreeEvents(w);
        if (current && current->watch)
            current->watch->adoptCreated(w.watch->takeCreated());
    }
    w.notifier.reset();
    w.mountsNotifier.reset();
    w.imagesNotifier.reset();
    w.disks.reset();
    if (!finish) {
        windDown(w, false);
        // The outcomes still queued to the main thread are handled before the engine goes.
        QCoreApplication::sendPostedEvents(&context);
        release(w);
        return;
    }
    // The files the set has taken are scanned in the background, where a busy machine can keep
    // them waiting: they are waited for beside the main thread, which goes on handling the
    // outcomes of both sets, and the set is let go once its last outcome was handled.
    Watching* const ending = old.get();
    ending->ender = std::thread([this, ending] {
        windDown(*ending, true);
        QMetaObject::invokeMethod(
            &context, [this, ending] { bury(ending); }, Qt::QueuedConnection);
    });
    retiring.push_back(std::move(old));
}

void Guard::windDown(Watching& w, bool finish) {
    // The watch goes on answering the guard's own openings until the scans have ended.
    if (w.access) {
        if (finish)
            w.access->finishQueued();
        else
            w.access->stopChecking();
    }
    w.feed.reset(); // what waits goes to the pool first
    if (w.pool)
        w.pool->close();
    for (std::thread* thread : {&w.rescanner, &w.collector})
        if (thread->joinable())
            thread->join();
}

void Guard::release(Watching& w) {
    w.watch.reset();
    w.access.reset();
    w.pool.reset();
    w.engine.reset();
}

void Guard::bury(Watching* ending) {
    const auto found = std::find_if(retiring.begin(), retiring.end(),
                                    [&](const auto& set) { return set.get() == ending; });
    if (found == retiring.end())
        return;
    std::unique_ptr<Watching> set = std::move(*found);
    retiring.erase(found);
    if (set->ender.joinable())
        set->ender.join();
    release(*set);
}

void Guard::finishRetiring() {
    for (const std::unique_ptr<Watching>& set : retiring)
        if (set->ender.joinable())
            set->ender.join();
    // Their last outcomes, and the sets let go after them.
    QCoreApplication::sendPostedEvents(&context);
}

void Guard::stop(const QString& why) {
    retire(std::move(current), false);
    finishRetiring();
    log("WinGuard stopped (" + why + ").");
}

} // namespace guard
