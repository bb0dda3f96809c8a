#include "engine/Signatures.h"

#include "engine/Engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <clamav.h>

#include <algorithm>

namespace avtk {

QByteArray EicarTestString() {
    QByteArray s = "X5O!P%@AP[4\\";
    s += "PZX54(P^)7CC)7}$";
    s += "EICAR-STANDARD-";
    s += "ANTIVIRUS-";
    s += "TEST-FILE!$H+H*";
    return s;
}

QString SystemDatabaseFolder() {
    const QString named = qEnvironmentVariable("AVTK_CLAMAV_DATABASE");
    return named.isEmpty() ? QString::fromLocal8Bit(cl_retdbdir()) : named;
}

std::vector<std::string> DatabaseFiles(const QString& folder) {
    // The extensions of ClamAV's databases; anything else in the folder (freshclam's state,
    // temporary files) is not a database.
    static const QStringList known = {
        "cvd", "cld", "cud", "hdb", "hsb", "hdu",  "hsu",  "mdb", "msb",  "mdu",  "msu",
        "ndb", "ndu", "ldb", "ldu", "idb", "fp",   "sfp",  "gdb", "pdb",  "wdb",  "cbc",
        "cdb", "crb", "cat", "ftm", "ign", "ign2", "info", "yar", "yara", "pwdb", "sdb"};
    std::vector<std::string> files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries)
        if (known.contains(entry.suffix().toLower()))
            files.push_back(QFile::encodeName(entry.filePath()).toStdString());
    return files;
}

namespace {

bool IsSignatureLine(const QByteArray& line) {
    return !line.isEmpty() && !line.startsWith('#') && !line.startsWith(';');
}

} // namespace

std::optional<QString> DriverFormat(const QByteArray& text, QString& reason) {
    // hdb: hash:size:name (MD5, SHA-1 or SHA-256; size a number or *).
    static const QRegularExpression hdb(
        "^([0-9a-fA-F]{32}|[0-9a-fA-F]{40}|[0-9a-fA-F]{64}):(\\d+|\\*):[^:]+(:\\d+)?$");
    // ndb: name:target type:offset:hex signature[:min level[:max level]].
    static const QRegularExpression ndb(
        "^[^:]+:\\d+:[^:]+:[0-9a-fA-F?*(){}\\[\\]|!\\-]+(:\\d+){0,2}$");
    QString format;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (!IsSignatureLine(line))
            continue;
        const QString shape = hdb.match(QString::fromLatin1(line)).hasMatch()   ? "hdb"
                              : ndb.match(QString::fromLatin1(line)).hasMatch() ? "ndb"
                                                                                : QString();
        if (shape.isEmpty()) {
            reason = QString("line %1 is neither an .ndb nor an .hdb signature").arg(number);
            return std::nullopt;
        }
        if (!format.isEmpty() && format != shape) {
            reason = QString("line %1 is an .%2 signature among .%3 ones")
                         .arg(number)
                         .arg(shape, format);
            return std::nullopt;
        }
        format = shape;
    }
    if (format.isEmpty()) {
        reason = "it holds no signatures";
        return std::nullopt;
    }
    return format;
}

QByteArray DriverSignatures(const QByteArray& text) {
    QByteArray lines;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (IsSignatureLine(line))
            lines += line + '\n';
    }
    return lines;
}

namespace {

// Loads one file into the engine, counting it or telling why it failed.
void LoadFile(Engine& engine, LoadSummary& summary, const std::string& path, const QString& shown,
              const std::function<void(const QString&)>& failed) {
    const QString error = engine.load(path);
    if (error.isEmpty())
        ++summary.files;
    else
        failed(QString("Signatures %1 not loaded: %2.").arg(shown, error));
}

} // namespace

LoadSummary LoadSignatures(Engine& engine, const QString& toolkitFolder, const QString& driverPath,
                           const std::function<void(const QString&)>& failed) {
    LoadSummary summary = LoadDatabases(engine, toolkitFolder, failed);
    summary.files += LoadDriver(engine, driverPath, failed).files;
    summary.signatures = engine.signatures();
    return summary;
}

LoadSummary LoadDatabases(Engine& engine, const QString& toolkitFolder,
                          const std::function<void(const QString&)>& failed) {
    LoadSummary summary;
    auto load = [&](const std::string& path, const QString& shown) {
        LoadFile(engine, summary, path, shown, failed);
    };
    for (const std::string& path : DatabaseFiles(toolkitFolder + "/Signatures"))
        load(path, "Signatures/" + QFileInfo(QFile::decodeName(path.c_str())).fileName());
    const QString system = SystemDatabaseFolder();
    if (QFileInfo(system).isDir()) {
        const int before = summary.files;
        for (const std::string& path : DatabaseFiles(system))
            load(path, QFile::decodeName(path.c_str()));
        summary.systemDatabase = summary.files > before;
    }
    summary.signatures = engine.signatures();
    return summary;
}

LoadSummary LoadDriver(Engine& engine, const QString& driverPath,
                       const std::function<void(const QString&)>& failed) {
    LoadSummary summary;
    auto load = [&](const std::string& path, const QString& shown) {
        LoadFile(engine, summary, path, shown, failed);
    };
    if (!driverPath.isEmpty()) {
        const QString name = QFileInfo(driverPath).fileName();
        QFile driver(driverPath);
        QString reason;
        std::optional<QString> format;
        QByteArray text;
        if (!driver.open(QIODevice::ReadOnly))
            reason = driver.errorString();
        else if (driver.size() > 64 * 1024 * 1024)
            reason = "larger than 64 MB";
        else if (text = driver.readAll(); driver.error() != QFileDevice::NoError)
            reason = driver.errorString();
        else
            format = DriverFormat(text, reason);
        // The engine knows a format by the file's extension: the lines go to a copy that has it.
        QTemporaryDir temporary;
        if (format) {
            QFile copy(temporary.filePath(QFileInfo(name).completeBaseName() + '.' + *format));
            const QByteArray lines = DriverSignatures(text);
            if (!temporary.isValid() || !copy.open(QIODevice::WriteOnly) ||
                copy.write(lines) != lines.size() || !copy.flush())
                failed(QString("Signatures %1 not loaded: cannot make a copy for the engine: %2.")
                           .arg(name, temporary.isValid() ? copy.errorString()
                                                          : temporary.errorString()));
            else
                load(QFile::encodeName(copy.fileName()).toStdString(), name);
        } else {
            failed(QString("Signatures %1 not loaded: %2.").arg(name, reason));
        }
    }
    summary.signatures = engine.signatures();
    return summary;
}

} // namespace avtk
