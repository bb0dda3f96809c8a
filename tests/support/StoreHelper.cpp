// A second program on the same store, for the tests that need another process: one that is
// killed right after a close, instances that update the same value at once, one that may not
// write the store file, and one whose disk fills up.
#include "platform/VallorinError.h"
#include "store/SettingsStore.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Writes a value, closes its key and says so, then waits to be killed.
int hold(SettingsStore& store) {
    store.openKey("Software\\Held", true);
    store.writeString("Value", "written");
    store.closeKey();
    std::printf("closed\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

// Adds one to the counter, count times, each time in a key of its own.
int count(SettingsStore& store, int times) {
    for (int i = 0; i < times; ++i) {
        store.openKey("Software\\Counter", true);
        const quint32 now = store.valueExists("Count") ? store.readInteger("Count") : 0;
        store.writeInteger("Count", now + 1);
        store.closeKey();
    }
    return 0;
}

// Tries to replace "Value" of Software\Kept; prints the error the store gave.
int tryWrite(SettingsStore& store, const QByteArray& data) {
    try {
        store.openKey("Software\\Kept", true);
        store.writeBinary("Value", data);
        store.closeKey();
    } catch (const VallorinError& error) {
        std::printf("error: %s\n", qPrintable(error.message()));
        return 0;
    }
    std::printf("written\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const QString command = argv[2];
    if (command == "readonly" && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 3; // root writes any file: become nobody so that the file mode counts
    if (command == "full") {
        // The file size limit stands in for a full disk: writes beyond it fail with EFBIG.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    try {
        SettingsStore store(QString::fromLocal8Bit(argv[1]));
        if (command == "hold")
            return hold(store);
        if (command == "count" && argc > 3)
            return count(store, std::atoi(argv[3]));
        if (command == "readonly")
            return tryWrite(store, "new");
        if (command == "full")
            return tryWrite(store, QByteArray(1024 * 1024, 'x'));
    } catch (const VallorinError& error) {
        std::printf("error: %s\n", qPrintable(error.message()));
        return 4;
    }
    return 2;
}
