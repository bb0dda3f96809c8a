// Scheduler stand-in ("TK_Sched.exe", started without arguments): says that it keeps no schedule.
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    Session session(argc, argv, "Scheduler (stand-in)");
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), {});
    Report none({}, false);
    session.asked("TK_Sched.exe " + line.text());
    if (!line.ok())
        return Program::Refuse(session, none, line.errors(), false);
    session.line("This is a stand-in of the toolkit's scheduler. It keeps no schedule and starts "
                 "nothing; the toolkit's own scheduler would let you plan scans here.");
    return session.finish("No schedule to edit (stand-in).", 0, false);
}
