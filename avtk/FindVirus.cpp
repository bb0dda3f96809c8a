// FindVirus ("WFindV32.exe"): scans the prefix's drives, or the paths it is given, with the ClamAV
// engine, on every core, and makes harmless what it finds when asked to repair. The switches and
// the exit levels are described in the toolkit's help (veinfo95.hlp, "FindVirus").
#include "engine/Engine.h"
#include "engine/Harmless.h"
#include "engine/Memory.h"
#include "engine/ScanPool.h"
#include "engine/Sectors.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "engine/SystemError.h"
#include "engine/Walk.h"
#include "lib/DriveMap.h"
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <numeric>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Exit levels (the help's table).
constexpr int ExitClean = 0;
constexpr int ExitFound = 1;
constexpr int ExitRepaired = 2; // with /EXTERROR: every finding renamed or deleted
constexpr int ExitStopped = 3;  // with /EXTERROR: stopped by the user
constexpr int ExitProblems = 4; // with /EXTERROR: nothing found, but something not checked
constexpr int ExitNoSignatures = 9;
static_assert(Program::RefusedExitCode == 8);

const QList<SwitchSpec> Switches = {{"AD"},
                                    {"LOCAL"},
                                    {"D", SwitchSpec::Value},
                                    {"NOFILES"},
                                    {"DOALLFILES"},
                                    {"U"},
                                    {"PACK"},
                                    {"NOPACK"},
                                    {"NOBOOT"},
                                    {"NOPART"},
                                    {"NM"},
                                    {"ONEONLY"},
                                    {"BEEP"},
                                    {"EXTERROR"},
                                    {"ANALYSE"},
                                    {"PANALYSE"},
                                    {"MANALYSE"},
                                    {"AUTOEXIT"},
                                    {"NOEXIT"},
                                    {"C", SwitchSpec::Value},
                                    {"EXTRA", SwitchSpec::Value},
                                    {"LOUD"},
                                    {"REPORT", SwitchSpec::FileName},
                                    {"APPEND"},
                                    {"P"},
                                    {"PRINTOUT"},
                                    {"REPAIR"},
                                    {"DELETE"}};

// What was scanned, found and not checked, by what it is. Folders and other entries (devices,
// pipes, names gone before they were looked at) are counted only when they were not checked.
struct Totals {
    enum What { Files, Memory, BootSectors, PartitionSectors, Folders, Others, Kinds };
    qint64 scanned[Kinds] = {}, found[Kinds] = {}, notChecked[Kinds] = {};
    qint64 dealtWith = 0;

    static qint64 Sum(const qint64 (&counts)[Kinds]) {
        return std::accumulate(std::begin(counts), std::end(counts), qint64(0));
    }
    // "1 boot sector", "2 folders not entered", with `adjective` before the noun ("infected").
    static QString Counted(What what, qint64 n, const QString& adjective = {}) {
        static const char* const names[Kinds][2] = {
            {"file", "files"},
            {"file in memory", "files in memory"},
            {"boot sector", "boot sectors"},
            {"partition sector", "partition sectors"},
            {"folder not entered or not read whole", "folders not entered or not read whole"},
            {"other entry", "other entries"}};
        return QString::number(n) + u' ' + (adjective.isEmpty() ? QString() : adjective + u' ') +
               names[what][n == 1 ? 0 : 1];
    }
    // The kinds with a count, as "a, b and c"; `always` is named even when it counts none.
    static QString Listed(const qint64 (&counts)[Kinds], const QString& adjective = {},
                          int always = -1) {
        QStringList parts;
        for (int what = 0; what < Kinds; ++what)
            if (counts[what] || what == always)
                parts << Counted(What(what), counts[what], adjective);
        const QString last = parts.isEmpty() ? QString() : parts.takeLast();
        return parts.isEmpty() ? last : parts.join(", ") + " and " + last;
    }
};

// A place to scan: a drive's folder or a checklist's path.
struct Root {
    std::string path;
    QString shown;
    bool named = false; // a file named by the checklist is scanned whatever its kind
};

// A word of the command line that is not a switch is a path to scan. A word beginning with "/" is
// a switch when it names one; otherwise it is a path when it names a file or folder or holds a
// second "/", which no switch's name does; anything else is an unknown switch.
bool IsPath(const QString& word) {
    if (!word.startsWith(u'/'))
        return true;
    const QString name = word.mid(1).section(u'=', 0, 0).toUpper();
    if (std::any_of(Switches.begin(), Switches.end(),
                    [&](const SwitchSpec& spec) { return spec.name == name; }))
        return false;
    return name.contains(u'/') || QFileInfo::exists(word);
}

// How a file of the memory check is named, before its path.
const QString MemoryShown = QStringLiteral("Memory: ");

bool IsFloppy(QChar letter) {
    return letter == u'A' || letter == u'B';
}

class Scan {
public:
    Scan(Session& session, Report& report, const CommandLine& line,
         const std::vector<std::string>& paths)
        : session(session), report(report), line(line), paths(paths) {}

    QStringList prepare(); // the drive choice, the checklist and driver files; errors refuse
    int run();

private:
    bool loadSignatures();
    void sectors(const DriveMap::Drive& drive);
    void scanSector(const QByteArray& sector, const QString& shown, Totals::What what);
    std::vector<Root> checklistRoots();
    std::vector<Root> pathRoots();
    std::optional<Root> entryRoot(const QString& entry, const QString& where);
    bool files(const std::vector<Root>& roots, bool memory);
    void outcome(avtk::FileOutcome&& outcome);
    void repairFound();
    int finding(Totals::What what, const QString& shown, const QString& virus,
                const QString& action);
    void print();
    void say(const QString& text) {
        session.line(text);
        report.add(text);
    }
    void problem(const QString& text) {
        problems = true;
        say(text);
    }

    Session& session;
    Report& report;
    const CommandLine& line;
    const std::vector<std::string>& paths; // as the command line's bytes
    QString driverPath;
    QByteArray checklist;
    std::unique_ptr<avtk::Scanner> engine;
    avtk::ScanOptions options;
    Totals totals;
    // The findings of the files being scanned, repaired once the last of them is scanned.
    struct ToRepair {
        avtk::FileOutcome file;
        QString shown;
        int finding;
    };
    std::vector<ToRepair> toRepair;
    bool problems = false;
    bool testSignaturesOnly = false; // no system database: only the test files can be found
    bool stopped = false;
};

QStringList Scan::prepare() {
    QStringList errors;
    const int drivesChosen = int(line.has("AD")) + int(line.has("LOCAL")) + int(line.has("D"));
    if (drivesChosen == 0 && paths.empty())
        errors << "No drives to scan: give /AD, /LOCAL, /D= or paths.";
    if (drivesChosen > 1)
        errors << "Give only one of /AD, /LOCAL and /D=.";
    auto toolkitFile = [&](const QString& switchName) {
        const QString name = line.value(switchName);
        const QString path = Program::ToolkitFile(name);
        if (path.isEmpty())
            errors << QString("Cannot read %1 in the toolkit folder: there is no such file.")
                          .arg(name);
        return path;
    };
    if (line.has("C")) {
        const QString path = toolkitFile("C");
        QString error;
        const auto bytes = path.isEmpty() ? std::nullopt : Program::ReadFile(path, 1 << 20, error);
        if (bytes)
            checklist = *bytes;
        else if (!path.isEmpty())
            errors
                << QString("Cannot read %1 in the toolkit folder: %2.").arg(line.value("C"), error);
    }
    if (line.has("EXTRA"))
        driverPath = toolkitFile("EXTRA");
    return errors;
}

bool Scan::loadSignatures() {
    avtk::ObtainedScanner obtained = avtk::ObtainScanner(
        Program::ToolkitFolder(), driverPath, [&](const QString& failure) { problem(failure); },
        [&](const QString& note) { say(note); });
    const avtk::LoadSummary& loaded = obtained.loaded;
    if (loaded.signatures == 0)
        return false;
    testSignaturesOnly = !loaded.systemDatabase;
    if (!obtained.compileError.isEmpty()) {
        problem("The signatures could not be prepared for scanning: " + obtained.compileError +
                '.');
        return false;
    }
    engine = std::move(obtained.scanner);
    say(QString("Signatures: %1 from %2 files%3%4.")
            .arg(loaded.signatures)
            .arg(loaded.files)
            .arg(loaded.systemDatabase ? ", the system's ClamAV database among them"
                                       : ", without a system ClamAV database")
            .arg(obtained.shared ? ", in the toolkit's shared engine" : ""));
    return true;
}

int Scan::finding(Totals::What what, const QString& shown, const QString& virus,
                  const QString& action) {
    ++totals.found[what];
    say(shown + "  Infected: " + virus);
    if (!action.isEmpty())
        say("    " + action);
    const int number = session.finding(shown, virus, action);
    if (line.has("BEEP"))
        session.beep();
    return number;
}

void Scan::scanSector(const QByteArray& sector, const QString& shown, Totals::What what) {
    const avtk::ScanResult result =
        engine->scan(sector.constData(), size_t(sector.size()), shown.toStdString(), options);
    if (result.kind == avtk::ScanResult::Failed) {
        ++totals.notChecked[what];
        problem(shown + "  not checked: " + result.problem);
        return;
    }
    ++totals.scanned[what];
    if (result.kind == avtk::ScanResult::Infected)
        finding(what, shown, result.finding.virus, "not changed: CleanBoo repairs boot sectors.");
    else if (line.has("LOUD"))
        say(shown + "  OK");
}

void Scan::sectors(const DriveMap::Drive& drive) {
    const QString letter = QString(drive.letter) + u':';
    if (drive.folder) {
        say(letter + " is a folder: it has no boot or partition sector.");
        return;
    }
    QString error;
    const std::optional<avtk::DiskSectors> disk =
        avtk::ReadSectors(QFile::encodeName(drive.root).toStdString(), error);
    if (!disk) {
        ++totals.notChecked[Totals::BootSectors];
        problem(letter + " boot sector  not checked: " + error);
        return;
    }
    if (disk->boot) {
        scanSector(*disk->boot, letter + " boot sector", Totals::BootSectors);
    } else {
        ++totals.notChecked[Totals::BootSectors];
        problem(letter + " boot sector  not checked: " + disk->bootNote);
    }
    if (line.has("NOPART"))
        return;
    if (disk->partition)
        scanSector(*disk->partition, letter + " partition sector", Totals::PartitionSectors);
    else
        say(letter + " partition sector: " + disk->partitionNote + '.');
}

// A path of the checklist or the command line, c:\folder\file through the drive letters or
// /folder/file, shown as it is written; `where` names it in a problem's line.
std::optional<Root> Scan::entryRoot(const QString& entry, const QString& where) {
    QString path;
    if (entry.size() >= 2 && entry[1] == u':') {
        const std::optional<DriveMap::Drive> drive =
            DriveMap::Find(DriveMap::PrefixFolder(), entry[0]);
        if (!drive) {
            problem(QString("%1: drive %2: is not ready.").arg(where).arg(entry[0].toUpper()));
            return std::nullopt;
        }
        path = drive->root + u'/' + entry.mid(2).replace(u'\\', u'/');
    } else if (entry.startsWith(u'/')) {
        path = entry;
    } else {
        problem(where + ": not a path (c:\\folder\\file or /folder/file).");
        return std::nullopt;
    }
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return Root{QFile::encodeName(path).toStdString(), entry, true};
}

std::vector<Root> Scan::checklistRoots() {
    std::vector<Root> roots;
    int number = 0;
    for (const QByteArray& raw : checklist.split('\n')) {
        ++number;
        const QString entry = QString::fromUtf8(raw).trimmed();
        if (entry.isEmpty() || entry.startsWith(u';') || entry.startsWith(u'#'))
            continue;
        if (std::optional<Root> root =
                entryRoot(entry, QString("Checklist line %1, %2").arg(number).arg(entry)))
            roots.push_back(std::move(*root));
    }
    return roots;
}

std::vector<Root> Scan::pathRoots() {
    std::vector<Root> roots;
    for (const std::string& bytes : paths) {
        // A drive's path as the checklist writes it, unless a file of that name is there.
        const QString word = QString::fromLocal8Bit(bytes);
        if (word.size() >= 2 && word[1] == u':' && !QFileInfo::exists(word)) {
            if (std::optional<Root> root = entryRoot(word, "Path " + word))
                roots.push_back(std::move(*root));
            continue;
        }
        // Handed over by a file manager, a path may hold any byte: it is kept as it came and
        // named as the walk names what lies below it. A relative one is taken from the working
        // folder and shown whole, so that the report names the file wherever the scan ran.
        std::string path = bytes;
        while (path.starts_with("./"))
            path.erase(0, 2);
        if (!path.starts_with('/'))
            path = QFile::encodeName(QDir::currentPath()).toStdString() + '/' + path;
        while (path.size() > 1 && path.ends_with('/'))
            path.pop_back();
        roots.push_back(Root{path, avtk::ShownName(path), true});
    }
    return roots;
}

void Scan::repairFound() {
    if (toRepair.empty())
        return;
    say(line.has("DELETE") ? "Deleting what was found:" : "Renaming what was found:");
    for (const ToRepair& found : toRepair) {
        const avtk::HarmlessResult result = avtk::MakeHarmless(found.file, line.has("DELETE"));
        if (result.done)
            ++totals.dealtWith;
        else
            problems = true;
        say(found.shown + "  " + result.action);
        session.setFindingAction(found.finding, result.action);
    }
    toRepair.clear();
}

void Scan::outcome(avtk::FileOutcome&& outcome) {
    using avtk::FileOutcome;
    const bool inMemory = outcome.shown.startsWith(MemoryShown);
    switch (outcome.kind) {
    case FileOutcome::NotSelected:
        return;
    case FileOutcome::Link:
        if (line.has("LOUD"))
            say(outcome.shown + "  symbolic link, not followed");
        return;
    case FileOutcome::Skipped:
    case FileOutcome::NotEntered:
        ++totals
              .notChecked[outcome.kind == FileOutcome::Skipped ? Totals::Others : Totals::Folders];
        problem(outcome.shown + "  " + outcome.problem);
        return;
    case FileOutcome::NotChecked:
        ++totals.notChecked[inMemory ? Totals::Memory : Totals::Files];
        problem(outcome.shown + "  not checked: " + outcome.problem);
        return;
    case FileOutcome::Scanned:
        break;
    }
    ++totals.scanned[inMemory ? Totals::Memory : Totals::Files];
    session.progress(outcome.shown);
    if (outcome.result.kind != avtk::ScanResult::Infected) {
        if (line.has("LOUD"))
            say(outcome.shown + "  OK");
        return;
    }
    QString shown = outcome.shown;
    for (const QString& member : outcome.result.finding.members)
        shown += " > " + avtk::ShownName(member.toStdString());
    if (inMemory) {
        finding(Totals::Memory, shown, outcome.result.finding.virus,
                "in memory: reported, not changed.");
        return;
    }
    const int number = finding(Totals::Files, shown, outcome.result.finding.virus, QString());
    if (line.has("REPAIR"))
        toRepair.push_back(ToRepair{std::move(outcome), shown, number});
}

bool Scan::files(const std::vector<Root>& roots, bool memory) {
    avtk::Selection selection{line.has("DOALLFILES"), line.has("U")};
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    avtk::ScanPool pool(*engine, options, selection, threads, avtk::ScanPool::WalkBatch);
    std::atomic<bool> stop = false;
    std::atomic<qint64> counted = 0;
    auto walkAll = [&](const std::function<bool(avtk::WalkEntry &&)>& visit) {
        for (const Root& root : roots)
            if (!avtk::Walk(root.path, root.shown, {}, visit) || stop)
                return;
    };
    avtk::RunningFiles running;
    if (memory) {
        running = avtk::ListRunningFiles();
        say(QString("Memory: the programs and mapped files of %1 processes, %2 files; %3 "
                    "processes not readable.")
                .arg(running.processes)
                .arg(running.files.size())
                .arg(running.unreadable));
    }
    // The walk feeds the pool; the memory's files go first, since they run now.
    std::thread walker([&] {
        for (avtk::FileJob& job : running.files) {
            job.named = true;
            if (stop || !pool.submit(std::move(job)))
                break;
        }
        walkAll([&](avtk::WalkEntry&& entry) {
            if (stop)
                return false;
            if (entry.kind == avtk::WalkEntry::File) {
                const bool named = std::any_of(roots.begin(), roots.end(), [&](const Root& r) {
                    return r.named && r.path == entry.path;
                });
                return pool.submit(avtk::FileJob{std::move(entry.path), entry.shown, named, -1,
                                                 entry.rootLength, false, entry.size});
            }
            avtk::FileOutcome note;
            note.kind = entry.kind == avtk::WalkEntry::Link         ? avtk::FileOutcome::Link
                        : entry.kind == avtk::WalkEntry::NotEntered ? avtk::FileOutcome::NotEntered
                                                                    : avtk::FileOutcome::Skipped;
            note.path = std::move(entry.path);
            note.shown = entry.shown;
            note.problem = entry.reason;
            pool.pass(std::move(note));
            return true;
        });
        pool.close();
    });
    // The progress bar's total: a count of the same folders, running alongside (window only).
    std::thread counter;
    if (session.windowed())
        counter = std::thread([&] {
            walkAll([&](avtk::WalkEntry&& entry) {
                counted += entry.kind == avtk::WalkEntry::File;
                return !stop;
            });
        });
    qint64 done = 0;
    while (true) {
        std::vector<avtk::FileOutcome> ready = pool.collect(std::chrono::milliseconds(40));
        done += qint64(ready.size());
        for (avtk::FileOutcome& one : ready)
            outcome(std::move(one));
        for (const QString& note : engine->takeNotes())
            say(note);
        session.counts(done, std::max(counted.load(), done));
        if (!stopped && session.cancelled()) {
            stopped = true;
            stop = true;
            pool.cancel();
        }
        if (ready.empty() && pool.finished())
            break;
    }
    walker.join();
    if (counter.joinable())
        counter.join();
    // Once every file is scanned, not as each finding comes: a renamed file is then never met
    // again by the walk or the count (a .VIR in a folder not read yet), and what was found before
    // a stop is still made harmless.
    repairFound();
    return !stopped;
}

void Scan::print() {
    const QString lp = QStandardPaths::findExecutable("lp");
    if (lp.isEmpty()) {
        say("Printing: there is no print spooler (lp) on this system; the report was not printed.");
        return;
    }
    QProcess printer;
    printer.start(lp, {"-t", "FindVirus report", "-"});
    QByteArray text;
    for (const QString& l : report.text())
        text += l.toUtf8() + "\r\n";
    printer.write(text);
    printer.closeWriteChannel();
    if (!printer.waitForFinished(30000) || printer.exitStatus() != QProcess::NormalExit ||
        printer.exitCode() != 0) {
        const QString why = QString::fromLocal8Bit(printer.readAllStandardError()).trimmed();
        say("Printing: lp could not print the report" +
            (why.isEmpty() ? QString(".") : ": " + why));
        return;
    }
    say("Printing: the report was sent to the printer.");
}

int Scan::run() {
    QElapsedTimer clock;
    clock.start();
    if (!loadSignatures()) {
        report.add("No virus signatures could be loaded: nothing was scanned.");
        session.line("Error: no virus signatures could be loaded: nothing was scanned.");
        const int code = Program::WriteReport(session, report, ExitNoSignatures);
        return session.finish("No virus signatures: nothing was scanned.", code,
                              line.has("AUTOEXIT"));
    }
    options.archives = line.has("U");
    options.unpack = line.has("PACK") && !line.has("NOPACK");
    options.programHeuristics = line.has("ANALYSE") || line.has("PANALYSE");
    options.macroHeuristics = line.has("ANALYSE") || line.has("MANALYSE");

    QStringList driveErrors;
    const QList<DriveMap::Drive> drives =
        DriveMap::Select(DriveMap::PrefixFolder(), line.has("AD"), line.has("LOCAL"),
                         line.value("D"), driveErrors, true);
    for (const QString& error : driveErrors)
        problem(error);
    QStringList letters;
    for (const DriveMap::Drive& drive : drives)
        letters << QString(drive.letter) + u':';
    say("Drives: " + (letters.isEmpty() ? QString("none") : letters.join(u' ')));
    if (!paths.empty())
        say(QString("Paths: %1 given on the command line").arg(paths.size()));
    say(QString("Files: ") +
        (line.has("NOFILES")      ? QString("none (/NOFILES)")
         : line.has("C")          ? QString("the paths of the checklist " + line.value("C"))
         : line.has("DOALLFILES") ? QString("all files")
                                  : QString("program files")) +
        (options.archives && !line.has("NOFILES") ? ", inside archives too" : ""));
    QStringList heuristics;
    if (options.programHeuristics)
        heuristics << "program and file";
    if (options.macroHeuristics)
        heuristics << "macro";
    say("Heuristics: " + (heuristics.isEmpty() ? QString("none") : heuristics.join(", ")) +
        "; packed programs: " + (options.unpack ? "unpacked" : "not unpacked") + '.');
    if (line.has("DELETE") && !line.has("REPAIR"))
        say("/DELETE without /REPAIR: what is found is only reported.");
    report.add(QString());

    std::vector<Root> checklistPaths;
    if (line.has("C") && !line.has("NOFILES"))
        checklistPaths = checklistRoots();
    if (!line.has("NOFILES"))
        for (Root& root : pathRoots())
            checklistPaths.push_back(std::move(root));
    for (const DriveMap::Drive& drive : drives) {
        if (stopped)
            break;
        // A floppy drive holds one disk after another: the user is asked for the next.
        bool nextDisk = true;
        while (nextDisk && !stopped) {
            if (!line.has("NOBOOT"))
                sectors(drive);
            if (!line.has("NOFILES") && !line.has("C") && drive.folder)
                stopped = !files({Root{QFile::encodeName(drive.root).toStdString(),
                                       QString(drive.letter) + ":\\", false}},
                                 false);
            nextDisk = false;
            if (IsFloppy(drive.letter) && !line.has("ONEONLY") && !stopped) {
                nextDisk = session.ask(
                    QString("Put the next disk into drive %1: and scan it?").arg(drive.letter));
                if (!nextDisk)
                    say(QString("Drive %1: no more disks.").arg(drive.letter));
            }
        }
    }
    if (!stopped && (!checklistPaths.empty() || !line.has("NM")))
        stopped = !files(checklistPaths, !line.has("NM"));

    if (stopped)
        say("Stopped by the user.");
    if (testSignaturesOnly)
        say(avtk::TestSignaturesOnly);
    report.add(QString());
    const qint64 found = Totals::Sum(totals.found), notChecked = Totals::Sum(totals.notChecked);
    say(QString("Files scanned: %1").arg(totals.scanned[Totals::Files]));
    if (!line.has("NM"))
        say(QString("Files in memory scanned: %1").arg(totals.scanned[Totals::Memory]));
    const qint64 sectors =
        totals.scanned[Totals::BootSectors] + totals.scanned[Totals::PartitionSectors];
    if (sectors)
        say(QString("Boot and partition sectors scanned: %1").arg(sectors));
    say(QString("Viruses found: %1").arg(found));
    if (line.has("REPAIR"))
        say(QString("Infected files renamed or deleted: %1").arg(totals.dealtWith));
    if (notChecked)
        say(QString("Not checked: %1 (%2)").arg(notChecked).arg(Totals::Listed(totals.notChecked)));
    say(QString("Time: %1 s").arg(clock.nsecsElapsed() / 1e9, 0, 'f', 3));

    int code = found ? ExitFound : ExitClean;
    if (line.has("EXTERROR")) {
        if (stopped)
            code = ExitStopped;
        else if (found && totals.dealtWith == found)
            code = ExitRepaired;
        else if (!found && problems)
            code = ExitProblems;
    }
    const QString result =
        stopped ? QString("Scan stopped.")
        : found ? QString(Totals::Listed(totals.found, "infected") + " found.")
                : "No viruses found in " + Totals::Listed(totals.scanned, {}, Totals::Files) + '.';
    report.add(result);
    if (line.has("P") || line.has("PRINTOUT"))
        print();
    code = Program::WriteReport(session, report, code);
    return session.finish(result, code, line.has("AUTOEXIT"));
}

} // namespace

int main(int argc, char** argv) {
    // A freed buffer of a megabyte or more (a larger file read whole for scanning) goes back to
    // the system at once: glibc's adaptive threshold would keep the last such buffer in each
    // thread's arena, a file's size per thread on top of the peak. (One arena for all threads
    // would do the same, but slows the scan of small files by a third.)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    Session session(argc, argv, "FindVirus");
    // The arguments left once Qt took its own; the paths keep argv's bytes, so that a name that is
    // not UTF-8 still opens.
    QStringList arguments, switchWords;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const QString word = QString::fromLocal8Bit(argv[i]);
        arguments << word;
        if (IsPath(word))
            paths.emplace_back(argv[i]);
        else
            switchWords << word;
    }
    const CommandLine line = CommandLine::Parse(switchWords, Switches);
    Report report(line.value("REPORT"), line.has("APPEND"));
    session.asked("WFindV32.exe " + arguments.join(u' '));
    session.setPreventExit(line.has("NOEXIT"));
    Program::BeginReport(report, "FindVirus", arguments.join(u' '));
    if (!line.ok())
        return Program::Refuse(session, report, line.errors(), line.has("AUTOEXIT"));
    Scan scan(session, report, line, paths);
    const QStringList errors = scan.prepare();
    if (!errors.isEmpty())
        return Program::Refuse(session, report, errors, line.has("AUTOEXIT"));
    return scan.run();
}
