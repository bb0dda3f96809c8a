#include "shell/ReportView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

class ReportViewTest : public ::testing::Test {
protected:
    ReportViewTest() {
        view.resize(369, 290);
        view.show();
        QApplication::processEvents();
    }
    void show(const QByteArray& bytes) {
        view.setReport(ReportText(bytes));
        QApplication::processEvents();
    }
    // The middle of the given line in sight (0 the top line shown), x pixels from the left.
    QPoint at(int row, int x) const {
        const int height = view.fontMetrics().height();
        return {x, 4 + row * height + height / 2};
    }
    QScrollBar* vertical() const { return view.verticalScrollBar(); }
    ReportView view;
};

TEST_F(ReportViewTest, SelectsAllAndCopiesWithTheKeys) {
    show("one\r\ntwo\rthree\n");
    QApplication::clipboard()->clear();
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), ""); // nothing selected, nothing copied
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "one\ntwo\nthree\n");
}

TEST_F(ReportViewTest, SelectsWithTheMouse) {
    show("alpha\nbravo\ncharlie\n");
    QWidget* viewport = view.viewport();
    // From left of the first line's text to far right of the second's.
    QTest::mousePress(viewport, Qt::LeftButton, {}, at(0, 0));
    QTest::mouseMove(viewport, at(1, 300));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at(1, 300));
    EXPECT_EQ(view.selectedText(), "alpha\nbravo");
    // Shift and a click extend the selection from where it began.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, at(2, 300));
    EXPECT_EQ(view.selectedText(), "alpha\nbravo\ncharlie");
    // A double click selects the word under the mouse.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at(2, 12));
    EXPECT_EQ(view.selectedText(), "charlie");
    // A click elsewhere starts again with nothing selected.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at(1, 0));
    EXPECT_FALSE(view.hasSelection());
    // Another report drops the selection.
    view.selectAll();
    show("delta");
    EXPECT_FALSE(view.hasSelection());
}

TEST_F(ReportViewTest, TheContextMenuCopiesAndSelectsAll) {
    show("one\ntwo");
    QContextMenuEvent event(QContextMenuEvent::Mouse, at(0, 5), view.mapToGlobal(at(0, 5)));
    QApplication::sendEvent(view.viewport(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts.append(action->text().section('\t', 0, 0));
    EXPECT_EQ(texts, (QStringList{"&Copy", "", "Select All"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    menu->actions()[2]->trigger();
    menu->close();
    EXPECT_EQ(view.selectedText(), "one\ntwo");
}

TEST_F(ReportViewTest, ScrollsThroughEveryLine) {
    QByteArray bytes;
    for (int n = 0; n < 1000; ++n)
        bytes += "line " + QByteArray::number(n) + "\r\n";
    show(bytes);
    // The last page holds the last lines, the empty one after the final line end included.
    EXPECT_EQ(vertical()->maximum() + vertical()->pageStep(), 1001);
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(vertical()->value(), vertical()->maximum());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(0, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, at(1, 300));
    EXPECT_EQ(view.selectedText(), "line " + QString::number(vertical()->value()) + "\nline " +
                                       QString::number(vertical()->value() + 1));
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(vertical()->value(), 0);
    // Another report starts at its top.
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_GT(vertical()->value(), 0);
    show(bytes);
    EXPECT_EQ(vertical()->value(), 0);
}

TEST_F(ReportViewTest, TheHorizontalBarCoversAVeryLongLine) {
    show("short\nshort");
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    const QByteArray longLine(100000, 'w');
    show("short\n" + longLine + "\tend\nshort");
    const int range = view.horizontalScrollBar()->maximum();
    EXPECT_GT(range, view.fontMetrics().horizontalAdvance(QString(longLine)) / 2);
    view.horizontalScrollBar()->setValue(range);
    view.viewport()->repaint();
    // The end of the line is where the bar ends: a click there selects up to it.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(1, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      at(1, view.viewport()->width() - 1));
    EXPECT_TRUE(view.selectedText().endsWith("w\tend"))
        << view.selectedText().right(10).toStdString();
}
