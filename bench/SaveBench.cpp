// A durable definition save (open, 23 text values, close: one committed and synced
// transaction) against its floor, a write and an fsync of the same bytes.
#include "BenchSupport.h"

#include "store/SettingsStore.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QStringList& ValueNames() {
    static const QStringList names = {
        "Drives",    "Exe",      "Data",        "Archives",  "Compressed", "Boot",
        "Partition", "MemCheck", "Floppies",    "Beep",      "ExtErr",     "PrgH",
        "MacH",      "Exit",     "PreventExit", "CheckList", "Extra Drv",  "Detail",
        "Report",    "+Report",  "Print",       "LastScan",  "AHA"};
    return names;
}

QString ValueOf(int i, int64_t iteration) {
    return i == 0 ? QString("CD") : i == 21 ? QString::number(35711.5 + double(iteration)) : "1";
}

void BM_DefinitionSave(benchmark::State& state) {
    QTemporaryDir dir;
    SettingsStore store(dir.path());
    int64_t iteration = 0;
    for (auto _ : state) {
        store.setRootKey(RootKey::CurrentUser);
        store.openKey("Software\\Tesmarine\\Vallorin\\Find\\Daily", true);
        for (int i = 0; i < ValueNames().size(); ++i)
            store.writeString(ValueNames()[i], ValueOf(i, iteration));
        store.closeKey();
        ++iteration;
    }
}
BENCHMARK(BM_DefinitionSave)->Unit(benchmark::kMicrosecond);

// The same names and values, in the store's own text form (UTF-16), written and synced.
void BM_DefinitionSaveFloor_WriteFsync(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("floor"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int64_t iteration = 0;
    for (auto _ : state) {
        QString text;
        for (int i = 0; i < ValueNames().size(); ++i)
            text += ValueNames()[i] + QChar(0) + ValueOf(i, iteration) + QChar(0);
        const QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        if (::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size() ||
            ::fsync(fd) != 0)
            state.SkipWithError("write failed");
        ++iteration;
    }
    ::close(fd);
}
BENCHMARK(BM_DefinitionSaveFloor_WriteFsync)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv);
}
