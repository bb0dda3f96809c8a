// Start-up to the main window shown, on a prefix of 200 scan and 200 check definitions and a
// toolkit folder of 5,000 files, against a bare window with five tabs; and the resident memory
// of each, measured in processes of their own.
#include "BenchSupport.h"

#include "shell/AVTKmain.h"
#include "shell/Application.h"

#include <QApplication>
#include <QProcess>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const BenchPrefix& LargePrefix() {
    static const BenchPrefix prefix(200, 200, 5000, 1000);
    return prefix;
}

void BM_StartUp(benchmark::State& state) {
    const QString folder = LargePrefix().folder();
    for (auto _ : state) {
        auto window = std::make_unique<BenchWindow>(folder);
        state.PauseTiming();
        if (window->prompts.shown != 0)
            state.SkipWithError("the start-up showed a message");
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond);

void BM_StartUpFloor_BareTabWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = BareTabWindow();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpFloor_BareTabWindow)->Unit(benchmark::kMillisecond);

// Runs this program again as a probe of one kind and reads the VmRSS it reports.
long ProbeResident(const char* kind) {
    QProcess probe;
    probe.start(QCoreApplication::applicationFilePath(),
                {QString("--rss-probe=") + kind, LargePrefix().folder()});
    if (!probe.waitForFinished(120000) || probe.exitCode() != 0)
        return -1;
    return probe.readAllStandardOutput().trimmed().toLong();
}

long MedianOf(std::vector<long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ResidentMemoryAfterStartUp(benchmark::State& state) {
    long window = 0;
    long bare = 0;
    for (auto _ : state) {
        std::vector<long> windows, bares;
        for (int i = 0; i < 5; ++i) {
            windows.push_back(ProbeResident("window"));
            bares.push_back(ProbeResident("bare"));
        }
        window = MedianOf(windows);
        bare = MedianOf(bares);
    }
    if (window <= 0 || bare <= 0)
        state.SkipWithError("a probe failed");
    state.counters["window_kB"] = double(window);
    state.counters["bare_kB"] = double(bare);
    state.counters["ratio"] = double(window) / double(bare);
}
BENCHMARK(BM_ResidentMemoryAfterStartUp)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // The probe: start one window, report VmRSS, end.
    if (argc == 3 && std::strncmp(argv[1], "--rss-probe=", 12) == 0) {
        const bool full = std::strcmp(argv[1] + 12, "window") == 0;
        const QString folder = QString::fromLocal8Bit(argv[2]);
        int status = 0;
        char* arguments[] = {argv[0], nullptr};
        int count = 1;
        // The application as RunBenchmarks sets it up, without the benchmarks.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(count, arguments);
        SetUpApplication(app);
        if (full) {
            BenchWindow window(folder);
            status = window.prompts.shown;
            std::printf("%ld\n", ResidentKilobytes());
        } else {
            auto window = BareTabWindow();
            std::printf("%ld\n", ResidentKilobytes());
        }
        return status;
    }
    return RunBenchmarks(argc, argv);
}
