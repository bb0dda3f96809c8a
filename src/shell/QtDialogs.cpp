#include "QtDialogs.h"

#include "definitions/AddScan.h"
#include "definitions/RemoveScan.h"
#include "guard/WGMessages.h"
#include "shell/AboutBox.h"

void QtDialogs::addDefinition(MainState& form, const DefinitionPage& page) {
    TAddScanForm dialog(form);
    dialog.Execute(page);
}

void QtDialogs::removeDefinitions(MainState& form, const DefinitionPage& page) {
    TRemoveScanForm dialog(form);
    dialog.Execute(page);
}

void QtDialogs::editGuardMessages(MainState& form) {
    // A fresh dialog each time: it reads the stored messages anew and is gone when closed.
    TMessageForm dialog(form);
    dialog.exec();
}

void QtDialogs::showAbout(MainState&) {
    // A fresh box each time, owned by the application; it frees itself when it closes.
    auto* about = new TAboutFm();
    about->exec();
}
