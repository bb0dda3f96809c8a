// vallorin-services: starts, when the desktop session starts, every command line of the prefix's
// RunServices key, as Windows does at boot; the guard page registers the guard's front end there.
// Each line is started with the panel's program starter (no shell), in the prefix folder.
#include "platform/ProgramStart.h"
#include "platform/VallorinError.h"
#include "store/Prefix.h"
#include "store/SettingsStore.h"
#include "store/StoreKeys.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

const QString RunServicesKey = StoreKeys::RunServices;

void Say(const QString& text) {
    std::fprintf(stderr, "vallorin-services: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().size() > 1) {
        std::fprintf(stderr, "usage: vallorin-services\n"
                             "Starts the command lines of the RunServices key of the prefix "
                             "($VALLORIN_PREFIX, else ~/.vallorin).\n");
        return 2;
    }
    try {
        // A user who never ran Vallorin has no store, hence nothing registered: the autostart
        // entry runs for every user, and creates nothing for those.
        if (!QFileInfo::exists(Prefix::Location() + "/system.db"))
            return 0;
        const QString prefix = Prefix::Prepare(Prefix::Location());
        Prefix::Export(prefix);
        QList<std::pair<QString, QString>> lines;
        {
            SettingsStore store(prefix);
            store.setRootKey(RootKey::LocalMachine);
            if (!store.openKey(RunServicesKey, false))
                return 0; // nothing registered
            for (const QString& name : store.getValueNames()) {
                const ValueType type = store.valueType(name);
                if (type != ValueType::String && type != ValueType::ExpandString) {
                    Say(QString("%1: not a text value; skipped.").arg(name));
                    continue;
                }
                lines.append({name, store.readString(name)});
            }
            store.closeKey();
        }
        // The store is closed before anything starts: a started program opens it itself.
        SpawnProgramStarter starter(prefix);
        int failed = 0;
        for (const auto& [name, line] : lines) {
            const SplitCommand split = SplitCommandLine(line);
            if (split.program.isEmpty() || !QFileInfo(split.program).isFile()) {
                Say(QString("%1: the program of \"%2\" is missing; skipped.").arg(name, line));
                continue;
            }
            const int result = starter.start(line);
            if (result <= StartResult::LastError) {
                Say(QString("%1: \"%2\" could not be started (%3); skipped.")
                        .arg(name, line)
                        .arg(result));
                ++failed;
            }
        }
        return failed ? 1 : 0;
    } catch (const VallorinError& error) {
        Say(error.message());
        return 1;
    }
}
