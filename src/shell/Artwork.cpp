#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

void PaintShield(QPainter& p, QPointF c, qreal scale) {
    const auto at = [&](qreal x, qreal y) { return c + QPointF(x, y) * scale; };
    QPainterPath shield;
    shield.moveTo(at(0, -46));
    shield.cubicTo(at(22, -36), at(34, -38), at(38, -40));
    shield.cubicTo(at(40, 0), at(26, 30), at(0, 48));
    shield.cubicTo(at(-26, 30), at(-40, 0), at(-38, -40));
    shield.cubicTo(at(-34, -38), at(-22, -36), at(0, -46));
    QLinearGradient metal(at(-38, -46), at(38, 48));
    metal.setColorAt(0, QColor(250, 250, 255));
    metal.setColorAt(1, QColor(150, 170, 200));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(230, 190, 60), std::max<qreal>(1, 3 * scale)));
    p.setBrush(metal);
    p.drawPath(shield);
    p.setPen(QPen(QColor(20, 140, 60), std::max<qreal>(1.5, 8 * scale), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawPolyline(QPolygonF({at(-16, 0), at(-4, 14), at(18, -16)}));
    p.restore();
}

void PaintBook(QPainter& p) {
    p.setPen(QPen(QColor(40, 30, 90), 1));
    p.setBrush(QColor(70, 60, 160));
    p.drawRoundedRect(QRectF(4.5, 2.5, 12, 15), 1.5, 1.5);
    p.setBrush(QColor(245, 240, 220));
    p.drawRect(QRectF(4.5, 15.5, 12, 2));
    p.setPen(QPen(QColor(230, 190, 60), 1.2));
    p.drawLine(QPointF(8, 6), QPointF(14, 6));
    p.drawLine(QPointF(8, 8.5), QPointF(14, 8.5));
    p.setPen(QPen(QColor(200, 30, 30), 1.5));
    p.drawLine(QPointF(6.5, 2.5), QPointF(6.5, 15));
}

void PaintSchedule(QPainter& p) {
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 3.5, 13, 13));
    p.setBrush(QColor(190, 30, 30));
    p.drawRect(QRectF(2.5, 3.5, 13, 3.5));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawPoint(QPointF(5 + col * 3, 10 + row * 3));
    p.setPen(QPen(QColor(20, 60, 140), 1));
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QPointF(14, 14), 4.5, 4.5);
    p.drawLine(QPointF(14, 14), QPointF(14, 11));
    p.drawLine(QPointF(14, 14), QPointF(16, 15));
}
