#include "sched/Schedule.h"

#include <QRegularExpression>

#include <algorithm>

namespace Schedule {

namespace {

const QStringList DayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString Clock(const QTime& time) {
    return time.toString("hh:mm");
}

QStringList Weekdays(const When& when) {
    QStringList names;
    for (int day : when.weekdays)
        names << DayNames[day - 1];
    return names;
}

// The local date and time as one instant. A time the clock skips is moved forward by the skip; a
// time the clock passes twice is the first of the two. Both are the time read with the offset
// that held before the change.
QDateTime Local(const QDate& date, const QTime& time, const QTimeZone& zone) {
    const int offsetBefore = zone.offsetFromUtc(QDateTime(date.addDays(-1), QTime(12, 0), zone));
    const QDateTime before = QDateTime(date, time, Qt::UTC).addSecs(-offsetBefore).toTimeZone(zone);
    const QDateTime at(date, time, zone);
    if (!at.isValid() || at.date() != date || at.time() != time)
        return before; // in the skipped hour
    return before.date() == date && before.time() == time && before < at ? before : at;
}

bool DayMatches(const When& when, const QDate& date) {
    switch (when.kind) {
    case Kind::Daily:
        return true;
    case Kind::Weekly:
        return when.weekdays.contains(date.dayOfWeek());
    case Kind::Monthly:
        return date.day() == when.day;
    default:
        return false;
    }
}

} // namespace

QString Text(const When& when) {
    switch (when.kind) {
    case Kind::Logon:
        return "logon";
    case Kind::Hourly:
        return QString("hourly :%1").arg(when.time.minute(), 2, 10, QChar(u'0'));
    case Kind::Daily:
        return "daily " + Clock(when.time);
    case Kind::Weekly:
        return "weekly " + Weekdays(when).join(u',') + ' ' + Clock(when.time);
    case Kind::Monthly:
        return QString("monthly %1 ").arg(when.day) + Clock(when.time);
    }
    return {};
}

std::optional<When> Parse(const QString& text, QString& error) {
    static const QRegularExpression pattern(
        R"(^(logon|hourly :(\d\d)|daily (\d\d:\d\d)|weekly ([A-Za-z,]+) (\d\d:\d\d)|monthly (\d{1,2}) (\d\d:\d\d))$)");
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch()) {
        error = QString("\"%1\" is no schedule: give logon, hourly :MM, daily HH:MM, weekly "
                        "Mon,Fri HH:MM or monthly DAY HH:MM")
                    .arg(text);
        return std::nullopt;
    }
    When when;
    const QString word = match.captured(1).section(u' ', 0, 0);
    const auto clock = [&](int group) {
        when.time = QTime::fromString(match.captured(group), "hh:mm");
        if (!when.time.isValid())
            error = QString("\"%1\" is no time of day").arg(match.captured(group));
    };
    if (word == u"logon") {
        when.kind = Kind::Logon;
    } else if (word == u"hourly") {
        when.kind = Kind::Hourly;
        const int minute = match.captured(2).toInt();
        if (minute > 59)
            error = QString(":%1 is no minute").arg(match.captured(2));
        when.time = QTime(0, minute % 60);
    } else if (word == u"daily") {
        clock(3);
    } else if (word == u"weekly") {
        when.kind = Kind::Weekly;
        clock(5);
        for (const QString& name : match.captured(4).split(u',')) {
            const int day = int(DayNames.indexOf(name)) + 1;
            if (day == 0)
                error = QString("\"%1\" is no day of the week (Mon to Sun)").arg(name);
            else if (!when.weekdays.contains(day))
                when.weekdays << day;
        }
        std::sort(when.weekdays.begin(), when.weekdays.end());
    } else {
        when.kind = Kind::Monthly;
        clock(7);
        when.day = match.captured(6).toInt();
        if (when.day < 1 || when.day > 31)
            error = QString("%1 is no day of a month").arg(when.day);
    }
    if (!error.isEmpty())
        return std::nullopt;
    return when;
}

QString Description(const When& when) {
    switch (when.kind) {
    case Kind::Logon:
        return "at log-in";
    case Kind::Hourly:
        return QString("every hour at :%1").arg(when.time.minute(), 2, 10, QChar(u'0'));
    case Kind::Daily:
        return "daily at " + Clock(when.time);
    case Kind::Weekly:
        return "every " + Weekdays(when).join(", ") + " at " + Clock(when.time);
    case Kind::Monthly:
        return QString("monthly on day %1 at %2%3")
            .arg(when.day)
            .arg(Clock(when.time), when.day > 28 ? " (months without it are skipped)" : "");
    }
    return {};
}

std::optional<QDateTime> NextRun(const When& when, const QDateTime& after, const QTimeZone& zone) {
    if (when.kind == Kind::Logon)
        return std::nullopt;
    const QDateTime local = after.toTimeZone(zone);
    if (when.kind == Kind::Hourly) {
        // Each local hour once: step whole hours of real time from the hour `after` lies in.
        QDateTime at = local.addSecs(-local.time().minute() * 60 - local.time().second())
                           .addMSecs(-local.time().msec())
                           .addSecs(when.time.minute() * 60);
        while (at <= after)
            at = at.addSecs(3600);
        return at;
    }
    // Monthly on the 31st finds its next month within 62 days; a weekly day within 7.
    for (int offset = 0; offset <= 400; ++offset) {
        const QDate date = local.date().addDays(offset);
        if (!DayMatches(when, date))
            continue;
        const QDateTime at = Local(date, when.time, zone);
        if (at > after)
            return at;
    }
    return std::nullopt;
}

QString OnCalendar(const When& when) {
    const QString clock = when.time.toString("hh:mm") + ":00";
    switch (when.kind) {
    case Kind::Logon:
        return {};
    case Kind::Hourly:
        return QString("*-*-* *:%1:00").arg(when.time.minute(), 2, 10, QChar(u'0'));
    case Kind::Daily:
        return "*-*-* " + clock;
    case Kind::Weekly:
        return Weekdays(when).join(u',') + " *-*-* " + clock;
    case Kind::Monthly:
        return QString("*-*-%1 ").arg(when.day, 2, 10, QChar(u'0')) + clock;
    }
    return {};
}

QString CronTime(const When& when) {
    const QString minuteHour = QString("%1 %2").arg(when.time.minute()).arg(when.time.hour());
    switch (when.kind) {
    case Kind::Logon:
        return "@reboot";
    case Kind::Hourly:
        return QString("%1 * * * *").arg(when.time.minute());
    case Kind::Daily:
        return minuteHour + " * * *";
    case Kind::Weekly: {
        QStringList days;
        for (int day : when.weekdays)
            days << QString::number(day % 7); // cron counts Sunday as 0
        return minuteHour + " * * " + days.join(u',');
    }
    case Kind::Monthly:
        return minuteHour + QString(" %1 * *").arg(when.day);
    }
    return {};
}

} // namespace Schedule
