#include "support/TempPrefix.h"

#include "store/SettingsStore.h"

#include <QProcess>

#include <gtest/gtest.h>

// Two instances of the program on one prefix, each adding, saving and listing its own scan
// definitions through the scan page while the other does the same: no error box, no lost save.
TEST(TwoInstancesGuiTest, BothWindowsSaveTheirDefinitionsWithoutAnError) {
    TempPrefix prefix;
    constexpr int Count = 40;
    const QString tags[2] = {"First", "Second"};
    QProcess instances[2];
    for (int i = 0; i < 2; ++i)
        instances[i].start(qEnvironmentVariable("VALLORIN_BIN") + "/vallorin-page-loop",
                           {prefix.folder(), tags[i], QString::number(Count)});
    for (QProcess& instance : instances) {
        ASSERT_TRUE(instance.waitForFinished(120000));
        EXPECT_EQ(instance.exitCode(), 0) << instance.readAllStandardOutput().toStdString();
    }
    SettingsStore store(prefix.folder());
    const QStringList names = store.keyNamesOf("Software\\Tesmarine\\Vallorin\\Find");
    for (const QString& tag : tags)
        for (int n = 0; n < Count; ++n)
            EXPECT_TRUE(names.contains(tag + QString::number(n)))
                << QString(tag + QString::number(n)).toStdString();
}
