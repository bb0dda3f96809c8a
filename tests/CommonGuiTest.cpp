#include "support/FormFixture.h"

#include "definitions/Common.h"
#include "platform/VallorinError.h"

#include <cmath>

namespace {

double At(int year, int month, int day, int hour, int minute) {
    return ToDateTime(QDateTime(QDate(year, month, day), QTime(hour, minute)));
}

QDateTime Now(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

struct LastRunRow {
    double stored;
    QDateTime now;
    const char* text;
};

TEST(LastRunText, RelativeToTheCalendarDayOfNow) {
    const QDateTime thursday = Now(1997, 10, 9, 18, 0);
    const LastRunRow rows[] = {
        // The examples on Thursday 9 October 1997.
        {0, thursday, "Unknown."},
        {At(1997, 10, 9, 15, 5), thursday, "Today at 3:05pm"},
        {At(1997, 10, 8, 0, 30), thursday, "Yesterday at 12:30am"},
        {At(1997, 10, 3, 9, 0), thursday, "Last Friday at 9:00am"},
        {At(1997, 10, 2, 12, 15), thursday, "Last Thursday at 12:15pm"},
        {At(1997, 10, 1, 12, 15), thursday, "Wednesday 1 October 1997 12:15pm"},
        // Across midnight only the calendar days count.
        {At(1997, 10, 8, 23, 59), Now(1997, 10, 9, 0, 1), "Yesterday at 11:59pm"},
        {At(1997, 10, 9, 0, 1), Now(1997, 10, 9, 23, 59), "Today at 12:01am"},
        {At(1997, 10, 9, 12, 0), thursday, "Today at 12:00pm"},
        // Month and year ends.
        {At(1997, 9, 30, 10, 0), Now(1997, 10, 1, 8, 0), "Yesterday at 10:00am"},
        {At(1997, 9, 28, 10, 0), Now(1997, 10, 3, 8, 0), "Last Sunday at 10:00am"},
        {At(1997, 12, 31, 23, 0), Now(1998, 1, 1, 1, 0), "Yesterday at 11:00pm"},
        {At(1996, 2, 29, 9, 0), Now(1996, 3, 1, 9, 0), "Yesterday at 9:00am"},
        {At(1997, 9, 9, 9, 0), thursday, "Tuesday 9 September 1997 9:00am"},
        // Seven days back is still "Last", eight is the full date.
        {At(1997, 10, 2, 23, 59), thursday, "Last Thursday at 11:59pm"},
        {At(1997, 10, 1, 23, 59), thursday, "Wednesday 1 October 1997 11:59pm"},
        // After today (the clock was set back).
        {At(1997, 10, 10, 0, 0), thursday, ""},
        // A time on the first day of the count is a real date, not "never".
        {1E-5, thursday, "Saturday 30 December 1899 12:00am"},
        {0.5, thursday, "Saturday 30 December 1899 12:00pm"},
    };
    for (const LastRunRow& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(LastRunText(row.stored, row.now), row.text);
    }
}

TEST(TextForms, IntegersAndFlags) {
    const std::pair<const char*, std::optional<qint32>> rows[] = {
        {"$1F", 31},           {"0x1F", 31},       {"0X1f", 31},
        {"0x", std::nullopt},  {" -3", -3},        {"+7", 7},
        {"12a", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
        {"$", std::nullopt},   {"$FFFFFFFF", -1},  {"2147483648", std::nullopt},
        {"1 ", std::nullopt},
    };
    for (const auto& [text, value] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseIntegerText(text), value);
    }
    EXPECT_TRUE(FlagFromText("2", false));
    EXPECT_FALSE(FlagFromText("0", true));
    EXPECT_TRUE(FlagFromText("0x", true)) << "not a number: the default";
    EXPECT_FALSE(FlagFromText("yes", false));
    EXPECT_EQ(FlagText(true), "1");
    EXPECT_EQ(FlagText(false), "0");
}

TEST(TextForms, FloatsInTheGeneralFormat) {
    const std::pair<double, const char*> rows[] = {
        {35710.6409722222, "35710.6409722222"},
        {1E-5, "1E-5"},
        {4.42615029219009E-5, "4.42615029219009E-5"},
        {1E15, "1E15"},
        {999999999999999, "999999999999999"},
        {0.0001, "0.0001"},
        {0, "0"},
        {-1.25, "-1.25"},
        {35710, "35710"},
    };
    for (const auto& [value, text] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FloatText(value), text);
        EXPECT_DOUBLE_EQ(ParseFloatText(text).value_or(NAN), value);
    }
    EXPECT_DOUBLE_EQ(ParseFloatText("35710,6409722222").value_or(NAN), 35710.6409722222);
    EXPECT_DOUBLE_EQ(ParseFloatText(" 1E-5 ").value_or(NAN), 1E-5);
    EXPECT_FALSE(ParseFloatText("today"));
    EXPECT_EQ(DateTimeFromText("never"), 0);
    EXPECT_EQ(DateTimeFromText("0.0"), 0);
}

TEST(TextForms, DateTimesCountDaysFromTheEpoch) {
    EXPECT_NEAR(At(1997, 10, 7, 15, 23), 35710.6409722222, 1E-9);
    EXPECT_EQ(FromDateTime(35710.6409722222), Now(1997, 10, 7, 15, 23));
    EXPECT_EQ(DateTimeText(At(1997, 10, 7, 15, 23)), "35710.6409722222");
}

class DriveValidationTest : public FormFixture {};

TEST_F(DriveValidationTest, OnlyReadyDrivesPass) {
    prefix.mapDrive('c', prefix.folder());
    prefix.mapDrive('d', prefix.path("missing-dir"));
    start();
    const std::pair<const char*, const char*> rows[] = {
        {"c", nullptr}, {"C", nullptr}, {"cq", " Q"}, {"cdq", " D Q"}, {"qq", " Q Q"}};
    for (const auto& [text, bad] : rows) {
        SCOPED_TRACE(text);
        prompts.clear();
        EXPECT_EQ(ValidateDrives(*form, text), bad == nullptr);
        if (bad) {
            ASSERT_EQ(prompts.messages.size(), 1);
            EXPECT_EQ(prompts.messages[0].kind, MessageKind::Error);
            EXPECT_EQ(prompts.messages[0].text,
                      QString("The following drives you have chosen\rare not ready or are not "
                              "valid:\r\r") +
                          bad);
        } else {
            EXPECT_TRUE(prompts.messages.isEmpty());
        }
    }
    EXPECT_THROW(ValidateDrives(*form, "1"), VallorinError);
    EXPECT_EQ(FormatDriveList("cD"), "c:;D:");
    EXPECT_EQ(FormatDriveList("c"), "c:");
    EXPECT_EQ(FormatDriveList(""), "");
}

} // namespace
