#include "platform/FileSystem.h"
#include "shell/ReportViewer.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype ReportSize = 50 * 1024 * 1024;

// A report of scanner-like lines, about 50 MB, written once per run.
class ReportFile {
public:
    ReportFile() {
        QByteArray text;
        text.reserve(ReportSize + 200);
        for (int n = 0; text.size() < ReportSize; ++n)
            text += "C:\\WINDOWS\\SYSTEM\\FILE" + QByteArray::number(n) +
                    ".DLL    scanned, no virus found    12/10/97 15:05\r\n";
        path = dir.filePath("FindViru.Rep");
        FileSystem::WriteWholeFile(path, text);
    }
    QTemporaryDir dir;
    QString path;
};

const ReportFile& Report() {
    static const ReportFile report;
    return report;
}

// The floor: reading and decoding the file, which any view has to do.
void BM_ReadReport(benchmark::State& state) {
    const QString& path = Report().path;
    for (auto _ : state) {
        QString text = FileSystem::DecodeText(FileSystem::ReadWholeFile(path));
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * ReportSize);
}
BENCHMARK(BM_ReadReport)->Unit(benchmark::kMillisecond);

// The viewer: the same file into a shown view, until the window has handled what it caused.
void BM_ViewReport(benchmark::State& state) {
    const QString& path = Report().path;
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setUndoRedoEnabled(false);
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    view.resize(369, 290);
    view.show();
    for (auto _ : state) {
        LoadFileIntoView(&view, path);
        QCoreApplication::processEvents();
        view.repaint();
    }
    state.SetBytesProcessed(state.iterations() * ReportSize);
}
BENCHMARK(BM_ViewReport)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
