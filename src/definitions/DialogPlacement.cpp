#include "DialogPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreDialogOnScreen(QWidget* dialog, const QWidget* owner) {
    const QScreen* screen =
        owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    dialog->move(area.x() + area.width() / 2 - dialog->width() / 2,
                 area.y() + area.height() / 2 - dialog->height() / 2);
}
