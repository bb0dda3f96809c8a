#include "platform/FileSystem.h"
#include "shell/ReportText.h"
#include "shell/ReportView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList AllLines(const ReportText& text) {
    return text.lines(0, text.lineCount());
}

// What the file's text is as one string with "\n" line ends.
QString Normalised(const QByteArray& bytes) {
    QString text = FileSystem::DecodeText(bytes);
    text.replace("\r\n", "\n").replace('\r', '\n');
    return text;
}

} // namespace

TEST(ReportText, SplitsLinesAndDecodesAsTheWholeFileDecodes) {
    struct Row {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    };
    const Row rows[] = {
        {"empty file", "", {""}},
        {"no line end", "one", {"one"}},
        {"LF at the end", "one\n", {"one", ""}},
        {"CR LF", "one\r\ntwo", {"one", "two"}},
        {"lone CR", "one\rtwo\r", {"one", "two", ""}},
        {"LF CR is two line ends", "one\n\rtwo", {"one", "", "two"}},
        {"CR CR LF", "one\r\r\ntwo", {"one", "", "two"}},
        {"empty lines", "\n\r\n\r", {"", "", "", ""}},
        {"UTF-8", "caf\xc3\xa9\r\n\xe2\x80\x9cx\xe2\x80\x9d", {u"café"_qs, u"“x”"_qs}},
        {"UTF-8 mark dropped", "\xef\xbb\xbfone\ntwo", {"one", "two"}},
        {"only a UTF-8 mark", "\xef\xbb\xbf", {""}},
        {"Windows-1252", "caf\xe9\r\n\x80 \x93x\x94", {u"café"_qs, u"€ “x”"_qs}},
        // One invalid byte on the last line decodes the first line as Windows-1252 too.
        {"invalid late", "caf\xc3\xa9\nend \xff", {u"cafÃ©"_qs, u"end ÿ"_qs}},
        {"mark in a Windows-1252 file", "\xef\xbb\xbfx\x80", {u"ï»¿x€"_qs}},
        {"a cut UTF-8 character", "ab\xe2\x80", {u"abâ€"_qs}},
        {"line separators are not line ends",
         "a\xe2\x80\xa8"
         "b",
         {u"a\u2028b"_qs}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ReportText text(row.bytes);
        EXPECT_EQ(text.lineCount(), row.lines.size());
        EXPECT_EQ(AllLines(text), row.lines);
        EXPECT_EQ(text.toPlainText(), Normalised(row.bytes));
    }
}

TEST(ReportText, FindsEveryLineOfALongTextWithLinesOfAnyLength) {
    // Lines from empty to far longer than the stretch between two known line starts, mixed
    // line ends: each line found by number is the one written there.
    QByteArray bytes;
    QStringList expected;
    const char* const ends[] = {"\r\n", "\n", "\r"};
    for (int n = 0; n < 5000; ++n) {
        QByteArray line = "line " + QByteArray::number(n);
        if (n % 997 == 5)
            line += QByteArray(200000 + n, 'x');
        else if (n % 7 == 0)
            line.clear();
        bytes += line + ends[n % 3];
        expected.append(QString::fromLatin1(line));
    }
    expected.append("");
    const ReportText text(bytes);
    ASSERT_EQ(text.lineCount(), expected.size());
    for (qsizetype n = 0; n < expected.size(); n += 1 + n % 5)
        ASSERT_EQ(text.line(n), expected[n]) << "line " << n;
    EXPECT_EQ(text.lines(4990, 100), expected.mid(4990));
    EXPECT_EQ(text.lines(-3, 2), (QStringList{expected[0], expected[1]}));
    EXPECT_EQ(text.line(expected.size()), "");
    EXPECT_EQ(text.toPlainText(), expected.join('\n'));
}

TEST(ReportText, TextBetweenTwoPlaces) {
    // "😀" is two UTF-16 units: columns count units, as the view's do.
    const ReportText text("first line\r\nsecond \xf0\x9f\x98\x80 line\nthird");
    struct Row {
        ReportPosition from, to;
        QString expected;
    };
    const Row rows[] = {
        {{0, 6}, {0, 10}, "line"},
        {{0, 6}, {1, 3}, "line\nsec"},
        {{1, 3}, {0, 6}, "line\nsec"}, // either order
        {{1, 7}, {1, 9}, u"😀"_qs},
        {{0, 0}, {2, 99}, u"first line\nsecond 😀 line\nthird"_qs}, // past the end: the end
        {{1, 99}, {2, 2}, "\nth"},
        {{2, 5}, {2, 5}, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(text.text(row.from, row.to), row.expected);
    EXPECT_EQ(text.end(), (ReportPosition{2, 5}));
    EXPECT_EQ(ReportText().toPlainText(), "");
}

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
