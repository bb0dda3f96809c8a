// CleanBoo ("CleanBoo.exe drive: /type"): reads the boot sector of the floppy disk or disk image
// that drive A: or B: stands for, scans it with the toolkit's engine, checks its sanity, makes
// sure the disk is a FAT floppy, and on the user's word writes a clean boot sector, saving the
// old one first and reading the new one back.
#include "engine/SharedEngine.h"
#include "lib/BootSector.h"
#include "lib/DriveMap.h"
#include "lib/Floppy.h"
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <optional>

namespace {

using BootSector::FloppyType;

// Exit levels: the boot sector is clean (as found, or written and verified); something was
// found and left as it was; writing failed or was not possible; the run was refused.
constexpr int ExitClean = 0, ExitLeft = 1, ExitNotWritten = 2;

const QList<SwitchSpec> Switches = {{"A"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}};
const QString ReportName = QStringLiteral("CleanBoo.Rep");

// The type switch: a type, or nothing for /A (from the medium).
std::optional<FloppyType> TypeSwitch(const CommandLine& line, QStringList& errors) {
    const QList<std::pair<QString, std::optional<FloppyType>>> types = {
        {"A", std::nullopt},      {"1", FloppyType::Kb360}, {"2", FloppyType::Mb12},
        {"3", FloppyType::Kb720}, {"4", FloppyType::Mb144}, {"5", FloppyType::Mb288}};
    std::optional<FloppyType> type;
    int given = 0;
    for (const auto& [name, value] : types)
        if (line.has(name)) {
            type = value;
            ++given;
        }
    if (given != 1)
        errors << "Give one disk type: /A, /1, /2, /3, /4 or /5.";
    return type;
}

// What was done about a virus, by the run's exit level: with a virus, only a clean sector
// written and read back ends clean.
QString CleaningAction(int code, const QString& savedSector) {
    if (code == ExitClean)
        return "cleaned; old sector saved as " + QFileInfo(savedSector).fileName() + '.';
    return code == ExitLeft ? QString("left as it was.") : QString("not cleaned.");
}

class Cleaning {
public:
    Cleaning(Session& session, Report& report) : session(session), report(report) {}

    int run(const DriveMap::Drive& drive, std::optional<FloppyType> type);

private:
    void say(const QString& text) {
        session.line(text);
        report.add(text);
    }
    // Ends the run; the virus's finding then says what was done about it, the result why.
    int end(const QString& result, int code) {
        if (found >= 0)
            session.setFindingAction(found, CleaningAction(code, savedSector));
        report.add(QString());
        report.add(result);
        return session.finish(result, Program::WriteReport(session, report, code), false);
    }
    // The sector's scan: a virus name, empty when none is known; a note when it was not scanned.
    QString scan(const QByteArray& sector, const QString& shown, QString& note);

    Session& session;
    Report& report;
    int found = -1;      // the window's finding of a virus, if any
    QString savedSector; // the file of the old sector, once it is saved
};

QString Cleaning::scan(const QByteArray& sector, const QString& shown, QString& note) {
    QStringList failures;
    const avtk::ObtainedScanner obtained = avtk::ObtainScanner(
        Program::ToolkitFolder(), {}, [&](const QString& failure) { failures << failure; },
        [&](const QString& line) { say(line); });
    for (const QString& failure : failures)
        say("Signatures: " + failure);
    if (obtained.loaded.signatures == 0) {
        note = "not scanned: no signatures could be loaded";
        return {};
    }
    if (!obtained.compileError.isEmpty()) {
        note = "not scanned: " + obtained.compileError;
        return {};
    }
    const avtk::ScanResult result =
        obtained.scanner->scan(sector.constData(), size_t(sector.size()), shown.toStdString(), {});
    for (const QString& line : obtained.scanner->takeNotes())
        say(line);
    if (result.kind == avtk::ScanResult::Failed)
        note = "not scanned: " + result.problem;
    return result.kind == avtk::ScanResult::Infected ? result.finding.virus : QString();
}

int Cleaning::run(const DriveMap::Drive& drive, std::optional<FloppyType> type) {
    const QString letter = QString(drive.letter) + u':';
    QString error;
    const std::optional<Floppy::Medium> medium = Floppy::FindMedium(drive, error);
    if (!medium)
        return Program::Refuse(session, report, {error}, false);
    say(QString("Drive %1 stands for %2 (%3, %4 bytes).")
            .arg(letter, drive.root, medium->device ? "a disk" : "a disk image")
            .arg(medium->bytes));
    const std::optional<QByteArray> head = Floppy::ReadHead(medium->path, error);
    if (!head)
        return Program::Refuse(
            session, report,
            {QString("The boot sector of %1 could not be read: %2.").arg(letter, error)}, false);
    const QByteArray old = head->left(BootSector::Size);

    const QString shown = letter + " boot sector";
    QString note;
    const QString virus = scan(old, shown, note);
    if (!virus.isEmpty()) {
        say(shown + "  Infected: " + virus);
        found = session.finding(shown, virus, "found");
    } else {
        say(shown + (note.isEmpty() ? QString("  no known virus") : "  " + note));
    }
    const BootSector::Sanity sanity = BootSector::Check(old, medium->bytes);
    say(QString("Jump instruction: %1.").arg(sanity.jump ? "present" : "missing"));
    say(sanity.bpbProblems.isEmpty()
            ? QString("BIOS parameter block: sound.")
            : "BIOS parameter block: damaged (" + sanity.bpbProblems.join("; ") + ").");
    say(QString("Boot-sector mark 55 AA: %1.").arg(sanity.mark ? "present" : "missing"));
    const bool wrong = !virus.isEmpty() || !sanity.sound();

    // Only a disk known to be a FAT floppy gets a floppy's boot sector: on anything else the
    // first sector may be what its own file system or partition table needs.
    const BootSector::Recognition recognised = BootSector::Recognise(*head, medium->bytes);
    if (!recognised.cleanable())
        return end(QString("Drive %1 holds %2, not a FAT floppy disk; nothing was written.")
                       .arg(letter, recognised.found),
                   Program::RefusedExitCode);
    const BootSector::Bpb bpb = Floppy::BpbToWrite(old, recognised);
    if (recognised.type)
        say("The disk's two file allocation tables show a " +
            BootSector::TypeName(*recognised.type) +
            " disk: the clean sector gets that type's standard parameter block.");
    else
        say("The clean sector keeps the disk's own parameter block.");
    // The switch can only confirm the type: a block of another type would hide the disk's files.
    if (type && BootSector::TypeOfSize(medium->bytes) != type) {
        const QString question =
            QString("The disk holds %1 bytes, which is not a %2 disk. Clean it all the same, "
                    "as the disk it is?")
                .arg(medium->bytes)
                .arg(BootSector::TypeName(*type));
        report.add(question);
        if (!session.ask(question, true)) {
            say("Answer: no.");
            return end("The disk's size contradicts its type; nothing was written.",
                       wrong ? ExitLeft : ExitClean);
        }
        say("Answer: yes.");
    }
    if (medium->readOnly)
        return end(QString("%1 is read-only; nothing was written.").arg(drive.root),
                   wrong ? ExitNotWritten : ExitClean);

    const QString question =
        wrong ? QString("Write a clean boot sector to drive %1?").arg(letter)
              : QString("The boot sector of drive %1 is sound and holds no known virus. Write a "
                        "clean boot sector all the same?")
                    .arg(letter);
    report.add(question);
    if (!session.ask(question, true)) {
        say("Answer: no.");
        return end(wrong ? "The boot sector was left as it was." : "Nothing was written.",
                   wrong ? ExitLeft : ExitClean);
    }
    say("Answer: yes.");

    const Floppy::Written written = Floppy::WriteClean(*medium, old, bpb);
    if (written.failure == Floppy::Written::NotSaved)
        return end("The old boot sector could not be saved (" + written.error +
                       "), so nothing was written.",
                   ExitNotWritten);
    savedSector = written.saved;
    say("The old boot sector was saved in " + written.saved + '.');
    say("To put it back: dd if=\"" + written.saved + "\" of=\"" + drive.root +
        "\" bs=512 count=1 conv=notrunc");
    if (written.failure == Floppy::Written::NotWritten)
        return end("The clean boot sector could not be written: " + written.error + '.',
                   ExitNotWritten);
    if (written.failure == Floppy::Written::NotReadBack) {
        QString sentence = written.error + '.';
        sentence[0] = sentence[0].toUpper();
        return end(sentence, ExitNotWritten);
    }
    say("The clean boot sector was written and read back.");
    return end(QString("The boot sector of drive %1 is clean.").arg(letter), ExitClean);
}

} // namespace

int main(int argc, char** argv) {
    Session session(argc, argv, "CleanBoo");
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), Switches, 1);
    Report report(ReportName, false);
    Program::BeginReport(report, "CleanBoo", line.text());
    session.asked("CleanBoo.exe " + line.text());
    QStringList errors = line.errors();
    const QString drive = line.positionals().value(0).toUpper();
    if (drive != u"A:" && drive != u"B:")
        errors << "Give the floppy drive first: a: or b:.";
    const std::optional<FloppyType> type = TypeSwitch(line, errors);
    if (!errors.isEmpty())
        return Program::Refuse(session, report, errors, false);
    const std::optional<DriveMap::Drive> mapped =
        DriveMap::Find(DriveMap::PrefixFolder(), drive[0], true);
    if (!mapped)
        return Program::Refuse(
            session, report,
            {QString("Drive %1 is not ready: no disk or disk image is mapped to it.").arg(drive)},
            false);
    Cleaning cleaning(session, report);
    return cleaning.run(*mapped, type);
}
