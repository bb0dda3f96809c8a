// The toolkit's scanner against clamscan and clamd + clamdscan on the same trees and the same
// database, in one run, interleaved: 20,000 small files, 500 MB of files of 5-45 MB, a tree of
// archives. Prints, per tree, the median files per second of the scanner through the engine
// service (loaded, nothing cached), of the scanner on an engine of its own and of clamscan,
// clamdscan's first (uncached) round, the peak memory of the scanner on its own engine and of
// clamscan, and whether all found the same files. A timing program rather than a Google Benchmark:
// each measurement is a whole process, its peak memory comes from the kernel's account of the
// child.
//
//   ScannerBench [--rounds=N] [--small=N] [--large-mb=N] [--archives=N]
#include "BenchData.h"
#include "BenchOptions.h"
#include "engine/SharedEngine.h"
#include "engine/Signatures.h"
#include "lib/Zip.h"
#include "platform/InstallLayout.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray Marker = "BENCH-MARKER-SIGNATURE";

struct Tree {
    QString name, folder;
    int files = 0;
};

struct Run {
    double seconds = 0;
    long peakKb = 0;
    int exitCode = -1;
};

// The peak resident memory of a running process's own program, in kB. The kernel's account
// of a child (wait4's ru_maxrss) would not do: a process started by posix_spawn carries the peak
// of the benchmark that started it across its exec.
long PeakKb(pid_t pid) {
    return ProcKb(pid, "status", "VmHWM");
}

// Starts a program, waits for it, and reads its time and peak memory (read every 2 ms while it
// runs, so a growth in its last 2 ms is missed).
Run Measure(const QStringList& command, const QString& workingFolder, const QString& output) {
    Run run;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = Spawn(command, workingFolder, output);
    if (pid < 0)
        return run;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        run.peakKb = std::max(run.peakKb, PeakKb(pid));
        ::usleep(2000);
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files each scanner reported, relative to the tree (a finding inside an archive counts for
// the archive).
std::set<QString> OurFindings(const QString& report) {
    static const QRegularExpression line("^T:\\\\([^>]*?)(?: > .*)?  Infected: \\S+$");
    std::set<QString> found;
    for (const QString& l : QString::fromUtf8(ReadAll(report)).split("\r\n")) {
        const auto match = line.match(l);
        if (match.hasMatch())
            found.insert(match.captured(1).replace('\\', '/'));
    }
    return found;
}
std::set<QString> TheirFindings(const QString& output, const QString& tree) {
    static const QRegularExpression line("^(.*): \\S+ FOUND$");
    std::set<QString> found;
    for (const QString& l : QString::fromUtf8(ReadAll(output)).split('\n')) {
        const auto match = line.match(l);
        if (match.hasMatch())
            found.insert(match.captured(1).mid(tree.size() + 1));
    }
    return found;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int rounds = IntOption(args, "rounds", 3);
    const int smallFiles = IntOption(args, "small", 20000);
    const int largeMb = IntOption(args, "large-mb", 500);
    const int archives = IntOption(args, "archives", 2000);
    const QString clamscan = QStandardPaths::findExecutable("clamscan");
    const QString clamd = QStandardPaths::findExecutable("clamd", {"/usr/sbin", "/usr/bin"});
    const QString clamdscan = QStandardPaths::findExecutable("clamdscan");
    if (clamscan.isEmpty() || clamd.isEmpty() || clamdscan.isEmpty()) {
        std::fprintf(stderr, "clamscan, clamd and clamdscan are needed (scripts/deps.sh test)\n");
        return 1;
    }
    QTemporaryDir temp(QDir::tempPath() + "/avtk-bench-XXXXXX");
    const QString toolkit = temp.path() + "/toolkit/";
    QDir().mkpath(toolkit + "Signatures");
    for (const QString program : {"WFindV32.exe", "AVEngine.exe"})
        QFile::copy(InstallLayout::ToolkitFolder(QCoreApplication::applicationDirPath()) + program,
                    toolkit + program);
    const QByteArray eicar = avtk::EicarTestString();
    const QByteArray hashed = "a file known by its hash\n";

    // The database both scanners load: the test file, a marker, a hash, and a thousand more of
    // each kind so that matching has work to do.
    Bytes random;
    QByteArray ndb =
        "Bench.Eicar:0:0:" + eicar.toHex() + "\nBench.Marker:0:*:" + Marker.toHex() + "\n";
    QByteArray hdb = QCryptographicHash::hash(hashed, QCryptographicHash::Md5).toHex() + ':' +
                     QByteArray::number(hashed.size()) + ":Bench.Hashed\n";
    for (int i = 0; i < 1000; ++i) {
        ndb += "Bench.Random" + QByteArray::number(i) + ":0:*:" + random.next(12).toHex() + "\n";
        hdb += random.next(16).toHex() + ":" + QByteArray::number(1000 + i) + ":Bench.Hash" +
               QByteArray::number(i) + "\n";
    }
    Write(toolkit + "Signatures/bench.ndb", ndb);
    Write(toolkit + "Signatures/bench.hdb", hdb);

    std::fprintf(stderr, "Building the trees in %s...\n", qPrintable(temp.path()));
    std::vector<Tree> trees;
    {
        Tree tree{QString("%L1 small files").arg(smallFiles), temp.path() + "/small", smallFiles};
        for (int i = 0; i < smallFiles; ++i) {
            QByteArray content = random.next(512 + (i % 16) * 256);
            if (i % 1000 == 7)
                content = eicar;
            else if (i % 1000 == 500)
                content += Marker;
            else if (i % 5000 == 42)
                content = hashed;
            Write(QString("%1/d%2/f%3.%4")
                      .arg(tree.folder)
                      .arg(i / 100)
                      .arg(i)
                      .arg(i % 3 ? "exe" : "dat"),
                  content);
        }
        trees.push_back(tree);
    }
    {
        // 5 to 45 MB, so that some files are above the scanner's read-whole limit (16 MB) and
        // the tree measures both ways of scanning a large file.
        static constexpr int Sizes[] = {5, 12, 20, 8, 45};
        Tree tree{QString("%1 MB of files of 5-45 MB").arg(largeMb), temp.path() + "/large", 0};
        for (int total = 0; total < largeMb; ++tree.files) {
            const int mb = Sizes[tree.files % std::size(Sizes)];
            QByteArray content = random.next(mb * 1024 * 1024);
            if (tree.files % 5 == 2)
                content.replace(content.size() / 2, Marker.size(), Marker);
            Write(QString("%1/big%2.bin").arg(tree.folder).arg(tree.files), content);
            total += mb;
        }
        trees.push_back(tree);
    }
    {
        Tree tree{"a tree of archives", temp.path() + "/archives", archives};
        for (int i = 0; i < archives; ++i) {
            QList<Zip::Input> members;
            for (int m = 0; m < 10; ++m)
                members.append({QString("member%1.dat").arg(m), random.next(2048), m % 2 == 0});
            if (i % 100 == 5)
                members.append({"inner.zip", Zip::Write({{"x.com", eicar}}), false});
            if (i % 100 == 50)
                members.append({"marked.txt", "text " + Marker});
            Write(QString("%1/a%2/z%3.zip").arg(tree.folder).arg(i / 100).arg(i),
                  Zip::Write(members));
        }
        trees.push_back(tree);
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("AVTK_CLAMAV_DATABASE", QFile::encodeName(temp.path() + "/no-system-database"));
    // The engine service in a runtime folder of the benchmark's own, started by the first scan.
    QDir().mkpath(temp.path() + "/run");
    QFile::setPermissions(temp.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(temp.path() + "/run"));
    // clamd on the same database, with clamscan's limits (its own defaults are the same).
    const QString config = temp.path() + "/clamd.conf";
    const QString socket = temp.path() + "/clamd.sock";
    Write(config, QString("LocalSocket %1\nDatabaseDirectory %2\nForeground yes\n"
                          "TemporaryDirectory %3\nLogFile %3/clamd.log\n")
                      .arg(socket, toolkit + "Signatures", temp.path())
                      .toUtf8());
    const pid_t daemon =
        Spawn({clamd, "--config-file=" + config}, temp.path(), temp.path() + "/clamd.out");
    for (int i = 0; i < 6000 && !QFileInfo::exists(socket); ++i)
        QThread::msleep(10);

    const QString prefix = temp.path() + "/prefix";
    QDir().mkpath(prefix + "/dosdevices");
    QDir().mkpath(temp.path() + "/empty");
    QFile::link(temp.path() + "/empty", prefix + "/dosdevices/u:");
    const QStringList loadService = {toolkit + "WFindV32.exe", "/D=u:", "/NM", "/NOBOOT"};
    std::printf("%-24s %7s | %9s %9s %9s %9s %6s %6s | %8s %8s %6s | %s\n", "tree", "files",
                "svc f/s", "own f/s", "clam f/s", "clamd1st", "/clam", "/clamd", "own MB",
                "clam MB", "memory", "findings");
    for (const Tree& tree : trees) {
        QFile::remove(prefix + "/dosdevices/t:");
        QFile::link(tree.folder, prefix + "/dosdevices/t:");
        const QStringList ours = {
            toolkit + "WFindV32.exe", "/D=t:", "/DOALLFILES", "/U", "/PACK", "/NM", "/NOBOOT",
            "/REPORT=bench.Rep"};
        // The same work for clamscan: no image parsing, no heuristic alerts (as without /ANALYSE).
        const QStringList theirs = {clamscan,
                                    "-r",
                                    "--no-summary",
                                    "--infected",
                                    "-d",
                                    toolkit + "Signatures",
                                    "--heuristic-alerts=no",
                                    "--scan-image=no",
                                    "--scan-image-fuzzy-hash=no",
                                    tree.folder};
        const QStringList daemonScan = {clamdscan,    "--config-file=" + config,
                                        "--fdpass",   "--multiscan",
                                        "--infected", "--no-summary",
                                        tree.folder};
        const QString theirOutput = temp.path() + "/clamscan.out";
        const QString daemonOutput = temp.path() + "/clamdscan.out";
        const QString ourOutput = temp.path() + "/ours.out";
        // A first run of each warms the page cache and gives the findings; clamd's first round
        // of a tree is the one it has no results cached for.
        qputenv("AVTK_ENGINE", "own");
        Measure(ours, prefix, ourOutput);
        qunsetenv("AVTK_ENGINE");
        Measure(theirs, prefix, theirOutput);
        const double daemonFirst = Measure(daemonScan, prefix, daemonOutput).seconds;
        const std::set<QString> found = OurFindings(prefix + "/bench.Rep");
        const bool same = found == TheirFindings(theirOutput, tree.folder) &&
                          found == TheirFindings(daemonOutput, tree.folder);
        std::vector<double> serviceTimes, ownTimes, theirTimes;
        long ownPeak = 0, theirPeak = 0;
        for (int round = 0; round < rounds; ++round) {
            // The engine keeps the clean files it saw: each round on a service loaded anew (by
            // a scan of an empty drive), so that it is uncached, as clamd's first round.
            QString why;
            avtk::ServiceClient::Stop(toolkit, why);
            Measure(loadService, prefix, ourOutput);
            serviceTimes.push_back(Measure(ours, prefix, ourOutput).seconds);
            qputenv("AVTK_ENGINE", "own");
            const Run own = Measure(ours, prefix, ourOutput);
            qunsetenv("AVTK_ENGINE");
            const Run b = Measure(theirs, prefix, theirOutput);
            ownTimes.push_back(own.seconds);
            theirTimes.push_back(b.seconds);
            ownPeak = std::max(ownPeak, own.peakKb);
            theirPeak = std::max(theirPeak, b.peakKb);
        }
        const double serviceRate = tree.files / Median(serviceTimes);
        const double theirRate = tree.files / Median(theirTimes);
        const double daemonRate = tree.files / daemonFirst;
        std::printf("%-24s %7d | %9.0f %9.0f %9.0f %9.0f %5.2fx %5.2fx | %8.1f %8.1f %5.2fx | "
                    "%s (%zu files)\n",
                    qPrintable(tree.name), tree.files, serviceRate, tree.files / Median(ownTimes),
                    theirRate, daemonRate, serviceRate / theirRate, serviceRate / daemonRate,
                    ownPeak / 1024.0, theirPeak / 1024.0, double(ownPeak) / double(theirPeak),
                    same ? "same" : "DIFFERENT", found.size());
        std::fflush(stdout);
    }
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
    QString why;
    avtk::ServiceClient::Stop(toolkit, why);
    return 0;
}
