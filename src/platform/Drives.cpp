#include "platform/Drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool isDriveLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

QString withSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool entryExists(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

namespace Drives {

QString DriveRoot(const QString& prefixFolder, QChar letter) {
    if (!isDriveLetter(letter))
        return {};
    const QString devices = withSlash(prefixFolder) + "dosdevices/";
    // The lower-case name is the prefix's own spelling; an upper-case one, made by hand, serves
    // too.
    QString entry = devices + letter.toLower() + u':';
    if (!entryExists(entry)) {
        entry = devices + letter.toUpper() + u':';
        if (!entryExists(entry))
            return {};
    }
    const QFileInfo info(entry);
    if (!info.isSymLink())
        return entry;
    // A relative link target is relative to the folder holding the link.
    const QString target = QDir(devices).absoluteFilePath(info.symLinkTarget());
    return QDir::cleanPath(target);
}

bool DriveRootReady(const QString& prefixFolder, QChar letter) {
    const QString root = DriveRoot(prefixFolder, letter);
    if (root.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(root);
    struct stat st;
    if (::stat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // A volume that cannot be listed is of no use to a scan: count it as not ready.
    if (::access(name.constData(), R_OK | X_OK) != 0)
        return false;
    struct statvfs vfs;
    return ::statvfs(name.constData(), &vfs) == 0;
}

QString NativePath(const QString& prefixFolder, const QString& path) {
    QString native = path;
    native.replace(u'\\', u'/');
    if (native.size() < 2 || native[1] != u':' || !isDriveLetter(native[0]))
        return native;
    const QString root = DriveRoot(prefixFolder, native[0]);
    if (root.isEmpty())
        return native; // "Q:/..." names nothing on this system, which is the truth
    QString rest = native.mid(2);
    if (!rest.startsWith(u'/'))
        rest.prepend(u'/');
    return (root.endsWith(u'/') ? root.chopped(1) : root) + rest;
}

} // namespace Drives
