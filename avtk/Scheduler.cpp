// Scheduler ("TK_Sched.exe", started without arguments): this version keeps no schedule yet and
// says so.
#include "lib/Program.h"
#include "lib/Report.h"
#include "lib/Session.h"
#include "lib/Switches.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    Session session(argc, argv, "Scheduler");
    const CommandLine line = CommandLine::Parse(QCoreApplication::arguments().mid(1), {});
    Report none({}, false);
    session.asked("TK_Sched.exe " + line.text());
    if (!line.ok())
        return Program::Refuse(session, none, line.errors(), false);
    session.line("This version of the toolkit's scheduler keeps no schedule and starts nothing "
                 "yet.");
    return session.finish("No schedule to edit.", 0, false);
}
