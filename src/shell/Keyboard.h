#pragma once

#include <QList>

class QTabWidget;
class QWidget;

// Tab into a group of radio buttons lands on its checked button, as in a Windows dialog: of
// the buttons that share a parent only the checked one (or, with none checked, the first that
// is enabled) is a Tab stop; the arrow keys move, and choose, within the group. The stops
// follow the buttons' changes for as long as the window lives.
void KeepOneTabStopPerRadioGroup(QWidget* window);

// Ctrl+Tab and Ctrl+PgDn show the next page, Ctrl+Shift+Tab and Ctrl+PgUp the one before, from
// any control of the window (round from the last to the first), as the user's choice of a tab.
void AddPageKeys(QWidget* window, QTabWidget* pages);

// Tab goes from the tabs through the shown page's controls, in their order, then through the
// window's own buttons below the pages, and from the last of those round to the tabs: the
// pages' controls are made after the window's, so Qt's chain would put the buttons first.
void ChainPagesBeforeButtons(QTabWidget* pages, const QList<QWidget*>& buttons);
