#include "guard/Guard.h"

#include "engine/Harmless.h"
#include "engine/Sectors.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "engine/SystemError.h"
#include "engine/Walk.h"
#include "lib/Floppy.h"
#include "platform/Drives.h"
#include "platform/SettingsStore.h"
#include "platform/VallorinError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

namespace guard {

Guard::Guard(QString prefix, QString toolkitFolder, Alerts& alerts)
    : prefix(std::move(prefix)), toolkitFolder(std::move(toolkitFolder)), alerts(alerts) {}

Guard::~Guard() {
    end();
}

void Guard::log(const QString& text) {
    const QString line =
        QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss") + "  " + text + "\r\n";
    const QByteArray bytes = line.toUtf8();
    if (logFile.isOpen() && logFile.write(bytes) == bytes.size() && logFile.flush())
        return;
    std::fputs(bytes.constData(), stderr);
    std::fflush(stderr);
}

void Guard::openLog() {
    const QString wanted =
        settings.logFile.isEmpty() ? QString() : Drives::NativePath(prefix, settings.logFile);
    if (wanted == logPath && logFile.isOpen())
        return;
    logFile.close();
    logPath = wanted;
    if (logPath.isEmpty())
        return;
    // Kept open and appended to: the log is never closed after writing, so its own lines raise
    // no event of the watch.
    logFile.setFileName(logPath);
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const QString reason = logFile.errorString();
        log(QString("The log file %1 cannot be written (%2): the log goes to standard error.")
                .arg(logPath, reason));
    }
}

bool Guard::start() {
    return begin();
}

bool Guard::reload() {
    end();
    log("Settings read again (SIGHUP).");
    return begin();
}

bool Guard::begin() {
    QStringList problems;
    bool installed = false;
    try {
        SettingsStore store(prefix);
        installed = ReadSettings(store, settings, problems);
    } catch (const VallorinError& error) {
        log("The settings store cannot be read: " + error.message());
        return false;
    }
    if (!installed) {
        log("WinGuard is not installed (there is no driver key): it stops.");
        return false;
    }
    openLog();
    log(QString("WinGuard started (process %1).").arg(::getpid()));
    for (const QString& problem : problems)
        log(problem);

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
    engine = std::move(obtained.scanner);
    enginePid = pid_t(obtained.servicePid);
    const QString compileError = !loaded.signatures ? QString("none loaded")
                                 : !engine          ? obtained.compileError
                                                    : QString();
    if (!compileError.isEmpty()) {
        log("No virus signatures can be used (" + compileError + "): WinGuard stops.");
        return false;
    }
    log(QString("Signatures: %1 from %2 files.").arg(loaded.signatures).arg(loaded.files));

    avtk::ScanOptions options;
    options.programHeuristics = settings.programHeuristics;
    options.macroHeuristics = settings.macroHeuristics;
    const avtk::Selection selection{settings.files == FileChoice::AllFiles, false};
    log("Files: " + DescribeFiles(settings) + "; repair: " + DescribeRepair(settings) + '.');
    problems.clear();
    const QList<DriveMap::Drive> drives = ChosenDrives(prefix, settings, problems);
    for (const QString& problem : problems)
        log(problem);

    const bool inotifyOnly =
        qEnvironmentVariable("WINGUARD_MODE").compare("inotify", Qt::CaseInsensitive) == 0;
    if (inotifyOnly)
        log("WINGUARD_MODE=inotify: fanotify is not tried.");
    else if (!watchAccess(drives))
        access.reset();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto makePool = [&](unsigned threads) {
        pool = std::make_unique<avtk::ScanPool>(*engine, options, selection, threads);
    };
    if (access) {
        // An opener waits for these threads: one a core, at the normal priority.
        makePool(cores);
    } else {
        // With inotify nobody waits for a scan: a core is left to the programs writing the
        // files, and the threads (which inherit the priority of the thread that starts them)
        // take the lowest priority, so that the writers are not slowed by them.
        std::thread([&] {
            if (::setpriority(PRIO_PROCESS, id_t(::gettid()), 19) != 0)
                log("The scanning threads keep the normal priority: " + avtk::ErrnoText(errno));
            makePool(std::max(1u, cores - 1));
        }).join();
    }
    // Outcomes are handed to the main thread, where the log, the alerts and repairs happen; an
    // opening that waits for its scan is answered here first, so that no question to the user
    // holds it up.
    collector = std::thread([this, p = pool.get(), a = access.get()] {
        while (true) {
            std::vector<avtk::FileOutcome> ready = p->collect(std::chrono::milliseconds(200));
            for (avtk::FileOutcome& one : ready) {
                const bool denied = a && a->answer(one);
                // A clean or unselected file needs nothing more: the main thread is not woken
                // for it.
                if (one.kind == avtk::FileOutcome::NotSelected ||
                    (one.kind == avtk::FileOutcome::Scanned &&
                     one.result.kind == avtk::ScanResult::Clean))
                    continue;
                QMetaObject::invokeMethod(
                    &context,
                    [this, o = std::move(one), denied]() mutable { handle(std::move(o), denied); },
                    Qt::QueuedConnection);
            }
            if (ready.empty() && p->finished())
                return;
        }
    });

    QStringList watched;
    for (const DriveMap::Drive& drive : drives)
        if (drive.folder)
            watched << QString(drive.letter) + ": (" + drive.root + ')';
    if (access) {
        access->start(*pool, [this](const QString& line) {
            QMetaObject::invokeMethod(
                &context, [this, line] { log(line); }, Qt::QueuedConnection);
        });
        log(QString("Mode: fanotify: opening or executing an infected file is denied; files are "
                    "checked when opened or executed%1.")
                .arg(settings.writes ? QString(" and when closed after writing") : QString()));
        alerts.status("WinGuard runs in fanotify mode: infected files are blocked");
        log(QString("Watching: %1; whole trees through fanotify.")
                .arg(watched.isEmpty() ? QString("no drive") : watched.join(", ")));
    } else {
        if (!watchTrees(drives))
            return false;
        log(QString("Watching: %1; %2 folders.")
                .arg(watched.isEmpty() ? QString("no drive") : watched.join(", "))
                .arg(watch->watches()));
    }
    watchDisks(drives);
    return true;
}

void Guard::watchDisks(const QList<DriveMap::Drive>& drives) {
    QList<DriveMap::Drive> letters;
    for (const DriveMap::Drive& drive : drives)
        if (!drive.folder)
            letters << drive;
    disks = std::make_unique<DiskWatch>(letters);
    for (const QString& problem : disks->problems())
        log(problem);
    // Each of the watch's two sources: its descriptor, the kind of readiness it gives, what it
    // reports as arrived, and how the log says so.
    const auto notify = [this](int fd, QSocketNotifier::Type type,
                               std::vector<DiskArrival> (DiskWatch::*arrived)(),
                               const QString& said) {
        if (fd < 0)
            return std::unique_ptr<QSocketNotifier>();
        auto notifier = std::make_unique<QSocketNotifier>(fd, type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &context,
                         [this, arrived, said] {
                             for (const DiskArrival& arrival : (disks.get()->*arrived)()) {
                                 log(arrival.disk + said);
                                 checkBoot(arrival);
                             }
                         });
        return notifier;
    };
    mountsNotifier =
        notify(disks->mountsFd(), QSocketNotifier::Exception, &DiskWatch::mounted, " was mounted.");
    imagesNotifier = notify(disks->imagesFd(), QSocketNotifier::Read, &DiskWatch::imagesChanged,
                            " has a new disk (its image was written).");
    // Watched first, then checked: a disk changed meanwhile is checked again, never missed.
    for (const DriveMap::Drive& drive : letters)
        checkBoot(DiskArrival{QString(drive.letter) + u':',
                              QFile::encodeName(drive.root).toStdString(), drive});
}

bool Guard::watchAccess(const QList<DriveMap::Drive>& drives) {
    access = std::make_unique<AccessWatch>(settings.writes);
    access->letThrough(enginePid);
    if (!access->available()) {
        log(access->error() + ": inotify is used instead.");
        return false;
    }
    for (const DriveMap::Drive& drive : drives) {
        QString problem;
        if (drive.folder && !access->addTree(QFile::encodeName(drive.root).toStdString(),
                                             QString(drive.letter) + ":\\", problem)) {
            log(problem + ": inotify is used instead.");
            return false;
        }
    }
    return true;
}

bool Guard::watchTrees(const QList<DriveMap::Drive>& drives) {
    feed = std::make_unique<FileFeed>(*pool);
    watch = std::make_unique<TreeWatch>(settings.writes);
    if (watch->fd() < 0) {
        log(watch->error() + ": WinGuard stops.");
        return false;
    }
    if (logFile.isOpen())
        watch->ignoreFile(QFile::encodeName(QFileInfo(logPath).absoluteFilePath()).toStdString());
    log("Mode: inotify: files are checked when closed after writing, created or moved in; an "
        "infected file is found, not blocked.");
    alerts.status("WinGuard runs in inotify mode: infected files are found, not blocked");
    for (const DriveMap::Drive& drive : drives) {
        if (!drive.folder)
            continue;
        QStringList watchProblems;
        watch->addTree(QFile::encodeName(drive.root).toStdString(), QString(drive.letter) + ":\\",
                       watchProblems);
        for (const QString& problem : watchProblems)
            log(problem);
    }
    notifier = std::make_unique<QSocketNotifier>(watch->fd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &context, [this] {
        QStringList readProblems;
        watch->readEvents([this](FileToCheck&& f) { submit(std::move(f)); }, [this] { rescan(); },
                          readProblems);
        for (const QString& problem : readProblems)
            log(problem);
    });
    return true;
}

void Guard::submit(FileToCheck&& file) {
    feed->add(std::move(file));
}

void Guard::rescan() {
    log("Events were lost (the kernel's queue overflowed): the watched drives are scanned again.");
    if (rescanning.exchange(true))
        return;
    if (rescanner.joinable())
        rescanner.join();
    rescanner = std::thread([this, roots = watch->roots(), p = pool.get()] {
        for (const auto& [root, shown] : roots)
            avtk::Walk(root, shown, {}, [&](avtk::WalkEntry&& entry) {
                if (entry.kind == avtk::WalkEntry::File)
                    return p->submit(avtk::FileJob{std::move(entry.path), entry.shown, false});
                return true;
            });
        rescanning = false;
    });
}

void Guard::handle(avtk::FileOutcome&& outcome, bool denied) {
    using avtk::FileOutcome;
    for (const QString& note : engine ? engine->takeNotes() : QStringList())
        log(note);
    if (outcome.kind == FileOutcome::NotChecked) {
        const bool gone = !QFileInfo::exists(QFile::decodeName(outcome.path.c_str()));
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
    const auto known = reported.find(identity);
    if (denied && known != reported.end() && known->second == virus) {
        log(outcome.shown + "  Infected: " + virus + " (its opening was denied again)");
        return;
    }
    reported[identity] = virus;
    log(outcome.shown + "  Infected: " + virus + (denied ? " (its opening was denied)" : ""));
    bool repair = settings.repair == RepairChoice::Repair;
    if (settings.repair == RepairChoice::Prompt) {
        repair = alerts.askRepair(outcome.shown, virus);
        log(outcome.shown + "  the user chose: " + (repair ? "Repair" : "Leave"));
    }
    if (repair) {
        const avtk::HarmlessResult result =
            avtk::MakeHarmless(outcome.path, outcome.device, outcome.inode, false,
                               !outcome.result.finding.members.isEmpty());
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

void Guard::checkBoot(const DiskArrival& arrival) {
    const QString& disk = arrival.disk;
    QString error;
    const auto sectors = avtk::ReadSectors(arrival.target, error);
    if (!sectors || !sectors->boot) {
        log(disk + " boot sector  not checked: " + (sectors ? sectors->bootNote : error));
        return;
    }
    const avtk::ScanResult result =
        engine->scan(sectors->boot->constData(), size_t(sectors->boot->size()),
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
    const std::optional<QByteArray> old = Floppy::ReadBoot(medium->path, error);
    if (!old)
        return error;
    std::optional<BootSector::FloppyType> standard;
    const std::optional<BootSector::Bpb> bpb = Floppy::BpbToWrite(
        *old, BootSector::Check(*old, medium->bytes), std::nullopt, medium->bytes, standard);
    if (!bpb)
        return QString("its parameter block is damaged and a disk of %1 bytes has no standard type")
            .arg(medium->bytes);
    const Floppy::Written written = Floppy::WriteClean(*medium, *old, *bpb);
    if (!written.saved.isEmpty())
        log(arrival.disk + " boot sector  the old one was saved in " + written.saved + '.');
    if (written.failure != Floppy::Written::None)
        return written.error;
    log(arrival.disk + " boot sector  a clean boot sector was written and read back.");
    return {};
}

void Guard::end() {
    notifier.reset();
    mountsNotifier.reset();
    imagesNotifier.reset();
    disks.reset();
    // The watch goes on answering the guard's own openings until the scans have ended.
    if (access)
        access->stopChecking();
    feed.reset(); // what waits goes to the pool first
    if (pool)
        pool->close();
    if (rescanner.joinable())
        rescanner.join();
    if (collector.joinable())
        collector.join();
    // The outcomes still queued to the main thread are handled before the engine goes.
    QCoreApplication::sendPostedEvents(&context);
    watch.reset();
    access.reset();
    pool.reset();
    engine.reset();
}

void Guard::stop(const QString& why) {
    end();
    log("WinGuard stopped (" + why + ").");
}

} // namespace guard
