// ViVerify ("WViVer32.exe"): with /CREATE records the fingerprints of every file of the
// "/D=" drives in the "/FF=" base name + ".vvf"; without it compares the drives against that file
// and reports the new, changed and missing files.
//
// Exit codes: 0 fingerprints made, or nothing changed, and every file read; 1 changes found;
// 2 the fingerprint file could not be read or written, or the keyword does not match it;
// 3 cancelled by the user; 4 no change found (or fingerprints made), but a file or folder could
// not be read; 5 the fingerprint file is damaged; 8 the command line refused.
#include "lib/DriveMap.h"
#include "lib/Fingerprint.h"
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace {

using Fingerprint::Algorithm;

constexpr int ExitSame = 0, ExitChanged = 1, ExitNoFile = 2, ExitCancelled = 3, ExitNotRead = 4,
              ExitDamaged = 5;

const QList<SwitchSpec> Switches = {{"CREATE"},   {"D", SwitchSpec::Value},
                                    {"NOBOOT"},   {"NOPART"},
                                    {"NOCANCEL"}, {"X", SwitchSpec::Value, true},
                                    {"NOPSW"},    {"FF", SwitchSpec::Value},
                                    {"SIZES"},    {"WHOLESUM"},
                                    {"CRC"},      {"DES"},
                                    {"NT"},       {"N", SwitchSpec::Value},
                                    {"BEEP"},     {"LOUD"},
                                    {"PRINTOUT"}, {"REPORT", SwitchSpec::FileName}};

struct Request {
    Algorithm algorithm = Algorithm::Crc;
    int stride = 5;
    QString keyword;
    QString fingerprints; // the .vvf path
    QList<DriveMap::Drive> drives;
};

std::optional<Request> Understand(const CommandLine& line, QStringList& errors) {
    Request request;
    if (!line.has("FF") || line.value("FF").isEmpty())
        errors << "No fingerprint file: give /FF=\"base name\".";
    request.fingerprints = line.value("FF") + ".vvf";
    int algorithms = 0;
    for (Algorithm a : {Algorithm::Sizes, Algorithm::Checksum, Algorithm::Crc, Algorithm::Des})
        if (line.has(Fingerprint::Name(a))) {
            request.algorithm = a;
            ++algorithms;
        }
    if (algorithms > 1)
        errors << "Give only one of /SIZES, /WHOLESUM, /CRC and /DES.";
    if (line.has("X") && line.has("NOPSW"))
        errors << "Give either /X=keyword or /NOPSW, not both.";
    request.keyword = line.value("X");
    if (line.has("X") && request.keyword.isEmpty())
        errors << "The keyword after /X= is empty.";
    const QString every = line.value("N");
    if (!every.isEmpty()) {
        bool number = false;
        request.stride = every.toInt(&number);
        if (!number || request.stride < 1 || request.stride > 9)
            errors << QString("/N=%1: the byte interval is a digit from 1 to 9.").arg(every);
    }
    if (line.has("NT"))
        request.stride = 1;
    if (!line.has("D") || line.value("D").isEmpty())
        errors << "No drives to check: give /D=.";
    request.drives =
        DriveMap::Select(DriveMap::PrefixFolder(), false, false, line.value("D"), errors);
    if (!errors.isEmpty())
        return std::nullopt;
    return request;
}

class Check {
public:
    Check(Session& session, Report& report, const CommandLine& line, Request request)
        : session(session), report(report), line(line), request(std::move(request)) {}
    int run();

private:
    // The fingerprints of the drives; false when cancelled.
    bool fingerprint(const Fingerprint::File& as, QMap<QString, Fingerprint::Entry>& out);
    int create();
    int verify();
    void say(const QString& text) {
        session.line(text);
        report.add(text);
    }

    Session& session;
    Report& report;
    const CommandLine& line;
    Request request;
    QStringList unreadable;
    // What was not read, so that its stored fingerprints are not taken for missing files: files
    // by drive path, folders by drive path, drives walked only in part.
    QSet<QString> unreadFiles;
    QStringList unreadFolders;
    QSet<QChar> partlyWalked;
    bool notRead(const QString& drivePath) const;
};

bool Check::notRead(const QString& drivePath) const {
    if (unreadFiles.contains(drivePath) || partlyWalked.contains(drivePath.at(0).toUpper()))
        return true;
    return std::any_of(unreadFolders.begin(), unreadFolders.end(), [&](const QString& folder) {
        return drivePath.startsWith(folder.endsWith(u'\\') ? folder : folder + u'\\');
    });
}

bool Check::fingerprint(const Fingerprint::File& as, QMap<QString, Fingerprint::Entry>& out) {
    const quint64 key = Fingerprint::DesKey(request.keyword);
    for (const DriveMap::Drive& drive : request.drives) {
        const auto summary =
            DriveMap::Walk(drive, DriveMap::WalkLimits{}, [&](const DriveMap::WalkedFile& f) {
                if (session.cancelled())
                    return false;
                session.progress(f.drivePath);
                QFile file(f.path);
                if (!file.open(QIODevice::ReadOnly)) {
                    unreadable << f.drivePath + ": " + file.errorString();
                    unreadFiles.insert(f.drivePath);
                    return true;
                }
                Fingerprint::Hasher hasher(as.algorithm, key, as.stride);
                if (as.algorithm == Algorithm::Sizes) {
                    hasher.add(QByteArray()); // the size is all it takes
                    out.insert(f.drivePath, {f.size, QString::number(f.size)});
                    return true;
                }
                while (!file.atEnd()) {
                    const QByteArray chunk = file.read(1 << 20);
                    if (chunk.isEmpty() && file.error() != QFileDevice::NoError) {
                        unreadable << f.drivePath + ": " + file.errorString();
                        unreadFiles.insert(f.drivePath);
                        return true;
                    }
                    hasher.add(chunk);
                }
                out.insert(f.drivePath, {f.size, hasher.result()});
                return true;
            });
        unreadable << summary.skipped;
        unreadFolders << summary.skippedFolders;
        if (summary.capped) {
            unreadable
                << QString("%1: stopped after %2 files").arg(drive.letter).arg(summary.files);
            partlyWalked.insert(drive.letter.toUpper());
        }
        if (summary.stopped)
            return false;
    }
    return true;
}

int Check::create() {
    Fingerprint::File file;
    file.algorithm = request.algorithm;
    file.stride = request.stride;
    QStringList letters;
    for (const DriveMap::Drive& drive : request.drives)
        letters << QString(drive.letter) + u':';
    file.drives = letters.join(u';');
    if (!fingerprint(file, file.entries)) {
        say("Cancelled by the user; the fingerprint file was not changed.");
        return ExitCancelled;
    }
    for (const QString& problem : unreadable)
        say("Not fingerprinted: " + problem);
    QSaveFile out(request.fingerprints);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(Fingerprint::Write(file, request.keyword)) < 0 || !out.commit()) {
        say("Cannot write the fingerprint file " + request.fingerprints + ": " + out.errorString());
        return ExitNoFile;
    }
    if (line.has("LOUD"))
        for (auto it = file.entries.begin(); it != file.entries.end(); ++it)
            say(it.key() + "  " + it->value);
    say(QString("Fingerprints of %1 files written to %2.")
            .arg(file.entries.size())
            .arg(QFileInfo(request.fingerprints).fileName()));
    return unreadable.isEmpty() ? ExitSame : ExitNotRead;
}

int Check::verify() {
    QString error;
    const auto bytes = Program::ReadFile(request.fingerprints, 256 << 20, error);
    if (!bytes) {
        say("Cannot read the fingerprint file " + request.fingerprints + ": " + error);
        return ExitNoFile;
    }
    bool damaged = false;
    const auto stored = Fingerprint::Read(*bytes, request.keyword, error, &damaged);
    if (!stored) {
        say(error);
        return damaged ? ExitDamaged : ExitNoFile;
    }
    if (!stored->checksummed)
        say("Note: the fingerprint file was written by an earlier version of the checker and "
            "carries no checksum, so damage to it cannot be told from changed files. Compute "
            "the fingerprints again to give it one.");
    if (!stored->sealed && !request.keyword.isEmpty())
        say("Note: the fingerprint file carries no keyword seal.");
    if (stored->algorithm != request.algorithm)
        say("Note: the fingerprints were made with /" + Fingerprint::Name(stored->algorithm) +
            "; they are checked that way.");
    QMap<QString, Fingerprint::Entry> now;
    if (!fingerprint(*stored, now)) {
        say("Cancelled by the user.");
        return ExitCancelled;
    }
    for (const QString& problem : unreadable)
        say("Not checked: " + problem);
    int changed = 0, added = 0, missing = 0, same = 0;
    for (auto it = now.begin(); it != now.end(); ++it) {
        const auto before = stored->entries.find(it.key());
        if (before == stored->entries.end()) {
            ++added;
            say("New: " + it.key());
        } else if (before->value != it->value || before->size != it->size) {
            ++changed;
            say("Changed: " + it.key());
        } else {
            ++same;
            if (line.has("LOUD"))
                say("Unchanged: " + it.key());
        }
    }
    for (auto it = stored->entries.begin(); it != stored->entries.end(); ++it) {
        const QChar letter = it.key().at(0).toUpper();
        const bool onDrive = std::any_of(request.drives.begin(), request.drives.end(),
                                         [&](const auto& d) { return d.letter == letter; });
        if (onDrive && !now.contains(it.key()) && !notRead(it.key())) {
            ++missing;
            say("Missing: " + it.key());
        }
    }
    report.add(QString());
    say(QString("Unchanged: %1, changed: %2, new: %3, missing: %4, not checked: %5")
            .arg(same)
            .arg(changed)
            .arg(added)
            .arg(missing)
            .arg(unreadable.size()));
    if ((changed || added || missing) && line.has("BEEP"))
        session.beep();
    // A change is the news; only without one does what was not read set the level.
    if (changed || added || missing)
        return ExitChanged;
    return unreadable.isEmpty() ? ExitSame : ExitNotRead;
}

int Check::run() {
    QElapsedTimer clock;
    clock.start();
    QStringList letters;
    for (const DriveMap::Drive& drive : request.drives)
        letters << QString(drive.letter) + u':';
    say("Drives: " + letters.join(u' '));
    say("Fingerprint file: " + request.fingerprints);
    say("Algorithm: /" + Fingerprint::Name(request.algorithm) +
        (request.stride > 1 ? QString(", turbo mode: one byte in every %1").arg(request.stride)
                            : QString(", every byte")));
    say(QString("Keyword: ") + (request.keyword.isEmpty() ? "none" : "given"));
    if (!line.has("NOBOOT") || !line.has("NOPART"))
        say("Boot sectors and partitions: not read by this version of the checker.");
    if (line.has("PRINTOUT"))
        say("Printing: the checker does not print; see the report file.");
    report.add(QString());
    const bool creating = line.has("CREATE");
    const int code = creating ? create() : verify();
    say(QString("Time: %1 s").arg(clock.nsecsElapsed() / 1e9, 0, 'f', 3));
    QString result = code == ExitCancelled ? QString("Cancelled.")
                     : code == ExitNoFile  ? QString("The fingerprint file could not be used.")
                     : code == ExitDamaged
                         ? QString("The fingerprint file is damaged: nothing was compared.")
                     : creating            ? QString("Fingerprints computed.")
                     : code == ExitChanged ? QString("Changes found.")
                                           : QString("No changes found.");
    if (code == ExitNotRead)
        result += " Some files or folders could not be read.";
    report.add(result);
    return session.finish(result, Program::WriteReport(session, report, code), false);
}

} // namespace

int main(int argc, char** argv) {
    Session session(argc, argv, "ViVerify");
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), Switches);
    Report report(line.value("REPORT"), false);
    QString shown = line.text();
    if (line.has("X")) // the keyword is a secret: the window and the report do not show it
        shown.replace(line.value("X"), "********");
    session.asked("WViVer32.exe " + shown);
    session.setPreventExit(line.has("NOCANCEL"));
    Program::BeginReport(report, "ViVerify", shown);
    QStringList errors = line.errors();
    std::optional<Request> request;
    if (errors.isEmpty())
        request = Understand(line, errors);
    if (!request)
        return Program::Refuse(session, report, errors, false);
    return Check(session, report, line, *request).run();
}
