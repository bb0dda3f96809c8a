#include "BenchSupport.h"

#include "definitions/Services.h"
#include "shell/AVTKmain.h"
#include "shell/Application.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

MessageAnswer SilentPrompts::message(MessageKind, const QString&, MessageButtons) {
    ++shown;
    return MessageAnswer::Cancel;
}

namespace {

const QString ProgramKey = "Software\\Tesmarine\\Vallorin";

void WriteValues(SettingsStore& store, const QString& key,
                 const QList<QPair<QString, QString>>& values) {
    store.openKey(key, true);
    for (const auto& [name, value] : values)
        store.writeString(name, value);
    store.closeKey();
}

} // namespace

BenchPrefix::BenchPrefix(int scans, int checks, int files, int lists) {
    QDir(folder()).mkpath("dosdevices");
    QDir(folder()).mkpath("toolkit");
    for (int i = 0; i < files; ++i) {
        const QString name =
            i < lists ? QString("list%1.lst").arg(i) : QString("file%1.dat").arg(i);
        QFile(toolkitFolder() + name).open(QIODevice::WriteOnly);
    }
    for (const char* program : {"WFindV32.exe", "WViVer32.exe", "CleanBoo.exe", "tk_Sched.exe"}) {
        QFile file(toolkitFolder() + program);
        file.open(QIODevice::WriteOnly);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    SettingsStore store(folder());
    store.setRootKey(RootKey::LocalMachine);
    WriteValues(store, "SOFTWARE\\Dr Solomon's Software\\Anti-Virus",
                {{"InstallPath", toolkitFolder()}});
    store.setRootKey(RootKey::CurrentUser);
    for (int i = 0; i < scans; ++i)
        WriteValues(store, ProgramKey + "\\Find\\Scan " + QString::number(i),
                    {{"Drives", "CD"},        {"Exe", "1"},
                     {"Data", "0"},           {"Archives", "0"},
                     {"Compressed", "0"},     {"Boot", "1"},
                     {"Partition", "1"},      {"MemCheck", "1"},
                     {"Floppies", "0"},       {"Beep", "1"},
                     {"ExtErr", "0"},         {"PrgH", "0"},
                     {"MacH", "0"},           {"Exit", "0"},
                     {"PreventExit", "0"},    {"CheckList", "list7"},
                     {"Extra Drv", "(None)"}, {"Detail", "0"},
                     {"Report", "1"},         {"+Report", "0"},
                     {"Print", "0"},          {"LastScan", "35711.6284722222"}});
    for (int i = 0; i < checks; ++i)
        WriteValues(store, ProgramKey + "\\Verify\\Check " + QString::number(i),
                    {{"Drives", "C"},
                     {"Boot", "1"},
                     {"Partition", "1"},
                     {"PreventExit", "0"},
                     {"Keyword", "1"},
                     {"Key", "None"},
                     {"Algorithm", "CCITT CRC"},
                     {"Turbo", "1"},
                     {"Bytes", "5"},
                     {"Beep", "1"},
                     {"Detail", "0"},
                     {"Print", "0"},
                     {"Report", "0"},
                     {"CheckDate", "35711.5"}});
    WriteValues(store, ProgramKey + "\\Find", {{"Selected", "Scan 100"}});
    WriteValues(store, ProgramKey + "\\Verify", {{"Selected", "Check 100"}});
}

BenchWindow::BenchWindow(const QString& prefix)
    : window(std::make_unique<TMainForm>(
          Services{prefix, QApplication::applicationFilePath(), prompts, starter, help, dialogs})) {
    ShowAndSettle(*window);
}

BenchWindow::~BenchWindow() = default;

std::unique_ptr<QWidget> BareTabWindow() {
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    auto* tabs = new QTabWidget;
    for (const char* caption : {"Virus Scan", "Repair", "Disk Integrity", "WinGuard", "View"})
        tabs->addTab(new QWidget, caption);
    layout->addWidget(tabs);
    window->resize(400, 450);
    ShowAndSettle(*window);
    return window;
}

void ShowAndSettle(QWidget& window) {
    window.show();
    QApplication::processEvents();
    // A paint of the whole window, as its first exposure asks for.
    window.grab();
}

long ResidentKilobytes() {
    return StatusKilobytes("self", "VmRSS:");
}

long StatusKilobytes(const std::string& process, const char* field) {
    std::ifstream status("/proc/" + process + "/status");
    std::string word;
    while (status >> word) {
        if (word == field) {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes;
        }
    }
    return -1;
}

int RunBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    // The first window of a process loads the fonts: paid here, by neither figure.
    BareTabWindow();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
