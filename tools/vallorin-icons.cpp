// Draws the program's icon for the desktop: the shield the program paints as its window icon,
// as PNG files in the icon theme's sizes and as an SVG file.
//
//   vallorin-icons FOLDER NAME SIZE...
//
// writes FOLDER/hicolor/<SIZE>x<SIZE>/apps/NAME.png for each size and
// FOLDER/hicolor/scalable/apps/NAME.svg.
#include "shell/Artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

// The shield fills a square icon as it fills the program's window icon: scale 1/100 per pixel.
void PaintIcon(QPainter& painter, int side) {
    PaintShield(painter, QPointF(side / 2.0, side / 2.0), side / 100.0);
}

bool WritePng(const QString& folder, const QString& name, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintIcon(painter, side);
    painter.end();
    const QString subfolder = QString("%1/hicolor/%2x%2/apps").arg(folder).arg(side);
    return QDir().mkpath(subfolder) && image.save(subfolder + '/' + name + ".png");
}

bool WriteSvg(const QString& folder, const QString& name) {
    constexpr int side = 100;
    const QString subfolder = folder + "/hicolor/scalable/apps";
    if (!QDir().mkpath(subfolder))
        return false;
    QSvgGenerator svg;
    svg.setFileName(subfolder + '/' + name + ".svg");
    svg.setSize(QSize(side, side));
    svg.setViewBox(QRect(0, 0, side, side));
    svg.setTitle("Vallorin");
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    PaintIcon(painter, side);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vallorin-icons FOLDER NAME SIZE...\n");
        return 2;
    }
    const QString& folder = args[0];
    const QString& name = args[1];
    for (const QString& size : args.mid(2)) {
        bool number = false;
        const int side = size.toInt(&number);
        if (!number || side < 1 || side > 1024 || !WritePng(folder, name, side)) {
            std::fprintf(stderr, "vallorin-icons: cannot write the %s icon\n", qPrintable(size));
            return 1;
        }
    }
    if (!WriteSvg(folder, name)) {
        std::fprintf(stderr, "vallorin-icons: cannot write the SVG icon\n");
        return 1;
    }
    return 0;
}
