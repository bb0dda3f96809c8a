#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <optional>

// When a scheduled task runs, and that schedule as the desktop's schedulers write it: a systemd
// calendar expression, a crontab time field. Pure functions.
namespace Schedule {

enum class Kind { Logon, Hourly, Daily, Weekly, Monthly };

struct When {
    Kind kind = Kind::Daily;
    QTime time = QTime(0, 0); // daily, weekly, monthly: the time of day; hourly: its minute
    QList<int> weekdays;      // weekly: 1 (Monday) to 7 (Sunday), sorted, no repeats
    int day = 1;              // monthly: the day of the month, 1 to 31
    bool operator==(const When&) const = default;
};

// The stored text and back: "logon", "hourly :15", "daily 08:30", "weekly Mon,Fri 08:30",
// "monthly 31 02:00". Parse gives nothing, with the reason, for any other text.
QString Text(const When& when);
std::optional<When> Parse(const QString& text, QString& error);
// For the window: "at log-in", "every hour at :15", "daily at 08:30", "every Mon, Fri at 08:30",
// "monthly on day 31 at 02:00 (months without it are skipped)".
QString Description(const When& when);

// The first run strictly after `after`, in the zone's local time; nothing for a log-in task. A
// local time that the clock skips (the spring change) runs at the first moment after the skip
// (02:30 becomes 03:30 when 02:00 jumps to 03:00); a time the clock passes twice (the autumn
// change) runs once, the first time. A day of the month that a month lacks (31 in April) is
// skipped in that month, as systemd and cron do.
std::optional<QDateTime> NextRun(const When& when, const QDateTime& after, const QTimeZone& zone);

// systemd's OnCalendar= expression ("*-*-* 08:30:00"); empty for a log-in task, which has no
// timer.
QString OnCalendar(const When& when);
// The five time fields of a crontab line ("30 8 * * *"), or "@reboot" for a log-in task: cron
// knows no log-in, so the task runs when cron starts.
QString CronTime(const When& when);

} // namespace Schedule
