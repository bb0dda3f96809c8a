#include "AboutBox.h"

#include "ui_AboutBox.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

TAboutFm::TAboutFm(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TAboutFm>()) {
    ui->setupUi(this);
    // Every way of closing (Cool, Enter, Esc, the close box, Alt+F4) frees the box.
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    ui->AboutImage->setPixmap(BannerPicture(ui->AboutImage->size()));
    connect(ui->btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    FormCreate();
}

TAboutFm::~TAboutFm() = default;

void TAboutFm::FormCreate() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + area.width() / 2 - outer.width() / 2,
         area.y() + area.height() / 2 - outer.height() / 2);
}

void TAboutFm::showEvent(QShowEvent* event) {
    // The frame's size is known only once the box is shown; centre its outer size then.
    QDialog::showEvent(event);
    FormCreate();
}

void TAboutFm::btnOKClick() {
    close();
}

QPixmap TAboutFm::BannerPicture(const QSize& size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(size));

    // A night-blue sky fading to teal, with a faint grid of scan lines.
    QLinearGradient sky(area.topLeft(), area.bottomRight());
    sky.setColorAt(0, QColor(12, 24, 74));
    sky.setColorAt(1, QColor(16, 120, 128));
    p.fillRect(area, sky);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (int y = 4; y < size.height(); y += 6)
        p.drawLine(0, y, size.width(), y);

    // A shield with a tick: the drive that came through the scan.
    const QPointF c(58, size.height() / 2.0);
    QPainterPath shield;
    shield.moveTo(c + QPointF(0, -46));
    shield.cubicTo(c + QPointF(22, -36), c + QPointF(34, -38), c + QPointF(38, -40));
    shield.cubicTo(c + QPointF(40, 0), c + QPointF(26, 30), c + QPointF(0, 48));
    shield.cubicTo(c + QPointF(-26, 30), c + QPointF(-40, 0), c + QPointF(-38, -40));
    shield.cubicTo(c + QPointF(-34, -38), c + QPointF(-22, -36), c + QPointF(0, -46));
    QLinearGradient metal(c + QPointF(-38, -46), c + QPointF(38, 48));
    metal.setColorAt(0, QColor(250, 250, 255));
    metal.setColorAt(1, QColor(150, 170, 200));
    p.setPen(QPen(QColor(230, 190, 60), 3));
    p.setBrush(metal);
    p.drawPath(shield);
    p.setPen(QPen(QColor(20, 140, 60), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({c + QPointF(-16, 0), c + QPointF(-4, 14), c + QPointF(18, -16)}));

    // The name and a line under it.
    QFont title("Serif");
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 90));
    const QRectF titleBox(112, 22, size.width() - 118, 50);
    p.drawText(titleBox.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, "Vallorin");
    p.setPen(Qt::white);
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, "Vallorin");
    QFont subtitle("Sans Serif");
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(QColor(210, 230, 255));
    p.drawText(QRectF(114, 72, size.width() - 120, 32), Qt::AlignLeft | Qt::TextWordWrap,
               "Control panel for the\nAnti-Virus Toolkit");
    return pixmap;
}
