#include "AboutBox.h"

#include "caption/Wordcap.h"
#include "platform/qt/ScreenPlacement.h"
#include "shell/Artwork.h"
#include "toolkit/SignatureDatabase.h"

#include "BuildConfig.h"
#include "ui_AboutBox.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>

TAboutFm::TAboutFm(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TAboutFm>()) {
    ui->setupUi(this);
    // Every way of closing (Cool, Enter, Esc, the close box, Alt+F4) frees the box.
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    ui->AboutImage->setPixmap(BannerPicture(ui->AboutImage->size()));
    // The version is the build's, the one the package carries.
    const QString version = QString::fromUtf8(BuildConfig::Version);
    ui->VLabel->setText(tr("v%1").arg(version));
    ui->VersionLabel->setText(
        tr("Vallorin %1, control panel for the Anti-Virus Toolkit").arg(version));
    ui->SignaturesLabel->setText(
        SignaturesText(SignatureDatabase::Read(SignatureDatabase::Folder())));
    // The window caption stays empty; the title bar shows "About Vallorin".
    AboutCap = Wordcap::TMSOfficeCaption::attach(
        this, {.appName = tr("About Vallorin"),
               .appNameColor = Wordcap::clAqua,
               .caption = "",
               .captionVisible = false,
               .borderStyle = Wordcap::TFormBorderStyle::bsSizeable});
    connect(ui->btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    FormCreate();
}

TAboutFm::~TAboutFm() = default;

QString TAboutFm::SignaturesText(const SignatureDatabase::State& database) {
    if (!database.installed)
        return tr("No ClamAV database: test signatures only");
    const QString date = QLocale::system().toString(database.updated.date(), QLocale::ShortFormat);
    return database.signatures >= 0
               ? tr("ClamAV database: %L1 signatures of %2").arg(database.signatures).arg(date)
               : tr("ClamAV database of %1").arg(date);
}

void TAboutFm::FormCreate() {
    CentreOnScreen(this);
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

    PaintShield(p, QPointF(58, size.height() / 2.0), 1.0);

    // The name and a line under it.
    QFont title("Serif");
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 90));
    const QRectF titleBox(112, 22, size.width() - 118, 50);
    const QString name = tr("Vallorin");
    p.drawText(titleBox.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, name);
    p.setPen(Qt::white);
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, name);
    QFont subtitle("Sans Serif");
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(QColor(210, 230, 255));
    p.drawText(QRectF(114, 72, size.width() - 120, 32), Qt::AlignLeft | Qt::TextWordWrap,
               tr("Control panel for the\nAnti-Virus Toolkit"));
    return pixmap;
}
