// The toolkit's scanner against clamscan on the same trees and the same database, in one run,
// interleaved: 20,000 small files, 500 MB of files of 5-45 MB, a tree of archives. Prints, per
// tree, the median files per second and the peak memory of each, their ratios, and whether both
// found the same files. A timing program rather than a Google Benchmark: each measurement is a
// whole process, its peak memory comes from the kernel's account of the child.
//
//   ScannerBench [--rounds=N] [--small=N] [--large-mb=N] [--archives=N]
#include "BenchData.h"
#include "BenchOptions.h"
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

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
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

// Starts a program, waits for it, and reads its time and peak memory.
Run Measure(const QStringList& command, const QString& workingFolder, const QString& output) {
    Run run;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = Spawn(command, workingFolder, output);
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.peakKb = usage.ru_maxrss;
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
    if (clamscan.isEmpty()) {
        std::fprintf(stderr, "clamscan is not installed (Debian package clamav)\n");
        return 1;
    }
    QTemporaryDir temp(QDir::tempPath() + "/avtk-bench-XXXXXX");
    const QString toolkit = temp.path() + "/toolkit/";
    QDir().mkpath(toolkit + "Signatures");
    QFile::copy(InstallLayout::ToolkitFolder(QCoreApplication::applicationDirPath()) +
                    "WFindV32.exe",
                toolkit + "WFindV32.exe");
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
    const QString prefix = temp.path() + "/prefix";
    QDir().mkpath(prefix + "/dosdevices");
    std::printf("%-24s %7s | %9s %9s %6s | %8s %8s %6s | %s\n", "tree", "files", "ours f/s",
                "clam f/s", "speed", "ours MB", "clam MB", "memory", "findings");
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
        const QString theirOutput = temp.path() + "/clamscan.out";
        const QString ourOutput = temp.path() + "/ours.out";
        // A first run of each warms the page cache and gives the findings.
        Measure(ours, prefix, ourOutput);
        Measure(theirs, prefix, theirOutput);
        const bool same =
            OurFindings(prefix + "/bench.Rep") == TheirFindings(theirOutput, tree.folder);
        const size_t found = OurFindings(prefix + "/bench.Rep").size();
        std::vector<double> ourTimes, theirTimes;
        long ourPeak = 0, theirPeak = 0;
        for (int round = 0; round < rounds; ++round) {
            const Run a = Measure(ours, prefix, ourOutput);
            const Run b = Measure(theirs, prefix, theirOutput);
            ourTimes.push_back(a.seconds);
            theirTimes.push_back(b.seconds);
            ourPeak = std::max(ourPeak, a.peakKb);
            theirPeak = std::max(theirPeak, b.peakKb);
        }
        const double ourRate = tree.files / Median(ourTimes);
        const double theirRate = tree.files / Median(theirTimes);
        std::printf("%-24s %7d | %9.0f %9.0f %5.2fx | %8.1f %8.1f %5.2fx | %s (%zu files)\n",
                    qPrintable(tree.name), tree.files, ourRate, theirRate, ourRate / theirRate,
                    ourPeak / 1024.0, theirPeak / 1024.0, double(ourPeak) / double(theirPeak),
                    same ? "same" : "DIFFERENT", found);
        std::fflush(stdout);
    }
    return 0;
}
