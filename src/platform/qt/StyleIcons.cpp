#include "StyleIcons.h"

#include <QPixmap>
#include <QWidget>

QIcon CompiledPicture(QStyle::StandardPixmap which) {
    QIcon icon;
    for (int i = 0; i < StylePictureCount; ++i) {
        const StylePictureData& picture = StylePictures[i];
        if (picture.which != which)
            continue;
        // Over the compiled-in pixels, never copied: the pixmap takes them as they are (they are
        // in its own format), and a size no one shows is never even read from the file.
        QImage image(reinterpret_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                     qsizetype(picture.width) * 4, picture.format);
        image.setDevicePixelRatio(picture.devicePixelRatio);
        icon.addPixmap(QPixmap::fromImage(std::move(image)));
    }
    return icon;
}

QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which) {
    const QIcon icon = CompiledPicture(which);
    return icon.isNull() ? widget->style()->standardIcon(which, nullptr, widget) : icon;
}
