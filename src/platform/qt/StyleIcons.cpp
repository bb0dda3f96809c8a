#include "StyleIcons.h"

#include <QPixmap>
#include <QWidget>

QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which) {
    for (int i = 0; i < StylePictureCount; ++i) {
        const StylePictureData& picture = StylePictures[i];
        QPixmap pixmap;
        if (picture.which == which &&
            pixmap.loadFromData(reinterpret_cast<const uchar*>(picture.png), uint(picture.size)))
            return QIcon(pixmap);
    }
    return widget->style()->standardIcon(which, nullptr, widget);
}
