// The readers of stored texts: integers, flags, numbers and date-times, and what the pages do
// with a date-time read from the store (its last-run text).
#include "core/LastRun.h"
#include "core/TextForms.h"

#include <QDateTime>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto integer = ParseIntegerText(text);
    // A flag falls back to its default exactly when the text is not a number.
    Check(FlagFromText(text, false) == FlagFromText(text, true) || !integer);
    if (integer)
        Check(FlagFromText(text, false) == (*integer != 0));

    if (const auto number = ParseFloatText(text)) {
        Check(std::isfinite(*number));
        // The general format keeps 15 significant digits, and reads back as it was written.
        const auto again = ParseFloatText(FloatText(*number));
        Check(again && std::fabs(*again - *number) <= std::fabs(*number) * 1e-14);
    }

    const double dateTime = DateTimeFromText(text);
    Check(std::isfinite(dateTime));
    const QDateTime now(QDate(1997, 10, 9), QTime(15, 5));
    (void)LastRunText(dateTime, now);
    (void)DateTimeText(dateTime);
    return 0;
}
