#include "Launchers.h"

#include "platform/FileSystem.h"
#include "shell/AVTKmain.h"
#include "toolkit/Toolkit.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

namespace {

// The application's help file, a bare name the help viewer finds beside the program.
const QString ApplicationHelpFile = "Vallorin.hlp";

// The picture buttons' icons, drawn rather than shipped: a closed book for the encyclopedia, a
// calendar page with a clock for the scheduler.
QIcon DrawnIcon(void (*draw)(QPainter&)) {
    QPixmap pixmap(40, 40); // drawn at twice the button's icon size, for high-density screens
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(2, 2);
    draw(painter);
    painter.end();
    pixmap.setDevicePixelRatio(2);
    return QIcon(pixmap);
}

void DrawBook(QPainter& p) {
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

void DrawSchedule(QPainter& p) {
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

} // namespace

void SBtnEncClick(MainState& form) {
    const QString path = form.ToolkitFolder + ToolkitFile::Encyclopedia;
    if (!FileSystem::FileExists(path)) {
        form.prompts().message(MessageKind::Warning, "Virus Encyclopedia not found.",
                               MessageButtons::Ok);
        return;
    }
    // Absolute, so that with no toolkit folder the file of the current directory is opened
    // rather than one the viewer would look for beside the program.
    form.help().showHelp(QFileInfo(FileSystem::ResolvePath(path)).absoluteFilePath(),
                         HelpCommand::Finder, 0);
}

void SBtnScheduleClick(MainState& form) {
    // Only a missing program is worth telling; other start failures pass silently.
    if (StartProgram(form, form.ToolkitFolder + ToolkitFile::Scheduler) ==
        StartResult::FileNotFound)
        form.prompts().message(MessageKind::Warning, "Scheduler not found.", MessageButtons::Ok);
}

void btnHelpClick(MainState& form) {
    form.help().showHelp(ApplicationHelpFile, HelpCommand::Finder, 0);
}

void btnAboutClick(MainState& form) {
    form.dialogs().showAbout(form);
}

void ConnectLaunchers(TMainForm& form) {
    form.Main.SBtnEnc->setIcon(DrawnIcon(DrawBook));
    form.Main.SBtnSchedule->setIcon(DrawnIcon(DrawSchedule));
    form.Main.SBtnEnc->setIconSize(QSize(20, 20));
    form.Main.SBtnSchedule->setIconSize(QSize(20, 20));
    form.onClick(form.Main.SBtnEnc, SBtnEncClick);
    form.onClick(form.Main.SBtnSchedule, SBtnScheduleClick);
    form.onClick(form.Main.btnHelp, btnHelpClick);
    form.onClick(form.Main.btnAbout, btnAboutClick);
}
