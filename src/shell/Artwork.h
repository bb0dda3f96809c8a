#pragma once

#include <QPointF>
#include <QStyle>

class QPainter;

// The program's own picture: a shield with a tick, the drive that came through the scan.
// Drawn at run time, at any size: scale 1 is a shield 76 × 94 pixels around centre.
void PaintShield(QPainter& painter, QPointF centre, qreal scale);

// The launcher buttons' pictures in a 20 × 20 box: a closed book for the encyclopedia, a
// calendar page with a clock for the scheduler.
void PaintBook(QPainter& painter);
void PaintSchedule(QPainter& painter);

// The window icon and the launcher buttons' pictures are painted once at build time and
// compiled in with the style's pictures (vallorin-style-pictures), under custom keys: painted
// at run time, their antialiased curves cost the start the path stroker's and the maths
// library's code. The shield is there at a title bar's and a task bar's sizes, the launchers'
// pictures at twice the buttons' icon size, for high-density screens.
constexpr QStyle::StandardPixmap ProgramIconPicture = QStyle::SP_CustomBase;
constexpr QStyle::StandardPixmap EncyclopediaPicture =
    QStyle::StandardPixmap(QStyle::SP_CustomBase + 1);
constexpr QStyle::StandardPixmap SchedulePicture =
    QStyle::StandardPixmap(QStyle::SP_CustomBase + 2);
