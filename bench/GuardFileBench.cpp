// Loading and saving a guard settings file of 10,000 lines (the file reader and writer, and
// the page's whole load into and save from the driver key) against reading and writing the
// same bytes.
#include "BenchSupport.h"

#include "core/GuardFile.h"
#include "guard/WinGuard.h"
#include "platform/FileSystem.h"
#include "shell/AVTKmain.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Lines = 10000;

QList<GuardFileValue> Values() {
    QList<GuardFileValue> values;
    for (int i = 0; i < Lines; ++i) {
        if (i % 4 == 0)
            values.append({QString("Flag%1").arg(i), false, {}});
        else
            values.append(
                {QString("Option%1").arg(i), true, QString("C:\\WinGuard\\value %1").arg(i)});
    }
    return values;
}

struct GuardFiles {
    QTemporaryDir dir;
    QString file = dir.filePath("guard.txt");
    QByteArray bytes = EncodeGuardFile(FormatGuardFile(Values()));
    GuardFiles() { FileSystem::WriteWholeFile(file, bytes); }
};

GuardFiles& Files() {
    static GuardFiles files;
    return files;
}

void BM_GuardFileRead(benchmark::State& state) {
    for (auto _ : state) {
        const QList<GuardFileEntry> entries =
            ParseGuardFile(DecodeGuardFile(FileSystem::ReadWholeFile(Files().file), Files().file));
        benchmark::DoNotOptimize(entries.size());
    }
    state.SetBytesProcessed(state.iterations() * Files().bytes.size());
}
BENCHMARK(BM_GuardFileRead)->Unit(benchmark::kMicrosecond);

void BM_GuardFileReadFloor_ReadBytes(benchmark::State& state) {
    for (auto _ : state) {
        QFile in(Files().file);
        in.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(in.readAll().size());
    }
    state.SetBytesProcessed(state.iterations() * Files().bytes.size());
}
BENCHMARK(BM_GuardFileReadFloor_ReadBytes)->Unit(benchmark::kMicrosecond);

void BM_GuardFileWrite(benchmark::State& state) {
    const QList<GuardFileValue> values = Values();
    const QString target = Files().dir.filePath("saved.txt");
    for (auto _ : state)
        FileSystem::WriteWholeFile(target, EncodeGuardFile(FormatGuardFile(values)));
    state.SetBytesProcessed(state.iterations() * Files().bytes.size());
}
BENCHMARK(BM_GuardFileWrite)->Unit(benchmark::kMicrosecond);

// The same bytes, as durable as the program writes them: written and synced.
void BM_GuardFileWriteFloor_WriteFsync(benchmark::State& state) {
    const QByteArray target = QFile::encodeName(Files().dir.filePath("floor.txt"));
    for (auto _ : state) {
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (::write(fd, Files().bytes.constData(), size_t(Files().bytes.size())) !=
                Files().bytes.size() ||
            ::fsync(fd) != 0)
            state.SkipWithError("write failed");
        ::close(fd);
    }
    state.SetBytesProcessed(state.iterations() * Files().bytes.size());
}
BENCHMARK(BM_GuardFileWriteFloor_WriteFsync)->Unit(benchmark::kMicrosecond);

// The page's whole operations: the file merged into the driver key, and the key saved.
void BM_GuardPageLoadFile(benchmark::State& state) {
    BenchPrefix prefix(0, 0, 10, 0);
    BenchWindow window(prefix.folder());
    // Each load ends with the restart notice, which the silent prompts answer at once.
    for (auto _ : state)
        LoadGuardFile(window.form(), Files().file);
}
BENCHMARK(BM_GuardPageLoadFile)->Unit(benchmark::kMillisecond);

void BM_GuardPageSaveFile(benchmark::State& state) {
    BenchPrefix prefix(0, 0, 10, 0);
    BenchWindow window(prefix.folder());
    LoadGuardFile(window.form(), Files().file);
    const QString target = Files().dir.filePath("page.txt");
    for (auto _ : state)
        SaveGuardFile(window.form(), target);
}
BENCHMARK(BM_GuardPageSaveFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv);
}
