#include "Launchers.h"

#include "platform/FileSystem.h"
#include "platform/qt/StyleIcons.h"
#include "shell/AVTKmain.h"
#include "shell/Artwork.h"
#include "toolkit/Toolkit.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QToolButton>

namespace {

// The texts this unit shows the user, translatable in the context "Launchers".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Launchers)
};

// The application's help file, a bare name the help viewer finds beside the program.
const QString ApplicationHelpFile = "Vallorin.hlp";

} // namespace

void SBtnEncClick(MainState& form) {
    const QString path = form.ToolkitFolder + ToolkitFile::Encyclopedia;
    if (!FileSystem::FileExists(path)) {
        form.prompts().message(MessageKind::Warning, Texts::tr("Virus Encyclopedia not found."),
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
        form.prompts().message(MessageKind::Warning, Texts::tr("Scheduler not found."),
                               MessageButtons::Ok);
}

void btnHelpClick(MainState& form) {
    form.help().showHelp(ApplicationHelpFile, HelpCommand::Finder, 0);
}

void btnAboutClick(MainState& form) {
    form.dialogs().showAbout(form);
}

void ConnectLaunchers(TMainForm& form) {
    form.Main.SBtnEnc->setIcon(CompiledPicture(EncyclopediaPicture));
    form.Main.SBtnSchedule->setIcon(CompiledPicture(SchedulePicture));
    form.Main.SBtnEnc->setIconSize(QSize(20, 20));
    form.Main.SBtnSchedule->setIconSize(QSize(20, 20));
    form.onClick(form.Main.SBtnEnc, SBtnEncClick);
    form.onClick(form.Main.SBtnSchedule, SBtnScheduleClick);
    form.onClick(form.Main.btnHelp, btnHelpClick);
    form.onClick(form.Main.btnAbout, btnAboutClick);
}
