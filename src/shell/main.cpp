#include "platform/ProgramStart.h"
#include "platform/VallorinError.h"
#include "platform/qt/HelpViewer.h"
#include "platform/qt/QtPrompts.h"
#include "shell/AVTKmain.h"
#include "shell/Application.h"
#include "shell/QtDialogs.h"
#include "store/Prefix.h"

#include <QApplication>

// The program takes no options: where it lives is the prefix, an environment setting.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetUpApplication(app);

    QtPrompts prompts;
    HelpViewer help(prompts);
    QString prefix;
    try {
        prefix = Prefix::Prepare(Prefix::Location());
        Prefix::Export(prefix);
    } catch (const VallorinError& error) {
        prompts.errorBox(error.message());
        return 1;
    }
    SpawnProgramStarter starter(prefix);
    QtDialogs dialogs;
    TMainForm form(
        Services{prefix, QApplication::applicationFilePath(), prompts, starter, help, dialogs});
    prompts.setOwner(&form);
    help.setOwner(&form);
    form.show();
    return app.exec();
}
