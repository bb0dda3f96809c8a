// The toolkit's shared engine against clamscan and clamd + clamdscan --fdpass, on a synthetic
// database made here (80 % .hdb hashes, 20 % .ndb body signatures): one small file's result cold
// (no service running: the program starts it) and warm (the service loaded), the cleaner's boot
// sector warm, and the memory of a resident engine with a scan running (PSS summed over the
// processes). A timing program of whole processes, like ScannerBench.
//
//   EngineBench [--signatures=N] [--rounds=N]
#include "BenchData.h"
#include "BenchOptions.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "platform/InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Seconds of a whole run; the exit code through `code`.
double Time(const QStringList& command, const QString& folder, const QString& output,
            int* code = nullptr) {
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = Spawn(command, folder, output);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (code)
        *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return clock.nsecsElapsed() / 1e9;
}

// Proportional set size in kB (memory shared between processes counted once in all).
long PssKb(pid_t pid) {
    return ProcKb(pid, "smaps_rollup", "Pss");
}

std::vector<pid_t> ProcessesOf(const QString& program) {
    std::vector<pid_t> pids;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
        if (entry.toInt() > 0 && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == program)
            pids.push_back(pid_t(entry.toInt()));
    return pids;
}

// The largest PSS of the resident engine and a scan together while the scan runs, in kB.
long PeakWithScan(pid_t resident, const QStringList& scan, const QString& folder,
                  const QString& output) {
    const pid_t pid = Spawn(scan, folder, output);
    long peak = 0;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        peak = std::max(peak, PssKb(resident) + PssKb(pid));
        QThread::msleep(5);
    }
    return peak;
}

bool WaitForSocket(const QString& path, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (QFileInfo(path).exists())
            return true;
        QThread::msleep(10);
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int signatures = IntOption(args, "signatures", 1000000);
    const int rounds = IntOption(args, "rounds", 5);
    const QString clamscan = QStandardPaths::findExecutable("clamscan");
    const QString clamd = QStandardPaths::findExecutable("clamd", {"/usr/sbin", "/usr/bin"});
    const QString clamdscan = QStandardPaths::findExecutable("clamdscan");
    if (clamscan.isEmpty() || clamd.isEmpty() || clamdscan.isEmpty()) {
        std::fprintf(stderr, "clamscan, clamd and clamdscan are needed (scripts/deps.sh test)\n");
        return 1;
    }
    QTemporaryDir temp(QDir::tempPath() + "/avtk-engine-bench-XXXXXX");
    const QString toolkit = temp.path() + "/toolkit";
    QDir().mkpath(toolkit + "/Signatures");
    const QString built = InstallLayout::ToolkitFolder(QCoreApplication::applicationDirPath());
    for (const QString program : {"WFindV32.exe", "AVEngine.exe", "CleanBoo.exe"})
        QFile::copy(built + program, toolkit + '/' + program);
    const QByteArray eicar = avtk::EicarTestString();

    std::fprintf(stderr, "Writing %d signatures...\n", signatures);
    Bytes random;
    QByteArray hdb, ndb = "Bench.Eicar:0:0:" + eicar.toHex() + "\n";
    for (int i = 0; i < signatures; ++i) {
        if (i % 5 == 4)
            ndb += "Bench.Body" + QByteArray::number(i) + ":0:*:" + random.next(16).toHex() + "\n";
        else
            hdb += random.next(16).toHex() + ':' + QByteArray::number(1000 + i % 100000) +
                   ":Bench.Hash" + QByteArray::number(i) + "\n";
    }
    Write(toolkit + "/Signatures/bench.hdb", hdb);
    Write(toolkit + "/Signatures/bench.ndb", ndb);
    hdb.clear();
    ndb.clear();

    // One small file; a floppy image for the cleaner; a tree of small files for the memory.
    const QString one = temp.path() + "/one";
    Write(one + "/small.exe", random.next(2048));
    const QString tree = temp.path() + "/tree";
    for (int i = 0; i < 3000; ++i)
        Write(QString("%1/d%2/f%3.exe").arg(tree).arg(i / 100).arg(i), random.next(4096));
    const QString prefix = temp.path() + "/prefix";
    QDir().mkpath(prefix + "/dosdevices");
    QFile::link(one, prefix + "/dosdevices/t:");
    QFile::link(tree, prefix + "/dosdevices/u:");
    Write(temp.path() + "/floppy.img", QByteArray(1474560, '\0'));
    QFile::link(temp.path() + "/floppy.img", prefix + "/dosdevices/a:");

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(temp.path() + "/run"));
    QDir().mkpath(temp.path() + "/run");
    QFile::setPermissions(temp.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("AVTK_CLAMAV_DATABASE", QFile::encodeName(temp.path() + "/no-system-database"));
    const QString out = temp.path() + "/out";
    const QStringList ours = {toolkit + "/WFindV32.exe", "/D=t:", "/DOALLFILES", "/NM", "/NOBOOT"};
    const QStringList cleaner = {toolkit + "/CleanBoo.exe", "a:", "/4"};
    const QStringList theirs = {clamscan, "--no-summary", "-d", toolkit + "/Signatures",
                                one + "/small.exe"};
    const auto stop = [&] {
        QString why;
        avtk::ServiceClient::Stop(toolkit, why);
    };

    std::vector<double> clamscanTimes, ownTimes, coldTimes, warmTimes, cleanerTimes, clamdTimes;
    for (int round = 0; round < rounds; ++round) {
        clamscanTimes.push_back(Time(theirs, prefix, out));
        qputenv("AVTK_ENGINE", "own");
        ownTimes.push_back(Time(ours, prefix, out));
        qunsetenv("AVTK_ENGINE");
        stop();
        coldTimes.push_back(Time(ours, prefix, out));
        warmTimes.push_back(Time(ours, prefix, out));
        cleanerTimes.push_back(Time(cleaner, prefix, out));
        std::fprintf(stderr, "round %d: clamscan %.2f s, own %.2f s, cold %.2f s, warm %.3f s\n",
                     round + 1, clamscanTimes.back(), ownTimes.back(), coldTimes.back(),
                     warmTimes.back());
    }
    // Memory: the service alone, then with a scan of 3,000 files running.
    const QString service = QFileInfo(toolkit + "/AVEngine.exe").canonicalFilePath();
    const std::vector<pid_t> services = ProcessesOf(service);
    const long serviceAlone = services.empty() ? 0 : PssKb(services[0]);
    const QStringList treeScan = {toolkit + "/WFindV32.exe", "/D=u:", "/DOALLFILES", "/NM",
                                  "/NOBOOT"};
    const long serviceWithScan =
        services.empty() ? 0 : PeakWithScan(services[0], treeScan, prefix, out);
    qputenv("AVTK_ENGINE", "own");
    const long serviceWithOwnScan =
        services.empty() ? 0 : PeakWithScan(services[0], treeScan, prefix, out);
    qunsetenv("AVTK_ENGINE");
    stop();

    // clamd loaded once; clamdscan sends it the open file.
    const QString config = temp.path() + "/clamd.conf";
    const QString socket = temp.path() + "/clamd.sock";
    Write(config, QString("LocalSocket %1\nDatabaseDirectory %2\nForeground yes\n"
                          "TemporaryDirectory %3\nLogFile %3/clamd.log\n")
                      .arg(socket, toolkit + "/Signatures", temp.path())
                      .toUtf8());
    QElapsedTimer loading;
    loading.start();
    const pid_t daemon = Spawn({clamd, "--config-file=" + config}, temp.path(), out + ".clamd");
    const QStringList client = {clamdscan,      "--config-file=" + config,
                                "--fdpass",     "--multiscan",
                                "--no-summary", one + "/small.exe"};
    // Loaded once the first answer comes (the socket may be there before the signatures).
    int answered = -1;
    if (WaitForSocket(socket, 600))
        Time(client, prefix, out, &answered);
    const bool up = answered == 0;
    const double daemonLoad = loading.nsecsElapsed() / 1e9;
    for (int round = 0; up && round < rounds; ++round)
        clamdTimes.push_back(Time(client, prefix, out));
    const long daemonAlone = up ? PssKb(daemon) : 0;
    const long daemonWithScan = up ? PeakWithScan(daemon,
                                                  {clamdscan, "--config-file=" + config, "--fdpass",
                                                   "--multiscan", "--no-summary", tree},
                                                  prefix, out)
                                   : 0;
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);

    std::printf("%d signatures (80 %% .hdb, 20 %% .ndb), one small file, median of %d\n",
                signatures, rounds);
    std::printf("  clamscan                          %8.3f s\n", Median(clamscanTimes));
    std::printf("  ours, own engine (AVTK_ENGINE=own) %8.3f s  %.2fx clamscan\n", Median(ownTimes),
                Median(ownTimes) / Median(clamscanTimes));
    std::printf("  ours, cold (starts the service)   %8.3f s  %.2fx clamscan\n", Median(coldTimes),
                Median(coldTimes) / Median(clamscanTimes));
    std::printf("  ours, warm (service loaded)       %8.3f s\n", Median(warmTimes));
    std::printf("  cleaner's boot sector, warm       %8.3f s\n", Median(cleanerTimes));
    std::printf("  clamdscan --fdpass (clamd loaded) %8.3f s  (clamd loaded in %.1f s)\n",
                Median(clamdTimes), daemonLoad);
    std::printf("memory, PSS (MB): resident alone | with a scan of 3,000 files running | ratio\n");
    std::printf("  service + scanner on it         %8.1f %8.1f  %.2fx\n", serviceAlone / 1024.0,
                serviceWithScan / 1024.0, double(serviceWithScan) / double(serviceAlone));
    std::printf("  service + scanner of its own    %8.1f %8.1f  %.2fx\n", serviceAlone / 1024.0,
                serviceWithOwnScan / 1024.0, double(serviceWithOwnScan) / double(serviceAlone));
    std::printf("  clamd + clamdscan               %8.1f %8.1f  %.2fx\n", daemonAlone / 1024.0,
                daemonWithScan / 1024.0, double(daemonWithScan) / double(daemonAlone));
    return 0;
}
