#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <compare>
#include <vector>

// A place in a report's text: a line and a column in its decoded text (UTF-16 units).
struct ReportPosition {
    qsizetype line = 0;
    qsizetype column = 0;
    auto operator<=>(const ReportPosition&) const = default;
};

// A report's text as the report view shows it. It keeps the file's bytes as read and decodes a
// line only when it is asked for: UTF-8 when the whole file is valid UTF-8 (a byte-order mark
// is not part of the text), otherwise Windows-1252. A line ends at CR LF, a lone CR or a lone
// LF; a text with n line ends has n + 1 lines, the last one empty when the text ends with one.
class ReportText {
public:
    // An empty text: one empty line.
    ReportText();
    explicit ReportText(QByteArray bytes);

    qsizetype lineCount() const { return count; }
    // The line without its line end.
    QString line(qsizetype index) const;
    // Up to count lines from first on.
    QStringList lines(qsizetype first, qsizetype count) const;
    // The text between two positions, lines joined by "\n"; a column past its line's end stands
    // for the end.
    QString text(ReportPosition from, ReportPosition to) const;
    QString toPlainText() const;
    ReportPosition end() const;

    // The text as characters (UTF-16 units), each line end one "\n" as in text(): the offsets a
    // screen reader reads by. The first of these counts the characters before each checkpoint
    // once (a pass over the bytes, without decoding); after that each is a short scan.
    qsizetype characterCount() const;
    qsizetype offsetOf(ReportPosition position) const;
    // The position of an offset, clamped to the text.
    ReportPosition positionOf(qsizetype offset) const;

private:
    // A line whose first byte is known; one at least every LinesPerCheckpoint lines and every
    // BytesPerCheckpoint bytes, so that any line is found after a short scan from the one
    // before it, whatever the lines' lengths.
    struct Checkpoint {
        qsizetype line;
        qsizetype offset;
    };
    qsizetype lineStart(qsizetype index) const;
    // The offset of the line end (CR or LF) of the line starting at start, or the size.
    qsizetype lineEnd(qsizetype start) const;
    // The start of the line after the line end at end.
    qsizetype nextLine(qsizetype end) const;
    QString decode(qsizetype from, qsizetype to) const;
    // The characters the bytes from..to decode to.
    qsizetype charactersIn(qsizetype from, qsizetype to) const;
    // The characters before each checkpoint's line, counted when first asked for.
    const std::vector<qsizetype>& charactersBefore() const;

    QByteArray bytes;
    bool utf8 = true;
    qsizetype count = 1;
    std::vector<Checkpoint> checkpoints;
    // Only a screen reader asks for offsets: counted for it alone, not for every report read.
    mutable std::vector<qsizetype> checkpointCharacters;
    mutable qsizetype characters = -1;
};
