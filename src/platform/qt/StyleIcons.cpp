#include "StyleIcons.h"

#include <QWidget>

QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which) {
    return QIcon(widget->style()->standardPixmap(which, nullptr, widget));
}
