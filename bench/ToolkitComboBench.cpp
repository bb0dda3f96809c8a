// Filling a toolkit file combo from a folder of 5,000 files, 1,000 of them ".lst", against a
// bare listing of the same folder.
#include "BenchSupport.h"

#include "definitions/Common.h"
#include "shell/AVTKmain.h"

#include <QComboBox>
#include <QFile>

#include <benchmark/benchmark.h>

#include <dirent.h>

namespace {

const BenchPrefix& ToolkitPrefix() {
    static const BenchPrefix prefix(0, 0, 5000, 1000);
    return prefix;
}

void BM_FillToolkitFileCombo(benchmark::State& state) {
    BenchWindow window(ToolkitPrefix().folder());
    QComboBox* combo = window.form().Find.ChklistCombo;
    for (auto _ : state)
        FillToolkitFileCombo(window.form(), combo, "lst");
    state.counters["entries"] = combo->count();
}
BENCHMARK(BM_FillToolkitFileCombo)->Unit(benchmark::kMillisecond);

void BM_FillToolkitFileComboFloor_DirectoryListing(benchmark::State& state) {
    const QByteArray folder = QFile::encodeName(ToolkitPrefix().toolkitFolder());
    int entries = 0;
    for (auto _ : state) {
        entries = 0;
        DIR* dir = ::opendir(folder.constData());
        while (const dirent* entry = ::readdir(dir)) {
            benchmark::DoNotOptimize(entry->d_name[0]);
            ++entries;
        }
        ::closedir(dir);
    }
    state.counters["entries"] = entries;
}
BENCHMARK(BM_FillToolkitFileComboFloor_DirectoryListing)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv);
}
