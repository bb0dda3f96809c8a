#include "lib/DriveMap.h"

#include "engine/Walk.h"
#include "platform/ErrnoText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <sys/vfs.h>

namespace DriveMap {

QString PrefixFolder() {
    return QDir::currentPath();
}

std::optional<Drive> Find(const QString& prefix, QChar letter, bool disks) {
    const QChar lower = letter.toLower();
    if (lower < u'a' || lower > u'z')
        return std::nullopt;
    const QFileInfo link(prefix + "/dosdevices/" + lower + u':');
    const QString root = link.canonicalFilePath();
    if (root.isEmpty())
        return std::nullopt;
    if (QFileInfo(root).isDir())
        return Drive{letter.toUpper(), root, true};
    struct stat st;
    if (disks && ::stat(QFile::encodeName(root).constData(), &st) == 0 &&
        (S_ISBLK(st.st_mode) || S_ISREG(st.st_mode)))
        return Drive{letter.toUpper(), root, false};
    return std::nullopt;
}

QList<Drive> MappedDrives(const QString& prefix, bool disks) {
    QList<Drive> drives;
    for (char c = 'a'; c <= 'z'; ++c)
        if (auto drive = Find(prefix, QChar(c), disks))
            drives << *drive;
    return drives;
}

bool IsLocal(const Drive& drive) {
    if (drive.letter == u'A' || drive.letter == u'B')
        return false;
    struct statfs fs;
    if (::statfs(QFile::encodeName(drive.root).constData(), &fs) != 0)
        return false;
    // NFS, SMB, CIFS, SMB2, Coda, AFS: the network file systems Linux names by magic number.
    const unsigned long type = static_cast<unsigned long>(fs.f_type);
    for (unsigned long network :
         {0x6969UL, 0x517BUL, 0xFF534D42UL, 0xFE534D42UL, 0x73757245UL, 0x5346414FUL})
        if (type == network)
            return false;
    return true;
}

QList<QChar> ParseDriveList(const QString& list, QStringList& errors) {
    QList<QChar> letters;
    for (const QString& item : list.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = item.trimmed();
        if (trimmed.size() == 2 && trimmed[1] == u':' && trimmed[0].isLetter() &&
            trimmed[0].toLower() >= u'a' && trimmed[0].toLower() <= u'z')
            letters << trimmed[0].toUpper();
        else
            errors << QString("\"%1\" is not a drive (a letter and a colon).").arg(item);
    }
    return letters;
}

QList<Drive> Select(const QString& prefix, bool all, bool local, const QString& list,
                    QStringList& errors, bool disks) {
    QList<Drive> chosen;
    if (all || local) {
        for (const Drive& drive : MappedDrives(prefix, disks))
            if (all || IsLocal(drive))
                chosen << drive;
        return chosen;
    }
    for (QChar letter : ParseDriveList(list, errors)) {
        const bool seen = std::any_of(chosen.begin(), chosen.end(),
                                      [&](const Drive& d) { return d.letter == letter; });
        if (seen)
            continue;
        if (auto drive = Find(prefix, letter, disks))
            chosen << *drive;
        else
            errors << QString("Drive %1: is not ready.").arg(letter);
    }
    return chosen;
}

WalkSummary Walk(const Drive& drive, const WalkLimits& limits,
                 const std::function<bool(const WalkedFile&)>& visit) {
    WalkSummary summary;
    const std::string root = QFile::encodeName(drive.root).toStdString();
    const QString top = QString(drive.letter) + ":\\";
    // The checker names a file by its name as the system decodes it, as its fingerprint files
    // always have, not by the scanner's escaped name. (A QString: a string builder would keep
    // references to the temporaries.)
    const auto drivePath = [&](const std::string& path) -> QString {
        std::string rest = path.substr(std::min(path.size(), root.size()));
        if (!rest.empty() && rest.front() == '/')
            rest.erase(0, 1);
        return top + QFile::decodeName(rest.c_str()).replace(u'/', u'\\');
    };
    avtk::Walk(root, top, {limits.maxDepth}, [&](avtk::WalkEntry&& entry) {
        const bool rootMissing = entry.kind == avtk::WalkEntry::Skipped && entry.path == root;
        if (entry.kind == avtk::WalkEntry::NotEntered || rootMissing) {
            const QString where = drivePath(entry.path);
            summary.skipped << where + ": " + (entry.error ? ErrnoText(entry.error) : entry.reason);
            summary.skippedFolders << where;
            return true;
        }
        if (entry.kind != avtk::WalkEntry::File)
            return true; // links, devices, sockets and pipes are not files of the drive
        if (summary.files >= limits.maxFiles) {
            summary.capped = true;
            return false;
        }
        ++summary.files;
        if (!visit(WalkedFile{QFile::decodeName(entry.path.c_str()), drivePath(entry.path),
                              qint64(entry.size)})) {
            summary.stopped = true;
            return false;
        }
        return true;
    });
    return summary;
}

} // namespace DriveMap
