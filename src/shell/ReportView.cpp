#include "ReportView.h"

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
}

QString ReportView::selectedText() const {
    return shown.text(std::min(anchor, cursor), std::max(anchor, cursor));
}

void ReportView::selectAll() {
    anchor = {};
    cursor = shown.end();
    viewport()->update();
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
