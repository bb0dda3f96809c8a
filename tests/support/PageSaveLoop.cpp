// vallorin-page-loop PREFIX TAG COUNT: the main window on the prefix (offscreen, scripted
// prompts) adds COUNT scan definitions "<TAG><n>" one after another and saves each through the
// scan page; after each save it lists the stored definitions again and checks that every one
// it saved is there. Then it closes as the user would. Prints "ok", or what went wrong.
#include "support/RecordingStarter.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedPrompts.h"

#include "definitions/Common.h"
#include "scan/Find.h"
#include "shell/AVTKmain.h"
#include "shell/Application.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QComboBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const QString tag = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    ScriptedPrompts prompts;
    RecordingStarter starter;
    RecordingHelp help;
    ScriptedDialogs dialogs; // the page saves; no dialog opens
    TMainForm form(Services{prefix, prefix + "vallorin", prompts, starter, help, dialogs});
    for (int n = 0; n < count && prompts.messages.isEmpty(); ++n) {
        QComboBox* scans = form.Find.ScanCombo;
        scans->addItem(tag + QString::number(n));
        scans->setCurrentIndex(scans->count() - 1);
        form.Find.ChkBoxBeep->setChecked(n % 2 == 0);
        form.guarded([&] { SaveScanDefinition(form); });
        QComboBox stored;
        form.guarded([&] {
            form.store().setRootKey(RootKey::CurrentUser);
            FillDefinitionCombo(form, "Find", &stored);
        });
        for (int m = 0; m <= n; ++m) {
            if (FindComboEntry(&stored, tag + QString::number(m)) < 0) {
                std::printf("lost: %s%d\n", qPrintable(tag), m);
                return 1;
            }
        }
    }
    form.show();
    const bool closed = form.close();
    if (!prompts.messages.isEmpty() || !closed) {
        std::printf("%s\n", qPrintable(closed ? prompts.texts().join(" | ") : "not closed"));
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
