#pragma once

#include <QIcon>
#include <QStyle>

class QWidget;

// The style's own picture of a standard icon at its small size, for a tool button.
// QStyle::standardIcon (and standardPixmap) first look the icon up by name in the desktop's
// icon theme, which costs the program's start a quarter of its work; the few pictures the
// pages show are taken from the style at build time instead (vallorin-style-pictures).
// One not among them comes from the widget's style as before.
QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which);

// The pictures compiled in: a standard icon and its PNG image.
struct StylePictureData {
    QStyle::StandardPixmap which;
    int size;
    const char* png;
};
extern const StylePictureData StylePictures[];
extern const int StylePictureCount;
