// The toolkit programs' command lines from plain option values, as a program that reads a
// definition from the store fills them: the options the page offers only with another (and
// therefore disables) must count as off without it here too.
#include "core/CommandLines.h"
#include "core/TextForms.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString Folder = "/opt/avtk/";

struct ScanRow {
    const char* what;
    std::function<void(ScanOptions&)> set;
    QString switches;
};

TEST(CommandLinesTest, ScanSwitchesFollowTheStoredValues) {
    const QString defaults = " /NOPACK /BEEP";
    const ScanRow rows[] = {
        {"the defaults", [](ScanOptions&) {}, " /AD" + defaults},
        {"local drives", [](ScanOptions& o) { o.drives = DriveChoice::Local; },
         " /LOCAL" + defaults},
        {"listed drives",
         [](ScanOptions& o) {
             o.drives = DriveChoice::Listed;
             o.driveText = "cD";
         },
         " /D=c:;D:" + defaults},
        {"data files without programs count as off",
         [](ScanOptions& o) {
             o.exe = false;
             o.data = o.archives = o.compressed = true;
         },
         " /AD /NOFILES /NOPACK /BEEP"},
        {"data files with programs",
         [](ScanOptions& o) { o.data = o.archives = o.compressed = true; },
         " /AD /DOALLFILES /U /PACK /BEEP"},
        {"no boot sectors hides the partition switch",
         [](ScanOptions& o) { o.boot = o.partition = false; }, " /AD /NOPACK /NOBOOT /BEEP"},
        {"a floppy in the drive text offers the floppies option",
         [](ScanOptions& o) {
             o.drives = DriveChoice::Listed;
             o.driveText = "ac";
         },
         " /D=a:;c: /NOPACK /ONEONLY /BEEP"},
        {"the drive text counts whatever the choice, as the page keeps it",
         [](ScanOptions& o) { o.driveText = "b"; }, " /AD /NOPACK /ONEONLY /BEEP"},
        {"every floppy",
         [](ScanOptions& o) {
             o.driveText = "b";
             o.floppies = true;
         },
         " /AD" + defaults},
        {"both heuristics", [](ScanOptions& o) { o.programH = o.macroH = true; },
         " /AD /NOPACK /BEEP /ANALYSE"},
        {"appending without a report counts as off", [](ScanOptions& o) { o.appendReport = true; },
         " /AD" + defaults},
        {"a report appended", [](ScanOptions& o) { o.report = o.appendReport = true; },
         " /AD /NOPACK /BEEP /REPORT=FindViru.Rep /APPEND"},
        {"chosen files are single arguments",
         [](ScanOptions& o) {
             o.checkList = "my list";
             o.extraDrv = "x";
         },
         " /AD /NOPACK /BEEP /C=\"my list.lst\" /EXTRA=x.drv"},
    };
    for (const ScanRow& row : rows) {
        ScanOptions options;
        row.set(options);
        EXPECT_EQ(ScanCommandLine(Folder, options), Folder + "WFindV32.exe" + row.switches)
            << row.what;
    }
}

TEST(CommandLinesTest, RepairAndCleanerSwitches) {
    RepairOptions repair;
    EXPECT_EQ(RepairCommandLine(Folder, repair), Folder + "WFindV32.exe /AD");
    repair.drives = DriveChoice::Listed;
    repair.driveText = "c";
    repair.appendReport = true; // without a report: off
    repair.deleteFiles = true;
    EXPECT_EQ(RepairSwitches(repair), " /D=c: /REPAIR /DELETE");
    repair.report = true;
    repair.checkList = "a\"b";
    EXPECT_EQ(RepairSwitches(repair),
              " /D=c: /REPAIR /DELETE /REPORT=Repair.Rep /APPEND /C=\"a\\\"b.lst\"");

    EXPECT_EQ(CleanBootArguments({}), " a: /A");
    EXPECT_EQ(CleanBootCommandLine(Folder, {.driveB = true, .type = DiskType::Mb144}),
              Folder + "CleanBoo.exe b: /4");
}

TEST(CommandLinesTest, ViVerifyLeavesOutWhatThePageRefuses) {
    CheckOptions check;
    check.driveText = "c";
    check.keyword = "short";
    // A keyword too short to use is left out; the page refuses it before starting anything.
    EXPECT_EQ(ViVerifyCommandLine(Folder, CheckAction::Verify, check, "/p/Prints/Daily"),
              Folder + "WViVer32.exe /D=c: /FF=\"/p/Prints/Daily\" /N=5 /BEEP");
    check.keyword = "long enough";
    check.algorithm = FingerprintAlgorithm::Des;
    check.turbo = false;
    EXPECT_EQ(ViVerifyCommandLine(Folder, CheckAction::Compute, check, "/p/Prints/Daily"),
              Folder + "WViVer32.exe /CREATE /D=c: /X=\"long enough\" /FF=\"/p/Prints/Daily\" /DES "
                       "/NT /N=5 /BEEP");
    check.useKeyword = false;
    check.driveText.clear();
    EXPECT_EQ(ViVerifyCommandLine({}, CheckAction::Verify, check, "D"),
              "WViVer32.exe /NOPSW /FF=\"D\" /DES /NT /N=5 /BEEP");
}

TEST(CommandLinesTest, AByteIntervalIsAWholeNumberAboveZeroOfAnyLength) {
    const struct {
        QString stored, kept;
    } rows[] = {{"5", "5"}, {"12", "12"}, {"", ""}, {"0", ""}, {"x", ""}, {"1.5", ""}};
    for (const auto& row : rows)
        EXPECT_EQ(AcceptedByteInterval(row.stored), row.kept) << row.stored.toStdString();
}

TEST(CommandLinesTest, AProgramInAFolderWithABlankIsQuoted) {
    EXPECT_EQ(WithProgramQuoted("/opt/Dr S/", "/opt/Dr S/WFindV32.exe /AD"),
              "\"/opt/Dr S/WFindV32.exe\" /AD");
    EXPECT_EQ(WithProgramQuoted("/opt/avtk/", "/opt/avtk/WFindV32.exe /AD"),
              "/opt/avtk/WFindV32.exe /AD");
    EXPECT_EQ(WithProgramQuoted("/opt/a\"b c/", "/opt/a\"b c/x"), "/opt/a\"b c/x");
}

TEST(CommandLinesTest, TheDriveFilterKeepsLettersAndDropsARepeatedOne) {
    const struct {
        QString text;
        int caret;
        DriveTextEdit result;
    } rows[] = {
        {"c", 1, {"c", 1, false}},   // too short to filter
        {"c1", 0, {"c", 0, true}},   // set by code: caret at the start
        {"cdC", 3, {"cd", 2, true}}, // a letter typed again, in the other case
        {"cC", 1, {"C", 0, true}},   // the typed letter goes, not the older one
        {"c:d", 3, {"cd", 2, true}}, // a colon typed before the letter
        {"cd", 2, {"cd", 2, false}},
        {"\u00e9c", 0, {"c", 0, true}}, // only ASCII letters are drives
        {"c:::", 4, {"c", 1, true}},    // the caret stays inside what is left
    };
    for (const auto& row : rows)
        EXPECT_EQ(FilterDriveText(row.text, row.caret), row.result) << row.text.toStdString();
}

} // namespace
