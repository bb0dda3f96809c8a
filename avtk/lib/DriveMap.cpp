#include "lib/DriveMap.h"
#include "platform/ErrnoText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace DriveMap {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct Walker {
    const Drive& drive;
    const WalkLimits& limits;
    const std::function<bool(const WalkedFile&)>& visit;
    dev_t device;
    WalkSummary summary;

    void skip(const QString& drivePath, const QString& reason) {
        summary.skipped << drivePath + ": " + reason;
        summary.skippedFolders << drivePath;
    }

    // Returns false when the walk is to end.
    bool folder(int parentFd, const std::string& name, const QString& path,
                const QString& drivePath, int depth) {
        if (depth > limits.maxDepth) {
            skip(drivePath, "folders nested too deep");
            return true;
        }
        const int fd =
            ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            skip(drivePath, ErrnoText(errno));
            return true;
        }
        std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
        if (!dir) {
            skip(drivePath, ErrnoText(errno));
            ::close(fd);
            return true;
        }
        std::vector<std::string> names;
        while (dirent* entry = ::readdir(dir.get())) {
            const std::string entryName = entry->d_name;
            if (entryName != "." && entryName != "..")
                names.push_back(entryName);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& entryName : names) {
            struct stat st;
            if (::fstatat(fd, entryName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // vanished meanwhile
            const QString shown = QFile::decodeName(entryName.c_str());
            const QString childPath = path + u'/' + shown;
            const QString childDrivePath =
                drivePath.endsWith(u'\\') ? QString(drivePath + shown) : drivePath + u'\\' + shown;
            if (S_ISDIR(st.st_mode)) {
                if (st.st_dev != device) {
                    skip(childDrivePath, "another file system");
                    continue;
                }
                if (!folder(fd, entryName, childPath, childDrivePath, depth + 1))
                    return false;
            } else if (S_ISREG(st.st_mode)) {
                if (summary.files >= limits.maxFiles) {
                    summary.capped = true;
                    return false;
                }
                ++summary.files;
                if (!visit(WalkedFile{childPath, childDrivePath, qint64(st.st_size)})) {
                    summary.stopped = true;
                    return false;
                }
            }
            // Links, devices, sockets and pipes are not files of the drive.
        }
        return true;
    }
};

} // namespace

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
    struct stat st;
    const QByteArray root = QFile::encodeName(drive.root);
    if (::stat(root.constData(), &st) != 0) {
        WalkSummary summary;
        summary.skipped << QString("%1:\\: %2").arg(drive.letter).arg(ErrnoText(errno));
        summary.skippedFolders << QString(drive.letter) + ":\\";
        return summary;
    }
    Walker walker{drive, limits, visit, st.st_dev, {}};
    walker.folder(AT_FDCWD, root.toStdString(), drive.root, QString(drive.letter) + ":\\", 0);
    return walker.summary;
}

} // namespace DriveMap
