#include "LastRun.h"

#include "core/TextForms.h"

#include <QLocale>

namespace {

QString ClockText(const QTime& time) {
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QString("%1:%2%3")
        .arg(hour)
        .arg(time.minute(), 2, 10, QChar('0'))
        .arg(time.hour() < 12 ? "am" : "pm");
}

} // namespace

QString LastRunText(double dateTime, const QDateTime& now) {
    if (dateTime == 0)
        return QStringLiteral("Unknown.");
    const QDateTime when = FromDateTime(dateTime);
    const qint64 days = when.date().daysTo(now.date());
    const QLocale locale;
    const QString weekday = locale.dayName(when.date().dayOfWeek(), QLocale::LongFormat);
    if (days < 0)
        return {};
    if (days == 0)
        return "Today at " + ClockText(when.time());
    if (days == 1)
        return "Yesterday at " + ClockText(when.time());
    if (days <= 7)
        return "Last " + weekday + " at " + ClockText(when.time());
    return QString("%1 %2 %3 %4 %5")
        .arg(weekday)
        .arg(when.date().day())
        .arg(locale.monthName(when.date().month(), QLocale::LongFormat))
        .arg(when.date().year(), 4, 10, QChar('0'))
        .arg(ClockText(when.time()));
}
