#pragma once

#include <QIcon>
#include <QImage>
#include <QStyle>

class QWidget;

// The style's own picture of a standard icon: at its small size for a tool button, at every
// size for a title bar glyph. QStyle::standardIcon (and standardPixmap) first look the icon up
// by name in the desktop's icon theme, which costs the program's start a quarter of its work;
// the few pictures the window shows are taken from the style at build time instead
// (vallorin-style-pictures). One not among them comes from the widget's style as before.
QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which);

// The pictures compiled in under a key (a standard icon, or a custom key of the program's own
// pictures), every size of them; a null icon when there are none.
QIcon CompiledPicture(QStyle::StandardPixmap which);

// The pictures compiled in, one for each size of an icon: a standard icon and its pixels, rows
// of width 32-bit pixels of the given format one after another, aligned as an image's rows
// (kept as pixels, since the style's PNG files are read through a look at every installed
// image format plug-in, each loaded for it).
struct StylePictureData {
    QStyle::StandardPixmap which;
    int width;
    int height;
    QImage::Format format;
    qreal devicePixelRatio;
    const char* pixels;
};
extern const StylePictureData StylePictures[];
extern const int StylePictureCount;
