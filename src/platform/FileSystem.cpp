#include "platform/FileSystem.h"
#include "platform/ErrnoText.h"

#include "platform/VallorinError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The texts this unit shows the user, translatable in the context "FileSystem".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(FileSystem)
};

// lstat, so that a dangling link still counts as an entry that exists as written.
bool entryExists(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Names compare as the home platform compares them: only A to Z fold. This holds for the bytes
// of a name as for its characters, since every other byte of UTF-8 belongs to a character
// outside ASCII, which never folds.
bool bytesEqualIgnoringAsciiCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// What QFile::decodeName gives, without a copy of the bytes and without setting up a system
// decoder per name: Qt 6 takes the system's encoding on Unix to be UTF-8.
QString decodedName(QByteArrayView name) {
    return QString::fromUtf8(name);
}

// Calls visit with the bytes of each entry name of a folder but "." and "..", in the order the
// system returns them. A bare readdir: these listings need the names only, and in a toolkit
// folder of thousands of files a QFileInfo per entry costs many times the listing itself.
template <class Visit> void forEachEntryName(const QString& folder, Visit visit) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        visit(QByteArrayView(name, qsizetype(std::strlen(name))));
    }
    ::closedir(dir);
}

// Windows-1252 code points of the bytes 0x80 to 0x9F; the five bytes the code page leaves
// undefined keep their C1 code point, so that every byte decodes and encodes back.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const unsigned char* p, qsizetype n) {
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

// The kind of a file that is not a regular one, as a phrase; empty for a regular file.
QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return Texts::tr("a folder");
    if (S_ISCHR(mode))
        return Texts::tr("a character device");
    if (S_ISBLK(mode))
        return Texts::tr("a block device");
    if (S_ISFIFO(mode))
        return Texts::tr("a named pipe (FIFO)");
    if (S_ISSOCK(mode))
        return Texts::tr("a socket");
    return QString();
}

} // namespace

namespace FileSystem {

QString ResolvePath(const QString& path) {
    if (path.isEmpty() || entryExists(path))
        return path;
    const QStringList parts = path.split(u'/');
    QString resolved;
    bool lost = false; // once a component cannot be found, the rest stays as written
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const QString parent = resolved;
        if (i > 0)
            resolved += u'/';
        if (lost || part.isEmpty() || part == u"." || part == u".." ||
            entryExists(resolved + part)) {
            resolved += part;
            continue;
        }
        const QString folder = i == 0 ? QStringLiteral(".") : (parent.isEmpty() ? "/" : parent);
        // The least of the matches, so that of two names differing only in case the same one
        // is always chosen.
        const QByteArray wanted = QFile::encodeName(part);
        QString match;
        forEachEntryName(folder, [&](QByteArrayView name) {
            if (!bytesEqualIgnoringAsciiCase(name, wanted))
                return;
            const QString entry = QFile::decodeName(name.toByteArray());
            if (match.isEmpty() || entry < match)
                match = entry;
        });
        if (match.isEmpty()) {
            lost = true;
            resolved += part;
        } else {
            resolved += match;
        }
    }
    return resolved;
}

bool FileExists(const QString& path) {
    const QFileInfo info(ResolvePath(path));
    return info.exists() && !info.isDir();
}

bool DirectoryExists(const QString& path) {
    return QFileInfo(ResolvePath(path)).isDir();
}

bool CreateDirectory(const QString& path) {
    const QString resolved = ResolvePath(path);
    try {
        MakePrivateFolders(resolved);
    } catch (const VallorinError&) {
        return false;
    }
    return QFileInfo(resolved).isDir();
}

bool MakePrivateFolders(const QString& path) {
    const QString folder = QDir::cleanPath(path);
    const QByteArray name = QFile::encodeName(folder);
    int error = ::mkdir(name.constData(), 0700) == 0 ? 0 : errno;
    if (error == ENOENT && folder != u"/" && !folder.isEmpty()) {
        MakePrivateFolders(QFileInfo(folder).absolutePath());
        error = ::mkdir(name.constData(), 0700) == 0 ? 0 : errno;
    }
    if (error == 0) {
        ::chmod(name.constData(), 0700); // a umask can take bits away from 0700 too
        return true;
    }
    if (error == EEXIST && QFileInfo(folder).isDir())
        return false;
    throw VallorinError(Texts::tr("Cannot create the folder %1: %2")
                            .arg(folder, error == EEXIST
                                             ? Texts::tr("a file of that name is in the way")
                                             : ErrnoText(error)));
}

QString NotARegularFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat entry;
    if (::lstat(name.constData(), &entry) != 0)
        return QString();
    if (!S_ISLNK(entry.st_mode))
        return kindOf(entry.st_mode);
    const QString target = QFileInfo(path).canonicalFilePath();
    struct stat linked;
    if (::stat(name.constData(), &linked) != 0)
        return Texts::tr("a link to \"%1\", which does not exist").arg(QFile::symLinkTarget(path));
    const QString kind = kindOf(linked.st_mode);
    return kind.isEmpty() ? QString()
                          : Texts::tr("a link to \"%1\", which is %2").arg(target, kind);
}

QStringList ListByExtension(const QString& folder, const QString& extension) {
    return FolderListing(folder).byExtension(extension);
}

FolderListing::FolderListing(const QString& folder) : given(folder) {
    // No folder lists nothing: an empty path would resolve to the current directory.
    if (folder.isEmpty())
        return;
    this->folder = ResolvePath(folder);
    forEachEntryName(this->folder, [&](QByteArrayView name) {
        names.append(name);
        ends.append(names.size());
    });
}

QByteArrayView FolderListing::entryName(qsizetype i) const {
    const qsizetype start = i == 0 ? 0 : ends[i - 1];
    return QByteArrayView(names).sliced(start, ends[i] - start);
}

bool FolderListing::fileExists(const QString& name) const {
    if (!given.endsWith(u'/'))
        return FileExists(given + name);
    // The entry ResolvePath would choose: the name as written, else the least of its matches.
    const QByteArray wanted = QFile::encodeName(name);
    QString entry;
    for (qsizetype i = 0; i < count(); ++i) {
        const QByteArrayView listed = entryName(i);
        if (listed == wanted) {
            entry = name;
            break;
        }
        if (bytesEqualIgnoringAsciiCase(listed, wanted)) {
            const QString match = decodedName(listed);
            if (entry.isEmpty() || match < entry)
                entry = match;
        }
    }
    if (entry.isEmpty())
        return false;
    const QFileInfo info(folder + entry); // ResolvePath keeps the folder's final "/"
    return info.exists() && !info.isDir();
}

QStringList FolderListing::byExtension(const QString& extension) const {
    QStringList matching;
    const QByteArray tail = QFile::encodeName(u'.' + extension);
    for (qsizetype i = 0; i < count(); ++i) {
        const QByteArrayView listed = entryName(i);
        if (listed.size() >= tail.size() &&
            bytesEqualIgnoringAsciiCase(listed.last(tail.size()), tail))
            matching.append(decodedName(listed));
    }
    return matching;
}

std::optional<QDateTime> LastWriteTime(const QString& path) {
    const QFileInfo info(ResolvePath(path));
    if (!info.exists())
        return std::nullopt;
    return info.lastModified().toUTC();
}

QByteArray ReadWholeFile(const QString& path) {
    const QString resolved = ResolvePath(path);
    QFile file(resolved);
    if (QFileInfo(resolved).isDir() || !file.open(QIODevice::ReadOnly))
        throw VallorinError(Texts::tr("Cannot open file %1").arg(path));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw VallorinError(Texts::tr("Cannot open file %1").arg(path));
    return data;
}

void WriteWholeFile(const QString& path, const QByteArray& data) {
    // Write beside the file and rename over it, so that a reader sees the old file or the
    // new one, never half of one, and a full disk leaves the old file as it was.
    QString target = ResolvePath(path);
    const QFileInfo info(target);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath(); // replace the file the link names, keep the link
    const QFileInfo existingInfo(target);
    if (existingInfo.isDir())
        throw VallorinError(Texts::tr("Cannot write file %1: it is a folder").arg(path));
    // Renaming over a device or a pipe would replace it rather than write to it.
    if (existingInfo.exists() && !existingInfo.isFile())
        throw VallorinError(Texts::tr("Cannot write file %1: it is not a plain file").arg(path));

    const QString folder = QFileInfo(target).absolutePath();
    QByteArray temp = QFile::encodeName(folder + "/." + QFileInfo(target).fileName() + ".XXXXXX");
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created with mode 0600
    if (fd < 0)
        throw VallorinError(Texts::tr("Cannot write file %1: %2").arg(path, ErrnoText(errno)));

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.constData());
        throw VallorinError(Texts::tr("Cannot write file %1: %2").arg(path, ErrnoText(error)));
    };
    const QByteArray name = QFile::encodeName(target);
    struct stat existing;
    if (::stat(name.constData(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0)
        fail(errno);
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        p += written;
        left -= written;
    }
    if (::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw VallorinError(Texts::tr("Cannot write file %1: %2").arg(path, ErrnoText(error)));
    }
    if (::rename(temp.constData(), name.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw VallorinError(Texts::tr("Cannot write file %1: %2").arg(path, ErrnoText(error)));
    }
    // The rename itself is durable only once the folder is synced.
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

QString DecodeText(const QByteArray& bytes) {
    const bool utf8 = IsValidUtf8(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    const qsizetype bom = utf8 && n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
    return DecodePiece(bytes.constData() + bom, n - bom, utf8);
}

bool IsValidUtf8(const QByteArray& bytes) {
    return isValidUtf8(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

QString DecodePiece(const char* bytes, qsizetype size, bool utf8) {
    if (utf8)
        return QString::fromUtf8(bytes, size);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char c = p[i];
        out[i] = (c >= 0x80 && c <= 0x9F) ? Cp1252High[c - 0x80] : char16_t(c);
    }
    return text;
}

QByteArray EncodeWindows1252(const QString& text, bool* lossless) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    bool exact = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int byte = -1;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = c;
        } else {
            for (int k = 0; k < int(Cp1252High.size()); ++k) {
                if (Cp1252High[k] == c) {
                    byte = 0x80 + k;
                    break;
                }
            }
        }
        if (byte < 0) {
            exact = false;
            byte = '?';
        }
        bytes[i] = char(byte);
    }
    if (lossless)
        *lossless = exact;
    return bytes;
}

QString FileNamePart(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path[i];
        if (c == u'/' || c == u'\\' || c == u':')
            return path.mid(i + 1);
    }
    return path;
}

} // namespace FileSystem
