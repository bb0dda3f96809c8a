#pragma once

class QWidget;

// Centres a window on the screen of its owner (or the primary screen): left is half the screen
// width minus half the window's outer width, top likewise, halves truncated toward zero.
void CentreOnScreen(QWidget* window, const QWidget* owner = nullptr);
