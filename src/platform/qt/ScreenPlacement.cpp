#include "ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget* window, const QWidget* owner) {
    const QScreen* screen = owner && owner->screen() ? owner->screen()
                            : window->screen()       ? window->screen()
                                                     : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // The outer size: the frame is part of the window.
    const QSize outer = window->frameGeometry().size();
    window->move(area.x() + area.width() / 2 - outer.width() / 2,
                 area.y() + area.height() / 2 - outer.height() / 2);
}
