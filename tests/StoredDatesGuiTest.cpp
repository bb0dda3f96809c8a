#include "definitions/Common.h"

#include <QDateTime>

#include <gtest/gtest.h>

// Stored date-times come from a store anyone may have edited: a day count that no date can have
// reads as never, and every number gives some text without undefined arithmetic.
TEST(StoredDatesGuiTest, DayCountsOutsideTheCalendarReadAsNever) {
    struct Row {
        const char* text;
        double value;
    };
    const Row rows[] = {
        {"1E300", 0},
        {"-1E300", 0},
        {"2958466", 0},
        {"-693594", 0},
        {"9.2E18", 0},
        {"2958465.5", 2958465.5},
        {"-693593.25", -693593.25},
        {"35711.5", 35711.5},
    };
    const QDateTime now(QDate(1997, 10, 9), QTime(15, 5));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const double value = DateTimeFromText(row.text);
        EXPECT_EQ(value, row.value);
        const QString text = LastRunText(value, now);
        if (value == 0)
            EXPECT_EQ(text, "Unknown.");
        else
            EXPECT_EQ(text.isEmpty(), value > ToDateTime(now)); // nothing for a later date
    }
    EXPECT_EQ(FromDateTime(1e300).date(), QDate(9999, 12, 31));
    EXPECT_EQ(FromDateTime(-1e300).date(), QDate(1, 1, 1));
}
