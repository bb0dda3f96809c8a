#pragma once

#include "sched/Tasks.h"

#include <QString>

// Puts tasks into the desktop's own scheduler and takes them out again: systemd user timers
// where `systemctl --user` answers, else the user's crontab. The programs are found on PATH, so
// that tests give their own.
namespace Desktop {

enum class Kind { Systemd, Crontab };

// Asks `systemctl --user` whether a user service manager runs.
Kind Available();
QString KindText(Kind kind); // "systemd" or "crontab"
// For the window: "Tasks run from systemd user timers (~/.config/systemd/user)." and the like.
QString Explanation(Kind kind);

// The folder of the user's unit files: $XDG_CONFIG_HOME/systemd/user, by default under
// ~/.config.
QString UnitFolder();

// Installs the task's units or crontab line (replacing its earlier ones); an error sentence, or
// empty. `program` is the scheduler, `prefix` the folder its runs work in. A failure can leave
// the units half made: the caller takes them out or installs the earlier task again.
QString Install(Kind kind, const Tasks::Task& task, const QString& program, const QString& prefix);
// Takes the task's units or line out again, nothing else; an error sentence, or empty.
QString Uninstall(Kind kind, const QString& taskName);

} // namespace Desktop
