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
