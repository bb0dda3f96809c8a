#pragma once

#include "core/ReportText.h"

#include <QAbstractScrollArea>
#include <QCache>
#include <QTextLayout>

#include <memory>
#include <vector>

class QAccessibleInterface;

// A read-only view of a report's text that looks and scrolls as a read-only plain-text edit
// without word wrap, but lays out only the lines in sight: a report of a gigabyte shows as
// soon as it is read, and scrolling anywhere in it costs a screenful of lines. The text can be
// selected with the mouse, selected whole (Ctrl+A) and copied (Ctrl+C, context menu).
class ReportView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ReportView(QWidget* parent = nullptr);

    // Replaces what the view shows; scrolled to the top, nothing selected.
    void setReport(ReportText text);
    const ReportText& report() const { return shown; }
    QString toPlainText() const { return shown.toPlainText(); }

    bool hasSelection() const { return anchor != cursor; }
    QString selectedText() const;
    void selectAll();
    void copy() const;

    // The selection runs from its anchor to the caret, where the last click or drag ended; the
    // view draws no caret of its own, but a screen reader reads from it.
    ReportPosition selectionAnchor() const { return anchor; }
    ReportPosition caret() const { return cursor; }
    // Selects from one position to another (the same: nothing selected, the caret there) and
    // scrolls the caret into sight.
    void select(ReportPosition from, ReportPosition to);
    // The position under a point of the viewport, and a character's box in the viewport.
    ReportPosition positionAt(QPoint point);
    QRect characterRect(ReportPosition position);
    // Scrolls a position into sight.
    void scrollTo(ReportPosition position);

    // What a screen reader is given: the text as shown, its lines, caret and selection.
    static QAccessibleInterface* accessibleInterface(ReportView* view);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const QTextLayout& layout(qsizetype line);
    // Widens the horizontal scroll bar to the group of lines around line, when not yet done.
    void measure(qsizetype line);
    void forgetLayouts();
    qreal topMargin() const;
    // Tells a screen reader where the caret and the selection now are.
    void announceCaret();
    // Lines that fit whole in the viewport, as the scroll bar's page.
    int linesPerPage() const;
    void adjustScrollBars();
    void fontChanged();

    ReportText shown;
    ReportPosition anchor;
    ReportPosition cursor;
    qreal lineHeight = 1;
    qreal glyphHeight = 1;
    // The widest line laid out so far, which the horizontal scroll bar covers.
    qreal widest = 0;
    std::vector<bool> measured;
    QCache<qsizetype, QTextLayout> layouts;
    // The last line laid out that was too long to be kept with the others.
    std::unique_ptr<QTextLayout> oversized;
};
