// The report page against its floor, reading and decoding the file, at 50 MB and 1 GB: the
// time from the click to the first screen painted, the peak memory beyond what the process
// held before, and the longest the window is held while scrolling to the end, back to the top
// and dragging the scroll bars. Each side runs in a process of its own (peak memory is a
// process's), alternately, in one run.
#include "BenchSupport.h"

#include "platform/FileSystem.h"
#include "shell/AVTKmain.h"
#include "shell/Application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A report of scanner-like lines, of at least size bytes, written piece by piece.
void WriteReport(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    QByteArray piece;
    qint64 written = 0;
    for (qint64 n = 0; written < size; ++n) {
        piece += "C:\\WINDOWS\\SYSTEM\\FILE" + QByteArray::number(n) +
                 ".DLL    scanned, no virus found    12/10/97 15:05\r\n";
        if (piece.size() >= 1 << 20) {
            written += file.write(piece);
            piece.clear();
        }
    }
    file.write(piece);
}

struct Measured {
    double firstScreenMs = 0;
    double longestStallMs = 0;
    long peakKilobytes = 0; // beyond the resident set before the click
};

// Waits for what the last step caused and paints, and says how long that took.
double Settle(QWidget& widget, QElapsedTimer& timer) {
    QCoreApplication::processEvents();
    widget.repaint();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Scrolls the view to the end, back to the top, drags the vertical and the horizontal bar
// across their ranges; the longest single step.
double LongestStall(QAbstractScrollArea& view) {
    double longest = 0;
    const auto step = [&](QScrollBar* bar, int value) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(value);
        longest = std::max(longest, Settle(*view.viewport(), timer));
    };
    QScrollBar* vertical = view.verticalScrollBar();
    QScrollBar* horizontal = view.horizontalScrollBar();
    step(vertical, vertical->maximum());
    step(vertical, 0);
    constexpr int Steps = 50;
    for (int i = 1; i <= Steps; ++i)
        step(vertical, int(qint64(vertical->maximum()) * i / Steps));
    for (int i = Steps; i >= 0; --i)
        step(vertical, int(qint64(vertical->maximum()) * i / Steps));
    step(horizontal, horizontal->maximum());
    step(horizontal, 0);
    return longest;
}

// The floor: reading and decoding the file, which any view of it has to do.
Measured ProbeFloor(const QString& path) {
    Measured measured;
    const long before = StatusKilobytes("self", "VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const QByteArray bytes = FileSystem::ReadWholeFile(path);
    const QString text = FileSystem::DecodeText(bytes);
    measured.firstScreenMs = double(timer.nsecsElapsed()) / 1e6;
    measured.peakKilobytes = StatusKilobytes("self", "VmHWM:") - before;
    return measured;
}

// The page: the main window on a prefix holding the report, its "FindVirus" button clicked.
Measured ProbePage(const QString& prefix) {
    Measured measured;
    BenchWindow window(prefix);
    TMainForm& form = window.form();
    form.Main.PageControl->setCurrentWidget(form.Main.ViewSheet);
    ShowAndSettle(form);
    const long before = StatusKilobytes("self", "VmRSS:");
    QElapsedTimer timer;
    timer.start();
    form.View.btnFVrep->click();
    measured.firstScreenMs = Settle(form, timer);
    measured.longestStallMs = LongestStall(*form.View.ViewWin);
    measured.peakKilobytes = StatusKilobytes("self", "VmHWM:") - before;
    if (window.prompts.shown != 0 || form.View.LabViewName->text() != "FindVirus report:")
        measured.firstScreenMs = -1;
    return measured;
}

// Runs this program again as a probe of one side and reads what it measured.
Measured Probe(const char* side, const QString& prefix) {
    QProcess probe;
    probe.start(QCoreApplication::applicationFilePath(), {QString("--probe=") + side, prefix});
    Measured measured{-1, -1, -1};
    if (!probe.waitForFinished(-1) || probe.exitCode() != 0)
        return measured;
    const QList<QByteArray> figures = probe.readAllStandardOutput().simplified().split(' ');
    if (figures.size() == 3) {
        measured.firstScreenMs = figures[0].toDouble();
        measured.longestStallMs = figures[1].toDouble();
        measured.peakKilobytes = figures[2].toLong();
    }
    return measured;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ReportPage(benchmark::State& state) {
    const qint64 size = state.range(0) << 20;
    const int rounds = int(state.range(1));
    QTemporaryDir prefix;
    const QString report = prefix.filePath("FindViru.Rep");
    WriteReport(report, size);
    const qint64 bytes = QFile(report).size();
    const char* const sides[] = {"floor", "page"};
    constexpr int Sides = 2;
    std::vector<Measured> figures[Sides];
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < Sides; ++i) {
                const int side = (i + round) % Sides; // each side first in turn
                figures[side].push_back(Probe(sides[side], prefix.path()));
                if (figures[side].back().firstScreenMs < 0) {
                    state.SkipWithError((std::string(sides[side]) + " failed").c_str());
                    return;
                }
            }
        }
    }
    const auto median = [&](int side, double Measured::*field) {
        std::vector<double> values;
        for (const Measured& m : figures[side])
            values.push_back(m.*field);
        return Median(values);
    };
    const auto medianPeak = [&](int side) {
        std::vector<double> values;
        for (const Measured& m : figures[side])
            values.push_back(double(m.peakKilobytes) * 1024 / double(bytes));
        return Median(values);
    };
    const double floor = median(0, &Measured::firstScreenMs);
    for (int side = 0; side < Sides; ++side) {
        const std::string name = sides[side];
        state.counters[name + "_ms"] = median(side, &Measured::firstScreenMs);
        state.counters[name + "_peak_x"] = medianPeak(side);
        if (side > 0) {
            state.counters[name + "_x"] = median(side, &Measured::firstScreenMs) / floor;
            state.counters[name + "_stall_ms"] = median(side, &Measured::longestStallMs);
        }
    }
}
// Sizes in MiB, rounds.
BENCHMARK(BM_ReportPage)
    ->Args({50, 3})
    ->Args({1024, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int RunProbe(const char* side, const QString& prefix) {
    int count = 1;
    char name[] = "ReportViewBench";
    char* arguments[] = {name, nullptr};
    QApplication app(count, arguments);
    SetUpApplication(app);
    const QString report = prefix + "/FindViru.Rep";
    Measured measured;
    if (std::strcmp(side, "floor") == 0)
        measured = ProbeFloor(report);
    else
        measured = ProbePage(prefix + "/");
    std::printf("%.3f %.3f %ld\n", measured.firstScreenMs, measured.longestStallMs,
                measured.peakKilobytes);
    return measured.firstScreenMs < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strncmp(argv[1], "--probe=", 8) == 0)
        return RunProbe(argv[1] + 8, QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
