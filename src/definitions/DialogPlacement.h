#pragma once

class QWidget;

// Centres a dialog on the screen of the window it belongs to: left is half the screen width
// minus half the dialog's width, top likewise, halves truncated toward zero.
void CentreDialogOnScreen(QWidget* dialog, const QWidget* owner);
