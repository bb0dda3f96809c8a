// CleanBoo ("CleanBoo.exe drive: /type"): says what it was asked to clean. It reads and
// writes no disk sectors, so it changes nothing.
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>

namespace {

const QList<SwitchSpec> Switches = {{"A"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}};

QString TypeName(const CommandLine& line, QStringList& errors) {
    const QList<std::pair<QString, QString>> types = {{"A", "type detected automatically"},
                                                      {"1", "5.25\" 360 KB"},
                                                      {"2", "5.25\" 1.2 MB"},
                                                      {"3", "3.5\" 720 KB"},
                                                      {"4", "3.5\" 1.44 MB"},
                                                      {"5", "3.5\" 2.88 MB"}};
    QString name;
    int given = 0;
    for (const auto& [switchName, text] : types)
        if (line.has(switchName)) {
            name = text;
            ++given;
        }
    if (given != 1)
        errors << "Give one disk type: /A, /1, /2, /3, /4 or /5.";
    return name;
}

} // namespace

int main(int argc, char** argv) {
    Session session(argc, argv, "CleanBoo");
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), Switches, 1);
    Report none({}, false);
    session.asked("CleanBoo.exe " + line.text());
    QStringList errors = line.errors();
    const QString drive = line.positionals().value(0).toUpper();
    if (drive != u"A:" && drive != u"B:")
        errors << "Give the floppy drive first: a: or b:.";
    const QString type = TypeName(line, errors);
    if (!errors.isEmpty())
        return Program::Refuse(session, none, errors, false);
    session.line(QString("Asked to clean the boot sector of the floppy disk in drive %1 (%2).")
                     .arg(drive, type));
    session.line("This version of the toolkit's boot-sector cleaner reads and writes no disk "
                 "sectors yet, so nothing was changed.");
    return session.finish("Nothing was cleaned.", 0, false);
}
