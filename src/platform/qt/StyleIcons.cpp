#include "StyleIcons.h"

#include <QPixmap>
#include <QWidget>

#include <cstring>

QIcon CompiledPicture(QStyle::StandardPixmap which) {
    QIcon icon;
    for (int i = 0; i < StylePictureCount; ++i) {
        const StylePictureData& picture = StylePictures[i];
        if (picture.which != which)
            continue;
        // Copied row by row: the image's rows are aligned, the compiled-in bytes need not be.
        QImage image(picture.width, picture.height, picture.format);
        const qsizetype rowBytes = qsizetype(picture.width) * 4;
        for (int y = 0; y < picture.height; ++y)
            std::memcpy(image.scanLine(y), picture.pixels + y * rowBytes, size_t(rowBytes));
        image.setDevicePixelRatio(picture.devicePixelRatio);
        icon.addPixmap(QPixmap::fromImage(std::move(image)));
    }
    return icon;
}

QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which) {
    const QIcon icon = CompiledPicture(which);
    return icon.isNull() ? widget->style()->standardIcon(which, nullptr, widget) : icon;
}
