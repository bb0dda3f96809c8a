// FindVirus stand-in ("WFindV32.exe"): scans the prefix's drives for the EICAR test file and the
// signatures of an extra driver, in files and inside zip archives, and renames or deletes what
// it finds when asked to repair.
//
// Exit codes: 0 nothing found; 1 a virus found; 8 the command line refused. With /EXTERROR also
// 2 (every infected file renamed or deleted), 3 (cancelled by the user) and 4 (nothing found, but
// a drive or a file could not be read).
#include "lib/DriveMap.h"
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Signatures.h"
#include "lib/Switches.h"
#include "lib/Zip.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include <fcntl.h>

namespace {

constexpr qint64 MaxFileSize = 64 * 1024 * 1024;
constexpr int MaxArchiveDepth = 3;

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
                                    {"REPORT", SwitchSpec::Value},
                                    {"APPEND"},
                                    {"P"},
                                    {"PRINTOUT"},
                                    {"REPAIR"},
                                    {"DELETE"}};

struct Totals {
    qint64 files = 0, archives = 0, members = 0, found = 0, dealtWith = 0, unreadable = 0;
};

class Scan {
public:
    Scan(Session& session, Report& report, const CommandLine& line)
        : session(session), report(report), line(line) {}

    QStringList prepare(); // loads the checklist and driver; errors refuse the run
    int run();

private:
    bool selected(const QString& name) const;
    void file(const DriveMap::WalkedFile& file);
    void content(const QString& shownName, const QByteArray& bytes, int depth,
                 const QString* realPath);
    void act(const QString& realPath);
    void say(const QString& text) {
        session.line(text);
        report.add(text);
    }

    Session& session;
    Report& report;
    const CommandLine& line;
    QList<Signatures::Signature> extra;
    QList<QRegularExpression> checklist;
    Totals totals;
    bool problems = false;
};

QStringList Scan::prepare() {
    QStringList errors;
    const int drivesChosen = int(line.has("AD")) + int(line.has("LOCAL")) + int(line.has("D"));
    if (drivesChosen == 0)
        errors << "No drives to scan: give /AD, /LOCAL or /D=.";
    if (drivesChosen > 1)
        errors << "Give only one of /AD, /LOCAL and /D=.";
    auto load = [&](const QString& switchName, auto&& parse) {
        if (!line.has(switchName))
            return;
        const QString name = line.value(switchName);
        const QString path = Program::ToolkitFile(name);
        QString error;
        const auto bytes = path.isEmpty() ? std::nullopt : Program::ReadFile(path, 1 << 20, error);
        if (!bytes)
            errors << QString("Cannot read %1 in the toolkit folder%2.")
                          .arg(name, error.isEmpty() ? QString() : ": " + error);
        else
            parse(*bytes, name);
    };
    load("C", [&](const QByteArray& bytes, const QString& name) {
        checklist = Signatures::ParseChecklist(bytes);
        report.add(QString("Checklist %1: %2 more file patterns.").arg(name).arg(checklist.size()));
    });
    load("EXTRA", [&](const QByteArray& bytes, const QString& name) {
        QStringList driverErrors;
        extra = Signatures::ParseDriver(bytes, driverErrors);
        for (const QString& error : driverErrors)
            errors << name + ", " + error;
        report.add(QString("Extra driver %1: %2 signatures.").arg(name).arg(extra.size()));
    });
    return errors;
}

bool Scan::selected(const QString& name) const {
    if (line.has("DOALLFILES") || Signatures::IsExecutableName(name))
        return true;
    for (const QRegularExpression& pattern : checklist)
        if (pattern.match(name).hasMatch())
            return true;
    return false;
}

void Scan::act(const QString& realPath) {
    if (!line.has("REPAIR") && !line.has("DELETE"))
        return;
    // The test file is nothing but the test string: there is nothing to repair, so it goes the
    // way of an unrepairable file.
    const QByteArray from = QFile::encodeName(realPath);
    if (line.has("DELETE")) {
        if (QFile::remove(realPath)) {
            ++totals.dealtWith;
            say("    cannot be repaired: deleted.");
        } else {
            problems = true;
            say("    cannot be repaired, and could not be deleted.");
        }
        return;
    }
    const QFileInfo info(realPath);
    const QString stem = info.path() + u'/' + info.completeBaseName();
    for (int n = 0; n < 100; ++n) {
        const QString target =
            stem + (n == 0 ? QString(".vir") : QString(".v%1").arg(n, 2, 10, QChar(u'0')));
        // Never over an existing file.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                        RENAME_NOREPLACE) == 0) {
            ++totals.dealtWith;
            say("    cannot be repaired: renamed to " + QFileInfo(target).fileName() + ".");
            return;
        }
        if (errno != EEXIST)
            break;
    }
    problems = true;
    say("    cannot be repaired, and could not be renamed.");
}

void Scan::content(const QString& shownName, const QByteArray& bytes, int depth,
                   const QString* realPath) {
    const QString name = shownName.section(u'\\', -1).section(u'/', -1);
    const bool archive =
        line.has("U") && (Signatures::IsArchiveName(name) || Zip::LooksLikeZip(bytes));
    if (archive && depth < MaxArchiveDepth) {
        const Zip::Archive zip = Zip::Read(bytes, MaxFileSize);
        if (zip.problem.isEmpty()) {
            ++totals.archives;
            if (line.has("LOUD"))
                say(shownName + "  archive, " + QString::number(zip.members.size()) + " members");
            for (const Zip::Member& member : zip.members) {
                if (member.name.endsWith(u'/'))
                    continue; // a folder entry
                const QString inner = shownName + " > " + member.name;
                if (!member.problem.isEmpty()) {
                    problems = true;
                    ++totals.unreadable;
                    say(inner + "  not checked: " + member.problem);
                    continue;
                }
                if (!selected(member.name) && !Signatures::IsArchiveName(member.name))
                    continue;
                ++totals.members;
                content(inner, member.data, depth + 1, nullptr);
            }
            return;
        }
        if (Signatures::IsArchiveName(name))
            say(shownName + "  archive not opened: " + zip.problem);
    }
    if (depth == 0 && !selected(name))
        return;
    if (depth == 0)
        ++totals.files;
    const QString virus = Signatures::Detect(bytes, extra);
    if (virus.isEmpty()) {
        if (line.has("LOUD"))
            say(shownName + "  OK");
        return;
    }
    ++totals.found;
    say(shownName + "  Infected: " + virus);
    if (line.has("BEEP"))
        session.beep();
    if (realPath)
        act(*realPath);
    else if (line.has("REPAIR") || line.has("DELETE"))
        say("    inside an archive: the archive was not changed.");
}

void Scan::file(const DriveMap::WalkedFile& file) {
    const QString name = QFileInfo(file.path).fileName();
    const bool archive = line.has("U") && Signatures::IsArchiveName(name);
    if (!archive && !selected(name))
        return;
    session.progress(file.drivePath);
    QString error;
    const auto bytes = Program::ReadFile(file.path, MaxFileSize, error);
    if (!bytes) {
        problems = true;
        ++totals.unreadable;
        say(file.drivePath + "  not checked: " + error);
        return;
    }
    content(file.drivePath, *bytes, 0, &file.path);
}

int Scan::run() {
    QElapsedTimer clock;
    clock.start();
    QStringList driveErrors;
    const QList<DriveMap::Drive> drives = DriveMap::Select(
        DriveMap::PrefixFolder(), line.has("AD"), line.has("LOCAL"), line.value("D"), driveErrors);
    for (const QString& error : driveErrors) {
        problems = true;
        say(error);
    }
    QStringList letters;
    for (const DriveMap::Drive& drive : drives)
        letters << QString(drive.letter) + u':';
    say("Drives: " + (letters.isEmpty() ? QString("none") : letters.join(u' ')));
    say(QString("Files: ") +
        (line.has("NOFILES")      ? "none (/NOFILES)"
         : line.has("DOALLFILES") ? "all files"
                                  : "program files") +
        (line.has("U") && !line.has("NOFILES") ? ", inside zip archives too" : ""));
    // What the real toolkit does and this stand-in cannot, said plainly.
    if (!line.has("NOBOOT"))
        say("Boot sectors: not read by this stand-in.");
    if (!line.has("NM"))
        say("Memory: not examined by this stand-in.");
    if (line.has("PACK"))
        say("Compressed programs: not unpacked by this stand-in.");
    if (line.has("ANALYSE") || line.has("PANALYSE") || line.has("MANALYSE"))
        say("Heuristics: this stand-in has none; it knows only its signatures.");
    if (line.has("P") || line.has("PRINTOUT"))
        say("Printing: this stand-in has no printer; see the report file.");
    report.add(QString());

    bool cancelled = false;
    if (!line.has("NOFILES")) {
        for (const DriveMap::Drive& drive : drives) {
            const DriveMap::WalkSummary summary =
                DriveMap::Walk(drive, DriveMap::WalkLimits{}, [&](const DriveMap::WalkedFile& f) {
                    if (session.cancelled())
                        return false;
                    file(f);
                    return true;
                });
            for (const QString& skipped : summary.skipped) {
                problems = true;
                say(skipped + " (not scanned)");
            }
            if (summary.capped) {
                problems = true;
                say(QString("%1: stopped after %2 files.")
                        .arg(drive.letter)
                        .arg(DriveMap::WalkLimits{}.maxFiles));
            }
            if (summary.stopped) {
                cancelled = true;
                say("Cancelled by the user.");
                break;
            }
        }
    }
    report.add(QString());
    say(QString("Files scanned: %1").arg(totals.files));
    if (line.has("U"))
        say(QString("Archives opened: %1 (%2 members scanned)")
                .arg(totals.archives)
                .arg(totals.members));
    say(QString("Viruses found: %1").arg(totals.found));
    if (line.has("REPAIR") || line.has("DELETE"))
        say(QString("Infected files renamed or deleted: %1").arg(totals.dealtWith));
    if (totals.unreadable)
        say(QString("Not checked: %1").arg(totals.unreadable));
    say(QString("Time: %1 s").arg(clock.nsecsElapsed() / 1e9, 0, 'f', 3));

    int code = totals.found ? 1 : 0;
    if (line.has("EXTERROR")) {
        if (cancelled)
            code = 3;
        else if (totals.found && totals.dealtWith == totals.found)
            code = 2;
        else if (!totals.found && problems)
            code = 4;
    }
    const QString result =
        cancelled ? QString("Scan cancelled.")
        : totals.found
            ? QString("%1 infected found in %2 files.").arg(totals.found).arg(totals.files)
            : QString("No viruses found in %1 files.").arg(totals.files);
    report.add(result);
    code = Program::WriteReport(session, report, code);
    return session.finish(result, code, line.has("AUTOEXIT"));
}

} // namespace

int main(int argc, char** argv) {
    Session session(argc, argv, "FindVirus (stand-in)");
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const CommandLine line = CommandLine::Parse(arguments, Switches);
    Report report(line.value("REPORT"), line.has("APPEND"));
    session.asked("WFindV32.exe " + line.text());
    session.setPreventExit(line.has("NOEXIT"));
    Program::BeginReport(report, "FindVirus", line.text());
    if (!line.ok())
        return Program::Refuse(session, report, line.errors(), line.has("AUTOEXIT"));
    Scan scan(session, report, line);
    const QStringList errors = scan.prepare();
    if (!errors.isEmpty())
        return Program::Refuse(session, report, errors, line.has("AUTOEXIT"));
    return scan.run();
}
