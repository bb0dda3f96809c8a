// CleanBoo ("CleanBoo.exe drive: /type"): reads the boot sector of the floppy disk or disk image
// that drive A: or B: stands for, scans it with the toolkit's engine, checks its sanity, and on
// the user's word writes a clean boot sector, saving the old one first and reading the new one
// back.
#include "engine/Engine.h"
#include "engine/Signatures.h"
#include "engine/SystemError.h"
#include "lib/BootSector.h"
#include "lib/DriveMap.h"
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct Medium {
    std::string path;
    qint64 bytes = 0;
    bool device = false;
    bool readOnly = false;
};

// The drive's target as a floppy disk: a block device or an image file no larger than the largest
// floppy and at least one sector long. An error sentence otherwise.
std::optional<Medium> FloppyMedium(const DriveMap::Drive& drive, QString& error) {
    const QString letter = QString(drive.letter) + u':';
    if (drive.folder) {
        error = QString("Drive %1 stands for the folder %2, not a floppy disk or disk image; "
                        "nothing was written.")
                    .arg(letter, drive.root);
        return std::nullopt;
    }
    Medium medium;
    medium.path = QFile::encodeName(drive.root).toStdString();
    struct stat st;
    if (::stat(medium.path.c_str(), &st) != 0) {
        error = QString("Drive %1 (%2): %3.").arg(letter, drive.root, avtk::ErrnoText(errno));
        return std::nullopt;
    }
    medium.device = S_ISBLK(st.st_mode);
    medium.bytes = st.st_size;
    if (medium.device) {
        const int fd = ::open(medium.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        quint64 size = 0;
        const bool sized = fd >= 0 && ::ioctl(fd, BLKGETSIZE64, &size) == 0;
        const int sizeError = errno;
        if (fd >= 0)
            ::close(fd);
        if (!sized) {
            error =
                QString("Drive %1 (%2): %3.").arg(letter, drive.root, avtk::ErrnoText(sizeError));
            return std::nullopt;
        }
        medium.bytes = qint64(size);
    }
    const QString suffix = QFileInfo(drive.root).suffix().toLower();
    const bool imageName = suffix == u"img" || suffix == u"ima" || suffix == u"vfd";
    if (medium.bytes > BootSector::LargestFloppy)
        error = QString("Drive %1 (%2) holds %3 bytes, more than the largest floppy disk "
                        "(2.88 MB); nothing was written.")
                    .arg(letter, drive.root)
                    .arg(medium.bytes);
    else if (medium.bytes < BootSector::Size)
        error = QString("Drive %1 (%2) is shorter than one sector (%3 bytes); nothing was "
                        "written.")
                    .arg(letter, drive.root)
                    .arg(medium.bytes);
    else if (!medium.device && !imageName && !BootSector::TypeOfSize(medium.bytes))
        error = QString("Drive %1 (%2) is neither a disk image (.img, .ima, .vfd) nor a file of "
                        "a floppy disk's size; nothing was written.")
                    .arg(letter, drive.root);
    if (!error.isEmpty())
        return std::nullopt;
    // A file without write permission is one its owner protected: honoured even for root.
    medium.readOnly = !medium.device && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return medium;
}

std::optional<QByteArray> ReadBoot(const std::string& path, QString& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = avtk::ErrnoText(errno);
        return std::nullopt;
    }
    QByteArray sector(BootSector::Size, '\0');
    const ssize_t got = ::pread(fd, sector.data(), BootSector::Size, 0);
    const int readError = errno;
    ::close(fd);
    if (got != BootSector::Size) {
        error = got < 0 ? avtk::ErrnoText(readError) : QString("shorter than one sector");
        return std::nullopt;
    }
    return sector;
}

// Writes the sector at the start of the medium and makes it durable; an error sentence or empty.
QString WriteBoot(const std::string& path, const QByteArray& sector) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return avtk::ErrnoText(errno);
    const ssize_t put = ::pwrite(fd, sector.constData(), size_t(sector.size()), 0);
    int writeError = errno;
    const bool synced = put == sector.size() && ::fsync(fd) == 0;
    if (put == sector.size() && !synced)
        writeError = errno;
    ::close(fd);
    if (put != sector.size())
        return put < 0 ? avtk::ErrnoText(writeError) : QString("the sector was written in part");
    return synced ? QString() : avtk::ErrnoText(writeError);
}

// Saves the old sector in a new file beside the image (for a device, in the working folder):
// "<name>.boot.sav", or "<name>.boot.2.sav" and so on, never over an earlier one, which may
// hold the disk's first state. Returns the file's path, or nothing with the error.
std::optional<QString> SaveOld(const Medium& medium, const QByteArray& sector, QString& error) {
    const QFileInfo target(QFile::decodeName(medium.path.c_str()));
    const QString base =
        medium.device ? QDir::current().filePath(target.fileName()) : target.absoluteFilePath();
    for (int number = 1; number < 1000; ++number) {
        const QString path =
            base + (number == 1 ? QString(".boot.sav") : QString(".boot.%1.sav").arg(number));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists())
                continue;
            error = path + ": " + file.errorString();
            return std::nullopt;
        }
        if (file.write(sector) != sector.size() || !file.flush()) {
            error = path + ": " + file.errorString();
            file.remove();
            return std::nullopt;
        }
        return path;
    }
    error = base + ".boot.*.sav: too many saved sectors";
    return std::nullopt;
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
    avtk::Engine engine;
    QStringList failures;
    const avtk::LoadSummary loaded = avtk::LoadSignatures(
        engine, Program::ToolkitFolder(), {}, [&](const QString& failure) { failures << failure; });
    for (const QString& failure : failures)
        say("Signatures: " + failure);
    if (loaded.signatures == 0) {
        note = "not scanned: no signatures could be loaded";
        return {};
    }
    const QString compileError = engine.compile();
    if (!compileError.isEmpty()) {
        note = "not scanned: " + compileError;
        return {};
    }
    const avtk::ScanResult result =
        engine.scan(sector.constData(), size_t(sector.size()), shown.toStdString(), {});
    if (result.kind == avtk::ScanResult::Failed)
        note = "not scanned: " + result.problem;
    return result.kind == avtk::ScanResult::Infected ? result.finding.virus : QString();
}

int Cleaning::run(const DriveMap::Drive& drive, std::optional<FloppyType> type) {
    const QString letter = QString(drive.letter) + u':';
    QString error;
    const std::optional<Medium> medium = FloppyMedium(drive, error);
    if (!medium)
        return Program::Refuse(session, report, {error}, false);
    say(QString("Drive %1 stands for %2 (%3, %4 bytes).")
            .arg(letter, drive.root, medium->device ? "a disk" : "a disk image")
            .arg(medium->bytes));
    const std::optional<QByteArray> old = ReadBoot(medium->path, error);
    if (!old)
        return Program::Refuse(
            session, report,
            {QString("The boot sector of %1 could not be read: %2.").arg(letter, error)}, false);

    const QString shown = letter + " boot sector";
    QString note;
    const QString virus = scan(*old, shown, note);
    if (!virus.isEmpty()) {
        say(shown + "  Infected: " + virus);
        found = session.finding(shown, virus, "found");
    } else {
        say(shown + (note.isEmpty() ? "  no known virus" : "  " + note));
    }
    const BootSector::Sanity sanity = BootSector::Check(*old, medium->bytes);
    say(QString("Jump instruction: %1.").arg(sanity.jump ? "present" : "missing"));
    say(sanity.bpbProblems.isEmpty()
            ? QString("BIOS parameter block: sound.")
            : "BIOS parameter block: damaged (" + sanity.bpbProblems.join("; ") + ").");
    say(QString("Boot-sector mark 55 AA: %1.").arg(sanity.mark ? "present" : "missing"));
    const bool wrong = !virus.isEmpty() || !sanity.sound();

    // The parameter block to write: the disk's own when it is sound, else the type's standard.
    const std::optional<FloppyType> sized = BootSector::TypeOfSize(medium->bytes);
    if (type && sized != type) {
        const QString question =
            QString("The disk holds %1 bytes, which is not a %2 disk. Clean it as a %2 disk all "
                    "the same?")
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
    BootSector::Bpb bpb;
    if (sanity.bpbProblems.isEmpty()) {
        bpb = BootSector::ReadBpb(*old);
        say("The clean sector keeps the disk's own parameter block.");
    } else if (const std::optional<FloppyType> chosen = type ? type : sized) {
        bpb = BootSector::StandardBpb(*chosen);
        say("The clean sector gets the standard parameter block of a " +
            BootSector::TypeName(*chosen) + " disk.");
    } else {
        return end(QString("The parameter block is damaged and a disk of %1 bytes has no "
                           "standard type: give the type (/1 to /5). Nothing was written.")
                       .arg(medium->bytes),
                   ExitLeft);
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

    const std::optional<QString> saved = SaveOld(*medium, *old, error);
    if (!saved)
        return end("The old boot sector could not be saved (" + error +
                       "), so nothing was written.",
                   ExitNotWritten);
    savedSector = *saved;
    say("The old boot sector was saved in " + *saved + '.');
    say("To put it back: dd if=\"" + *saved + "\" of=\"" + drive.root +
        "\" bs=512 count=1 conv=notrunc");
    const QByteArray clean = BootSector::CleanSector(bpb, *old);
    const QString writeError = WriteBoot(medium->path, clean);
    if (!writeError.isEmpty())
        return end("The clean boot sector could not be written: " + writeError + '.',
                   ExitNotWritten);
    const std::optional<QByteArray> back = ReadBoot(medium->path, error);
    if (!back || *back != clean)
        return end(back ? QString("The boot sector read back differs from the one written.")
                        : "The boot sector could not be read back: " + error + '.',
                   ExitNotWritten);
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
