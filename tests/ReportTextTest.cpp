#include "core/ReportText.h"
#include "platform/FileSystem.h"

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
