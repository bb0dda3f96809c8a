// The toolkit programs' window, offscreen: progress, findings, Stop and Close.
#include "window/ProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

TEST(ToolkitWindow, ShowsProgressAndFindings) {
    ProgressWindow window("FindVirus");
    window.show();
    EXPECT_EQ(window.progressBar()->maximum(), 0); // still counting
    window.setProgress(5, 20);
    EXPECT_EQ(window.progressBar()->maximum(), 20);
    EXPECT_EQ(window.progressBar()->value(), 5);
    // Counts beyond what an int holds keep their proportion.
    window.setProgress(qint64(3) << 32, qint64(4) << 32);
    EXPECT_NEAR(double(window.progressBar()->value()) / window.progressBar()->maximum(), 0.75,
                0.001);
    window.setCurrent("T:\\tools\\eicar.com");
    EXPECT_EQ(window.currentLabel()->text(), "T:\\tools\\eicar.com");
    EXPECT_FALSE(window.findingsList()->isVisible());
    window.addFinding("T:\\tools\\eicar.com", "EICAR-Test-File", "renamed to eicar.VIR.");
    EXPECT_TRUE(window.findingsList()->isVisible());
    ASSERT_EQ(window.findingsList()->topLevelItemCount(), 1);
    EXPECT_EQ(window.findingsList()->topLevelItem(0)->text(1), "EICAR-Test-File");
    EXPECT_EQ(window.findingsList()->topLevelItem(0)->text(2), "renamed to eicar.VIR.");
    EXPECT_TRUE(window.elapsedText().startsWith("Elapsed: 0:0"));
}

TEST(ToolkitWindow, StopAndCloseFollowTheRunAndPreventExit) {
    struct Row {
        bool prevent;
        bool stoppable;
    };
    for (const Row row : {Row{false, true}, Row{true, false}}) {
        SCOPED_TRACE(row.prevent);
        ProgressWindow window("FindVirus");
        window.show();
        window.setPreventExit(row.prevent);
        EXPECT_EQ(window.stopButton()->text(), "&Stop");
        EXPECT_EQ(window.stopButton()->isEnabled(), row.stoppable);
        // Closing the window while it works stops the work (unless prevented); the window stays.
        EXPECT_FALSE(window.close());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.stopRequested(), row.stoppable);
        window.setDone("No viruses found in 3 files.");
        EXPECT_EQ(window.currentLabel()->text(), "No viruses found in 3 files.");
        EXPECT_EQ(window.stopButton()->text(), "&Close");
        EXPECT_TRUE(window.stopButton()->isEnabled());
        EXPECT_EQ(window.progressBar()->value(), window.progressBar()->maximum());
        QTest::mouseClick(window.stopButton(), Qt::LeftButton);
        EXPECT_FALSE(window.isVisible());
    }
    ProgressWindow window("FindVirus");
    window.show();
    QTest::mouseClick(window.stopButton(), Qt::LeftButton);
    EXPECT_TRUE(window.stopRequested());
    EXPECT_TRUE(window.isVisible());
}

} // namespace
