#pragma once

#include <QPointF>

class QPainter;

// The program's own picture: a shield with a tick, the drive that came through the scan.
// Drawn at run time, at any size: scale 1 is a shield 76 × 94 pixels around centre.
void PaintShield(QPainter& painter, QPointF centre, qreal scale);
