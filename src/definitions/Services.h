#pragma once

#include "definitions/Dialogs.h"
#include "platform/Help.h"
#include "platform/ProgramStart.h"
#include "platform/Prompts.h"

#include <QDateTime>
#include <QString>

#include <functional>

// What the main window is given from outside: where it lives and every seam to the user and
// the system. The program passes the real ones, the tests scripted and recording ones.
struct Services {
    QString prefixFolder; // with a trailing "/"
    QString programPath;  // the program's own executable
    Prompts& prompts;
    ProgramStarter& starter;
    HelpService& help;
    Dialogs& dialogs;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};
