// A program that saves definitions in a loop through the settings store, for the tests that
// kill it at random moments or run two of it on one prefix at once.
//
//   vallorin-save-loop PREFIX crash FIRST
//       saves scan-sized definitions "Def<n mod 50>" for n = FIRST, FIRST+1, ... forever, each
//       through open/write/close, and prints "saved <n>" once closeKey has returned.
//   vallorin-save-loop PREFIX instance TAG COUNT
//       saves COUNT definitions "<TAG><n>" and, after each save, reads back every definition it
//       saved so far; prints "ok" or the first error or missing value, and exits 0 only on "ok".
#include "support/SavedDefinitions.h"

#include "platform/VallorinError.h"
#include "store/SettingsStore.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

void acknowledge(long serial) {
    // write(2) straight to the pipe: nothing may sit in a buffer when the kill comes.
    char line[32];
    const int size = std::snprintf(line, sizeof line, "saved %ld\n", serial);
    if (::write(STDOUT_FILENO, line, size_t(size)) != size)
        std::_Exit(5);
}

int crash(SettingsStore& store, long first) {
    for (long serial = first;; ++serial) {
        SavedDefinitions::save(store, SavedDefinitions::crashName(serial), serial);
        acknowledge(serial);
    }
}

int instance(SettingsStore& store, const QString& tag, int count) {
    for (int n = 0; n < count; ++n) {
        SavedDefinitions::save(store, tag + QString::number(n), n);
        for (int m = 0; m <= n; ++m) {
            const QString problem = SavedDefinitions::check(store, tag + QString::number(m), m);
            if (!problem.isEmpty()) {
                std::printf("%s\n", qPrintable(problem));
                return 1;
            }
        }
    }
    std::printf("ok\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const QString command = argv[2];
    try {
        SettingsStore store(QString::fromLocal8Bit(argv[1]));
        if (command == "crash")
            return crash(store, std::atol(argv[3]));
        if (command == "instance" && argc > 4)
            return instance(store, QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    } catch (const VallorinError& error) {
        std::printf("error: %s\n", qPrintable(error.message()));
        return 4;
    }
    return 2;
}
