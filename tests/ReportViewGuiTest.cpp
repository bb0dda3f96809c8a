#include "shell/ReportView.h"

#include <QAccessible>
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

// What a screen reader reads: the text as the view shows it, by characters, words and lines.
TEST_F(ReportViewTest, AScreenReaderReadsTheTextByItsBoundaries) {
    struct Row {
        const char* what;
        QByteArray bytes;
        int offset;
        QAccessible::TextBoundaryType boundary;
        QString read;
        int start;
        int end;
    };
    const Row rows[] = {
        {"a line with its end", "one\r\ntwo\r\nthree", 5, QAccessible::LineBoundary, "two\n", 4, 8},
        {"the last line has no end", "one\r\ntwo\r\nthree", 9, QAccessible::LineBoundary, "three",
         8, 13},
        {"a lone CR ends a line", "a\rbc\ndef", 2, QAccessible::LineBoundary, "bc\n", 2, 5},
        {"an offset past the end reads the last line", "ab\ncd", 99, QAccessible::LineBoundary,
         "cd", 3, 5},
        {"a character", "one\r\ntwo", 4, QAccessible::CharBoundary, "t", 4, 5},
        {"a line end is one character", "one\r\ntwo", 3, QAccessible::CharBoundary, "\n", 3, 4},
        {"a character beyond 16 bits is two units", "x\xF0\x9F\x98\x80y\nz", 1,
         QAccessible::CharBoundary, QString::fromUtf8("\xF0\x9F\x98\x80"), 1, 3},
        {"lines after it count it as two", "x\xF0\x9F\x98\x80y\nz", 5, QAccessible::LineBoundary,
         "z", 5, 6},
        {"Windows-1252 bytes are a character each", "\x80uro\n\xE9t\xE9", 6,
         QAccessible::LineBoundary, QString::fromUtf8("\xC3\xA9t\xC3\xA9"), 5, 8},
        {"the byte-order mark is not text",
         "\xEF\xBB\xBF"
         "ab\ncd",
         3, QAccessible::LineBoundary, "cd", 3, 5},
        {"a word", "scan the drive", 6, QAccessible::WordBoundary, "the", 5, 8},
        {"the whole text", "ab\r\ncd", 1, QAccessible::NoBoundary, "ab\ncd", 0, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        show(row.bytes);
        QAccessibleTextInterface* text =
            QAccessible::queryAccessibleInterface(&view)->textInterface();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->characterCount(), view.toPlainText().size());
        EXPECT_EQ(text->text(0, text->characterCount()), view.toPlainText());
        int start = -1;
        int end = -1;
        EXPECT_EQ(text->textAtOffset(row.offset, row.boundary, &start, &end), row.read);
        EXPECT_EQ(start, row.start);
        EXPECT_EQ(end, row.end);
    }
}

TEST_F(ReportViewTest, AScreenReaderMovesTheCaretAndTheSelection) {
    show("first line\nsecond line\nthird");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&view);
    EXPECT_EQ(face->role(), QAccessible::EditableText);
    EXPECT_TRUE(face->state().readOnly);
    QAccessibleTextInterface* text = face->textInterface();
    int start = -1;
    int end = -1;
    EXPECT_EQ(text->textAfterOffset(3, QAccessible::LineBoundary, &start, &end), "second line\n");
    EXPECT_EQ(text->textBeforeOffset(14, QAccessible::LineBoundary, &start, &end), "first line\n");
    EXPECT_EQ(start, 0);
    text->setCursorPosition(14);
    EXPECT_EQ(view.caret(), (ReportPosition{1, 3}));
    EXPECT_EQ(text->cursorPosition(), 14);
    EXPECT_EQ(text->selectionCount(), 0);
    text->setSelection(0, 6, 17);
    EXPECT_EQ(view.selectedText(), "line\nsecond");
    text->selection(0, &start, &end);
    EXPECT_EQ(start, 6);
    EXPECT_EQ(end, 17);
    text->removeSelection(0);
    EXPECT_FALSE(view.hasSelection());
    // A point on the second line's third character reads as its offset.
    const QRect box = text->characterRect(13);
    EXPECT_EQ(text->offsetAtPoint(box.center()), 13);
}

// Offsets far into a long report come from the counted checkpoints, not from the lines in sight.
TEST_F(ReportViewTest, AScreenReaderReadsAnyLineOfALongReport) {
    QByteArray bytes;
    for (int line = 0; line < 100000; ++line)
        bytes += "line " + QByteArray::number(line) + (line % 3 ? "\r\n" : "\n");
    show(bytes);
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&view)->textInterface();
    const QString plain = view.toPlainText();
    const int last = int(plain.lastIndexOf("line 99999"));
    int start = -1;
    int end = -1;
    EXPECT_EQ(text->textAtOffset(last + 3, QAccessible::LineBoundary, &start, &end),
              "line 99999\n");
    EXPECT_EQ(start, last);
    text->setCursorPosition(last);
    EXPECT_EQ(view.caret(), (ReportPosition{99999, 0}));
    // Scrolled so that the line is the bottom one in sight.
    EXPECT_EQ(vertical()->value(), 99999 - vertical()->pageStep() + 1);
}
