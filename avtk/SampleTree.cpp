// Builds the sample drive of the demo: a few ordinary files, the EICAR anti-virus test file under
// a program's name, the same inside a zip archive, and a file that only the demo's extra driver
// recognises; the scanner finds the first two with the signatures it ships. With a second
// argument, also a 1.44 MB floppy image whose boot sector carries the toolkit's test signature,
// for CleanBoo to clean.
#include "engine/Signatures.h"
#include "lib/BootSector.h"
#include "lib/Zip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool Put(const QString& folder, const QString& name, const QByteArray& content) {
    const QString path = folder + u'/' + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(content) == content.size())
        return true;
    std::fprintf(stderr, "Cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2 && arguments.size() != 3) {
        std::fprintf(stderr, "usage: vallorin-sample-tree FOLDER [FLOPPY-IMAGE]\n");
        return 2;
    }
    const QString folder = arguments[1];
    const QByteArray eicar = avtk::EicarTestString();
    const QByteArray readme =
        "This folder is the sample drive T: of the Vallorin demo.\r\n"
        "tools\\eicar.com and archive\\tools.zip hold the EICAR anti-virus "
        "test file, which is harmless and which every scanner recognises.\r\n";
    // A DOS program of one instruction, "ret": it ends as soon as it starts.
    const QByteArray ret("\xC3", 1);
    bool ok =
        Put(folder, "readme.txt", readme) &&
        Put(folder, "letters/letter.doc", "Dear reader,\r\nthis is an ordinary letter.\r\n") &&
        Put(folder, "letters/budget.xls", "Month;Amount\r\nJanuary;100\r\n") &&
        Put(folder, "tools/ret.com", ret) && Put(folder, "tools/eicar.com", eicar) &&
        Put(folder, "tools/marked.bin",
            "sample data with the demo's own VALLORIN-SAMPLE-SIGNATURE in it\r\n") &&
        Put(folder, "archive/tools.zip",
            Zip::Write({{"readme.txt", readme, true},
                        {"bin/eicar.com", eicar, true},
                        {"bin/ret.com", ret, false}}));
    if (ok && arguments.size() == 3) {
        const BootSector::Bpb bpb = BootSector::StandardBpb(BootSector::FloppyType::Mb144);
        QByteArray boot = BootSector::CleanSector(bpb, {});
        // The boot code replaced by a "virus" that the toolkit's own test signature names.
        const QByteArray virus = QByteArray("AVTK-TEST-") + "SIGNATURE in a boot sector";
        boot.replace(62, virus.size(), virus);
        QByteArray image = boot + QByteArray(int(bpb.bytes()) - BootSector::Size, '\0');
        // The two FATs' first entries (media byte, end marks), as a formatted disk has them.
        for (const int fat : {1, 1 + bpb.sectorsPerFat})
            image.replace(fat * BootSector::Size, 3, QByteArray::fromHex("f0ffff"));
        const QFileInfo floppy(arguments[2]);
        ok = Put(floppy.absolutePath(), floppy.fileName(), image);
    }
    return ok ? 0 : 1;
}
