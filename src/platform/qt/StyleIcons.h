#pragma once

#include <QIcon>
#include <QImage>
#include <QStyle>

class QWidget;

// The style's own picture of a standard icon at its small size, for a tool button.
// QStyle::standardIcon (and standardPixmap) first look the icon up by name in the desktop's
// icon theme, which costs the program's start a quarter of its work; the few pictures the
// pages show are taken from the style at build time instead (vallorin-style-pictures).
// One not among them comes from the widget's style as before.
QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which);

// The pictures compiled in: a standard icon and its pixels, rows of width 32-bit pixels of the
// given format one after another (kept as pixels, since decoding a PNG looks through every
// installed image format plug-in first and loads each).
struct StylePictureData {
    QStyle::StandardPixmap which;
    int width;
    int height;
    QImage::Format format;
    const char* pixels;
};
extern const StylePictureData StylePictures[];
extern const int StylePictureCount;
