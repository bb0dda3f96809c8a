#pragma once

#include <QDateTime>
#include <QString>

// "Unknown.", "Today at 3:05pm", "Yesterday at ...", "Last Friday at ...", the full date, or
// empty for a date after today.
QString LastRunText(double dateTime, const QDateTime& now);
