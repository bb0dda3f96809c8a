// The helper that drives modal dialogs: whatever goes wrong, the test goes on and says why.
#include "support/ModalDialog.h"

#include <QDialog>
#include <QFileDialog>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

TEST(ModalDialogTest, ADialogLeftOpenIsClosed) {
    QDialog dialog;
    int acted = 0;
    const ModalRun run = DriveModal<QDialog>([&] { dialog.exec(); }, [&](QDialog&) { ++acted; });
    EXPECT_TRUE(run.opened);
    EXPECT_TRUE(run.leftOpen);
    EXPECT_EQ(acted, 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ModalDialogTest, NoDialogFailsTheTest) {
    ModalRun run;
    EXPECT_NONFATAL_FAILURE(run = DriveModal<QDialog>([] {}, [](QDialog&) {}),
                            "the dialog did not open modally");
    EXPECT_FALSE(run.opened);
}

TEST(ModalDialogTest, ADialogOfAnotherKindFailsTheTestAfterTheTimeoutInsteadOfHanging) {
    QDialog other;
    ModalRun run;
    EXPECT_NONFATAL_FAILURE(
        run = DriveModal<QFileDialog>([&] { other.exec(); }, [](QFileDialog&) {}, 200ms),
        "a modal dialog of another kind stayed up");
    EXPECT_FALSE(run.opened);
    EXPECT_FALSE(other.isVisible());
}

} // namespace
