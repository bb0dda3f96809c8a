#include "platform/Drives.h"

#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(Drives, RootsComeFromTheDriveMap) {
    TempPrefix t;
    QDir().mkpath(t.path("drive_d"));
    t.mapDrive('c', "/");
    t.mapDrive('d', t.path("drive_d"));
    QFile::link("../drive_d", t.path("dosdevices/e:"));      // relative target
    QFile::link(t.path("drive_d"), t.path("dosdevices/F:")); // made by hand, upper case
    QDir().mkpath(t.path("dosdevices/g:"));                  // a folder, not a link
    struct Case {
        QChar letter;
        QString root;
    } const cases[] = {
        {'c', "/"},
        {'C', "/"},
        {'d', t.path("drive_d")},
        {'e', t.path("drive_d")},
        {'f', t.path("drive_d")},
        {'g', t.path("dosdevices/g:")},
        {'q', ""},
        {'1', ""},
        {':', ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Drives::DriveRoot(t.folder(), c.letter), c.root) << c.letter.toLatin1();
    // The prefix folder may be given without its trailing "/".
    EXPECT_EQ(Drives::DriveRoot(t.folder().chopped(1), 'd'), t.path("drive_d"));
}

TEST(Drives, OnlyAMappingToAReadableFolderIsReady) {
    TempPrefix t;
    QDir().mkpath(t.path("drive_d"));
    t.mapDrive('c', "/");
    t.mapDrive('d', t.path("drive_d"));
    t.mapDrive('e', t.path("gone"));                // dangling
    t.mapDrive('f', t.writeFile("plain.txt", "x")); // a file, not a folder
    QDir().mkpath(t.path("dosdevices/g:"));
    t.writeFile("dosdevices/h:", "x"); // the entry itself is a file
    QFile::link(t.path("dosdevices/i:"), t.path("dosdevices/i:.tmp"));
    QFile::rename(t.path("dosdevices/i:.tmp"), t.path("dosdevices/i:")); // a link to itself
    struct Case {
        QChar letter;
        bool ready;
    } const cases[] = {
        {'c', true}, {'C', true},  {'d', true},  {'D', true},  {'e', false}, {'f', false},
        {'g', true}, {'h', false}, {'i', false}, {'q', false}, {'1', false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Drives::DriveRootReady(t.folder(), c.letter), c.ready) << c.letter.toLatin1();
}

TEST(Drives, NativePathsFollowTheDriveMap) {
    TempPrefix t;
    QDir().mkpath(t.path("drive_d"));
    t.mapDrive('c', "/");
    t.mapDrive('d', t.path("drive_d/"));
    const QString d = t.path("drive_d");
    const std::pair<QString, QString> cases[] = {
        {"C:\\AVTK\\", "/AVTK/"},
        {"c:\\avtk\\WFindV32.exe", "/avtk/WFindV32.exe"},
        {"C:", "/"},
        {"C:\\", "/"},
        {"D:\\Prints\\Daily.vvf", d + "/Prints/Daily.vvf"},
        {"d:Prints", d + "/Prints"},
        {"D:/mixed\\separators", d + "/mixed/separators"},
        {"Q:\\AVTK\\", "Q:/AVTK/"},
        {"\\no\\drive", "/no/drive"},
        {"relative\\path", "relative/path"},
        {"/already/native", "/already/native"},
        {"1:\\x", "1:/x"},
        {"", ""},
    };
    for (const auto& [path, native] : cases)
        EXPECT_EQ(Drives::NativePath(t.folder(), path), native) << path.toStdString();
}

} // namespace
