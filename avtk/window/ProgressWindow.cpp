#include "window/ProgressWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

ProgressWindow::ProgressWindow(const QString& title, QWidget* parent)
    : QWidget(parent), request(new QLabel(this)), bar(new QProgressBar(this)),
      current(new QLabel("Working...", this)), findings(new QTreeWidget(this)),
      log(new QPlainTextEdit(this)), elapsed(new QLabel(this)),
      button(new QPushButton("&Stop", this)) {
    setWindowTitle(title);
    resize(620, 440);
    request->setWordWrap(true);
    request->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->setRange(0, 0);
    current->setTextFormat(Qt::PlainText);
    findings->setHeaderLabels({"File", "Virus", "Action"});
    findings->setRootIsDecorated(false);
    findings->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // A virus name is short and read whole; the path gives way to it.
    findings->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    // Paths and saved files keep their ends in sight when cut.
    findings->setTextElideMode(Qt::ElideMiddle);
    findings->hide(); // until there is a finding
    log->setReadOnly(true);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(request);
    layout->addWidget(bar);
    layout->addWidget(current);
    layout->addWidget(findings, 1);
    layout->addWidget(log, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(elapsed, 1);
    bottom->addWidget(button);
    layout->addLayout(bottom);
    connect(button, &QPushButton::clicked, this, [this] {
        if (done)
            close();
        else if (!preventExit)
            stopAsked = true;
    });
    clock.start();
    elapsed->setText(elapsedText());
    startTimer(500);
}

void ProgressWindow::setRequest(const QString& text) {
    request->setText("Asked: " + text);
}

void ProgressWindow::addLine(const QString& text) {
    log->appendPlainText(text);
}

void ProgressWindow::setCurrent(const QString& item) {
    current->setText(item);
}

void ProgressWindow::setProgress(qint64 doneCount, qint64 total) {
    // The bar counts in int: large counts are scaled to keep the proportion.
    const int scale = total > 1000000 ? int(total / 1000000 + 1) : 1;
    bar->setRange(0, int(total / scale));
    bar->setValue(int(std::min(doneCount, total) / scale));
}

int ProgressWindow::addFinding(const QString& file, const QString& virus, const QString& action) {
    findings->show();
    auto* item = new QTreeWidgetItem(findings, {file, virus, action});
    // A text cut to its column's width is read whole in its tip.
    for (int column = 0; column < item->columnCount(); ++column)
        item->setToolTip(column, item->text(column));
    findings->scrollToItem(item);
    return findings->indexOfTopLevelItem(item);
}

void ProgressWindow::setFindingAction(int row, const QString& action) {
    if (QTreeWidgetItem* item = findings->topLevelItem(row)) {
        item->setText(2, action);
        item->setToolTip(2, action);
    }
}

void ProgressWindow::setPreventExit(bool prevent) {
    preventExit = prevent;
    if (!done)
        button->setEnabled(!prevent);
}

void ProgressWindow::setDone(const QString& result) {
    done = true;
    current->setText(result);
    if (bar->maximum() == 0)
        bar->setRange(0, 1);
    bar->setValue(bar->maximum());
    elapsed->setText(elapsedText());
    button->setText("&Close");
    button->setEnabled(true);
    button->setDefault(true);
    button->setFocus();
}

QString ProgressWindow::elapsedText() const {
    const qint64 seconds = clock.elapsed() / 1000;
    return QString("Elapsed: %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // Closing the window while the work runs stops it, unless that is prevented.
    if (!done) {
        if (!preventExit)
            stopAsked = true;
        event->ignore();
        return;
    }
    event->accept();
}

void ProgressWindow::timerEvent(QTimerEvent*) {
    if (!done)
        elapsed->setText(elapsedText());
}
