#include "support/ModalDialog.h"

#include "platform/qt/QtPrompts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// How each way of ending a Yes/No box answers: Escape is the box's No, while the close box is
// an answer of its own, so that a caller that stops only on No goes on.
TEST(QtPromptsTest, AYesNoBoxTellsItsCloseBoxFromEscape) {
    const struct {
        const char* way;
        std::function<void(QMessageBox&)> end;
        MessageAnswer answer;
    } rows[] = {
        {"close box", [](QMessageBox& box) { box.close(); }, MessageAnswer::Cancel},
        {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
         MessageAnswer::No},
        {"No",
         [](QMessageBox& box) {
             for (QAbstractButton* button : box.buttons()) {
                 if (box.buttonRole(button) == QMessageBox::NoRole)
                     button->click();
             }
         },
         MessageAnswer::No},
        {"Enter", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); },
         MessageAnswer::Yes},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.way);
        QtPrompts prompts;
        std::optional<MessageAnswer> answer;
        const ModalRun run = DriveModal<QMessageBox>(
            [&] {
                answer = prompts.message(MessageKind::Warning, "Go on?", MessageButtons::YesNo);
            },
            row.end);
        EXPECT_TRUE(run.opened);
        EXPECT_FALSE(run.leftOpen);
        EXPECT_EQ(answer, row.answer);
    }
}

// With a Cancel button the close box and Escape both answer Cancel.
TEST(QtPromptsTest, AYesNoCancelBoxAnswersCancelToItsCloseBoxAndEscape) {
    for (const bool closeBox : {true, false}) {
        QtPrompts prompts;
        std::optional<MessageAnswer> answer;
        DriveModal<QMessageBox>(
            [&] {
                answer =
                    prompts.message(MessageKind::Confirm, "Save?", MessageButtons::YesNoCancel);
            },
            [&](QMessageBox& box) {
                if (closeBox)
                    box.close();
                else
                    QTest::keyClick(&box, Qt::Key_Escape);
            });
        EXPECT_EQ(answer, MessageAnswer::Cancel) << (closeBox ? "close box" : "Escape");
    }
}

} // namespace
