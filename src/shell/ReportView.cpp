#include "ReportView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The margin Qt's text views keep around a document: lines start this far from the left.
constexpr qreal Margin = 4;
// The horizontal scroll bar's step, as in Qt's plain-text edit.
constexpr int HorizontalStep = 20;
// Laid-out lines kept, counted in characters: a few screens of ordinary lines, or the long
// lines in sight, without laying them out again on every paint.
constexpr int LaidOutCharacters = 4 * 1024 * 1024;
// The horizontal scroll bar covers the widest line seen so far; lines are measured in groups
// of this many, so that it seldom grows while scrolling. (The whole text would be exact, but
// measuring a gigabyte of lines would hold the window for a minute.)
constexpr qsizetype LinesPerGroup = 64;

// A line laid out as Qt's plain-text edit lays out a paragraph without wrapping.
QTextLayout* LayOut(QString text, const QFont& font) {
    // Within a line these would start another line of the layout; the file's lines end only
    // at its line ends.
    text.replace(QChar::LineSeparator, u' ').replace(QChar::ParagraphSeparator, u' ');
    auto* layout = new QTextLayout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    line.setLeadingIncluded(true);
    line.setLineWidth(qreal(INT_MAX) - 2 * Margin);
    line.setPosition(QPointF(Margin, 0));
    layout->endLayout();
    return layout;
}

} // namespace

ReportView::ReportView(QWidget* parent) : QAbstractScrollArea(parent), layouts(LaidOutCharacters) {
    viewport()->setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(HorizontalStep);
    fontChanged();
}

void ReportView::setReport(ReportText text) {
    shown = std::move(text);
    anchor = cursor = {};
    forgetLayouts();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    adjustScrollBars();
    viewport()->update();
    // A screen reader reads the new text from the interface; an update event would carry the
    // old and the new text whole.
    announceCaret();
}

QString ReportView::selectedText() const {
    return shown.text(std::min(anchor, cursor), std::max(anchor, cursor));
}

void ReportView::selectAll() {
    anchor = {};
    cursor = shown.end();
    viewport()->update();
    announceCaret();
}

void ReportView::select(ReportPosition from, ReportPosition to) {
    anchor = from;
    cursor = to;
    scrollTo(cursor);
    viewport()->update();
    announceCaret();
}

void ReportView::scrollTo(ReportPosition position) {
    QScrollBar* vertical = verticalScrollBar();
    const qsizetype first = vertical->value();
    const qsizetype page = linesPerPage();
    if (position.line < first)
        vertical->setValue(int(std::min<qsizetype>(position.line, INT_MAX)));
    else if (position.line >= first + page)
        vertical->setValue(int(std::min<qsizetype>(position.line - page + 1, INT_MAX)));
    const QRect box = characterRect(position);
    QScrollBar* horizontal = horizontalScrollBar();
    if (box.left() < 0)
        horizontal->setValue(horizontal->value() + box.left() - int(Margin));
    else if (box.right() >= viewport()->width())
        horizontal->setValue(horizontal->value() + box.right() - viewport()->width() + int(Margin));
}

QRect ReportView::characterRect(ReportPosition position) {
    position.line = std::clamp<qsizetype>(position.line, 0, shown.lineCount() - 1);
    const QTextLine line = layout(position.line).lineAt(0);
    const int column = int(std::clamp<qsizetype>(position.column, 0, line.textLength()));
    const qreal left = line.cursorToX(column) - horizontalScrollBar()->value();
    // The box of a line's end is as wide as a blank, where a text edit puts the caret.
    const qreal right = column < line.textLength()
                            ? line.cursorToX(column + 1) - horizontalScrollBar()->value()
                            : left + fontMetrics().horizontalAdvance(u' ');
    const qreal top =
        topMargin() + qreal(position.line - verticalScrollBar()->value()) * lineHeight;
    return QRectF(QPointF(left, top), QPointF(right, top + lineHeight)).toRect();
}

void ReportView::announceCaret() {
    if (!QAccessible::isActive())
        return;
    const int caretAt = int(std::min<qsizetype>(shown.offsetOf(cursor), INT_MAX));
    QAccessibleTextCursorEvent moved(this, caretAt);
    QAccessible::updateAccessibility(&moved);
    const qsizetype from = shown.offsetOf(std::min(anchor, cursor));
    const qsizetype to = shown.offsetOf(std::max(anchor, cursor));
    QAccessibleTextSelectionEvent selected(this, int(std::min<qsizetype>(from, INT_MAX)),
                                           int(std::min<qsizetype>(to, INT_MAX)));
    selected.setCursorPosition(caretAt);
    QAccessible::updateAccessibility(&selected);
}

void ReportView::copy() const {
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

const QTextLayout& ReportView::layout(qsizetype line) {
    measure(line);
    if (QTextLayout* cached = layouts.object(line))
        return *cached;
    std::unique_ptr<QTextLayout> laidOut(LayOut(shown.line(line), font()));
    const qsizetype cost = laidOut->text().size() + 1;
    if (cost > layouts.maxCost()) {
        // Longer than the whole cache: held for this use only.
        oversized = std::move(laidOut);
        return *oversized;
    }
    QTextLayout* kept = laidOut.release();
    layouts.insert(line, kept, cost);
    return *kept;
}

void ReportView::measure(qsizetype line) {
    const qsizetype group = line / LinesPerGroup;
    if (group >= qsizetype(measured.size()) || measured[group])
        return;
    measured[group] = true;
    qreal width = widest;
    for (const QString& text : shown.lines(group * LinesPerGroup, LinesPerGroup)) {
        const std::unique_ptr<QTextLayout> laidOut(LayOut(text, font()));
        width = std::max(width, laidOut->lineAt(0).naturalTextWidth() + 2 * Margin);
    }
    if (width > widest) {
        widest = width;
        // The scroll bar follows once the lines in hand are drawn.
        QMetaObject::invokeMethod(this, &ReportView::adjustScrollBars, Qt::QueuedConnection);
    }
}

qreal ReportView::topMargin() const {
    // As in Qt's plain-text edit: the document's top margin above the first line; scrolled,
    // the line above the top one ends at its glyphs' bottom, short of its full height.
    return verticalScrollBar()->value() == 0 ? Margin : lineHeight - glyphHeight;
}

int ReportView::linesPerPage() const {
    // As the plain-text edit counts them: what fits between the margins, less one pixel.
    const qreal room = viewport()->height() - 2 * Margin - 1;
    return std::max(1, int(std::floor(room / lineHeight)));
}

void ReportView::adjustScrollBars() {
    const int page = linesPerPage();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, int(std::clamp<qsizetype>(shown.lineCount() - page, 0, INT_MAX)));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
    // The lines in sight decide the width before the horizontal bar is set, as a shown view's
    // first paint would.
    const qsizetype first = vertical->value();
    for (qsizetype line = first; line < std::min(shown.lineCount(), first + page + 1); ++line)
        layout(line);
    // The last page too, which sets the vertical range in Qt's plain-text edit.
    measure(shown.lineCount() - 1);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, int(widest) - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
}

void ReportView::forgetLayouts() {
    layouts.clear();
    oversized.reset();
    measured.assign(size_t((shown.lineCount() + LinesPerGroup - 1) / LinesPerGroup), false);
    widest = 0;
}

void ReportView::fontChanged() {
    std::unique_ptr<QTextLayout> sample(LayOut(" ", font()));
    lineHeight = std::max<qreal>(1, sample->lineAt(0).height());
    glyphHeight = sample->lineAt(0).ascent() + sample->lineAt(0).descent();
    forgetLayouts();
    adjustScrollBars();
    viewport()->update();
}

void ReportView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const qsizetype first = verticalScrollBar()->value();
    const qreal left = -horizontalScrollBar()->value();
    const qreal margin = topMargin();
    const ReportPosition from = std::min(anchor, cursor);
    const ReportPosition to = std::max(anchor, cursor);
    QTextLayout::FormatRange selected;
    selected.format.setBackground(palette().brush(QPalette::Highlight));
    selected.format.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    for (qsizetype line = first; line < shown.lineCount(); ++line) {
        const qreal top = margin + qreal(line - first) * lineHeight;
        if (top > area.bottom())
            break;
        if (top + lineHeight < area.top())
            continue;
        const QTextLayout& laidOut = layout(line);
        QList<QTextLayout::FormatRange> selections;
        if (from != to && from.line <= line && line <= to.line) {
            const qsizetype length = laidOut.text().size();
            const qsizetype start = line == from.line ? std::min(from.column, length) : 0;
            // A selection that goes on past the line's end marks the line end too.
            const qsizetype stop = line == to.line ? std::min(to.column, length) : length + 1;
            selected.start = int(start);
            selected.length = int(stop - start);
            selections.append(selected);
        }
        laidOut.draw(&painter, QPointF(left, top), selections, area);
    }
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    adjustScrollBars();
}

void ReportView::scrollContentsBy(int, int dy) {
    if (dy != 0)
        adjustScrollBars(); // new lines in sight may be wider
    viewport()->update();
}

void ReportView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fontChanged();
}

ReportPosition ReportView::positionAt(QPoint point) {
    const qsizetype row = qsizetype(std::floor((point.y() - topMargin()) / lineHeight));
    const qsizetype line =
        std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, shown.lineCount() - 1);
    const QTextLayout& laidOut = layout(line);
    const qreal x = point.x() + horizontalScrollBar()->value();
    return {line, laidOut.lineAt(0).xToCursor(x)};
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Home) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_End) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        QAbstractScrollArea::keyPressEvent(event); // arrows and pages scroll
        return;
    }
    event->accept();
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    cursor = positionAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier))
        anchor = cursor;
    viewport()->update();
    announceCaret();
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    // Dragging past an edge scrolls that way, a line or a step per move.
    const QRect inside = viewport()->rect();
    if (point.y() < inside.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > inside.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.x() < inside.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.x() > inside.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    cursor = positionAt(point);
    viewport()->update();
    announceCaret();
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The word under the mouse, as a text edit selects it.
    const ReportPosition at = positionAt(event->position().toPoint());
    const QString text = shown.line(at.line);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(at.column);
    const bool atStart =
        words.isAtBoundary() && words.boundaryReasons().testFlag(QTextBoundaryFinder::StartOfItem);
    const qsizetype start =
        atStart ? at.column : std::max<qsizetype>(words.toPreviousBoundary(), 0);
    words.setPosition(start);
    const qsizetype end = words.toNextBoundary();
    anchor = {at.line, start};
    cursor = {at.line, end < 0 ? text.size() : end};
    viewport()->update();
    announceCaret();
}

void ReportView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // What the mouse selected is the X selection, for a middle-click paste elsewhere.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void ReportView::contextMenuEvent(QContextMenuEvent* event) {
    // The menu of a read-only text view: copy the selection, or select everything.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto withShortcut = [](const QString& text, QKeySequence::StandardKey key) {
        return QString(text + u'\t' + QKeySequence(key).toString(QKeySequence::NativeText));
    };
    QAction* copyAction =
        menu->addAction(QIcon::fromTheme("edit-copy"),
                        withShortcut(tr("&Copy"), QKeySequence::Copy), this, &ReportView::copy);
    copyAction->setEnabled(hasSelection());
    menu->addSeparator();
    menu->addAction(QIcon::fromTheme("edit-select-all"),
                    withShortcut(tr("Select All"), QKeySequence::SelectAll), this,
                    &ReportView::selectAll);
    menu->popup(event->globalPos());
}

// ---- What a screen reader reads

namespace {

// Offsets of the interface are ints; a report beyond them reads as far as they reach.
int ToInt(qsizetype value) {
    return int(std::clamp<qsizetype>(value, 0, INT_MAX));
}

class ReportViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReportViewAccessible(ReportView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}
    // Both bases name a text(): the widget's by kind of text, the text interface's by range.
    using QAccessibleWidget::text;

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    // The selection
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !view()->hasSelection())
            return;
        *start = offset(std::min(view()->selectionAnchor(), view()->caret()));
        *end = offset(std::max(view()->selectionAnchor(), view()->caret()));
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    // One selection at most: adding one replaces it.
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0)
            view()->select(view()->caret(), view()->caret());
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0)
            view()->select(report().positionOf(start), report().positionOf(end));
    }

    // The caret
    int cursorPosition() const override { return offset(view()->caret()); }
    void setCursorPosition(int position) override {
        const ReportPosition at = report().positionOf(position);
        view()->select(at, at);
    }

    // The text
    int characterCount() const override { return ToInt(report().characterCount()); }
    QString text(int start, int end) const override {
        if (end < 0)
            end = characterCount();
        return report().text(report().positionOf(start), report().positionOf(end));
    }
    QString textAtOffset(int at, QAccessible::TextBoundaryType boundary, int* start,
                         int* end) const override {
        const qsizetype count = report().characterCount();
        if (boundary == QAccessible::NoBoundary) {
            *start = 0;
            *end = ToInt(count);
            return text(0, *end);
        }
        const qsizetype offsetAt = std::clamp<qsizetype>(at, 0, count);
        const ReportPosition position = report().positionOf(offsetAt);
        const QString line = report().line(position.line);
        const qsizetype lineStart = offsetAt - position.column;
        qsizetype from = lineStart;
        qsizetype to = lineStart + line.size();
        switch (boundary) {
        case QAccessible::CharBoundary:
            from = offsetAt;
            to = std::min(offsetAt + (line.size() > position.column &&
                                              line.at(position.column).isHighSurrogate()
                                          ? 2
                                          : 1),
                          count);
            break;
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary: {
            QTextBoundaryFinder finder(boundary == QAccessible::WordBoundary
                                           ? QTextBoundaryFinder::Word
                                           : QTextBoundaryFinder::Sentence,
                                       line);
            finder.setPosition(position.column);
            const qsizetype left = finder.isAtBoundary() && position.column < line.size()
                                       ? position.column
                                       : std::max<qsizetype>(finder.toPreviousBoundary(), 0);
            finder.setPosition(left);
            const qsizetype right = finder.toNextBoundary();
            from = lineStart + left;
            to = lineStart + (right < 0 ? line.size() : right);
            break;
        }
        default:
            // A line (or paragraph: a report's lines are its paragraphs) with its line end.
            to = std::min(to + 1, count);
            break;
        }
        *start = ToInt(from);
        *end = ToInt(to);
        return text(*start, *end);
    }
    QString textBeforeOffset(int at, QAccessible::TextBoundaryType boundary, int* start,
                             int* end) const override {
        int from = 0;
        int to = 0;
        textAtOffset(at, boundary, &from, &to);
        if (boundary == QAccessible::NoBoundary || from <= 0) {
            *start = *end = 0;
            return {};
        }
        return textAtOffset(from - 1, boundary, start, end);
    }
    QString textAfterOffset(int at, QAccessible::TextBoundaryType boundary, int* start,
                            int* end) const override {
        int from = 0;
        int to = 0;
        textAtOffset(at, boundary, &from, &to);
        const int count = characterCount();
        if (boundary == QAccessible::NoBoundary || to >= count) {
            *start = *end = count;
            return {};
        }
        return textAtOffset(to, boundary, start, end);
    }

    // Where the characters are
    QRect characterRect(int at) const override {
        const QRect box = view()->characterRect(report().positionOf(at));
        return QRect(view()->viewport()->mapToGlobal(box.topLeft()), box.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint inside = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(inside))
            return -1;
        return offset(view()->positionAt(inside));
    }
    void scrollToSubstring(int start, int) override {
        view()->scrollTo(report().positionOf(start));
    }
    // One plain text throughout.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    ReportView* view() const { return static_cast<ReportView*>(widget()); }
    const ReportText& report() const { return view()->report(); }
    int offset(ReportPosition position) const { return ToInt(report().offsetOf(position)); }
};

} // namespace

QAccessibleInterface* ReportView::accessibleInterface(ReportView* view) {
    return new ReportViewAccessible(view);
}
