#include "store/Prefix.h"
#include "platform/ErrnoText.h"

#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The texts this unit shows the user, translatable in the context "Prefix".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Prefix)
};

} // namespace

namespace Prefix {

QString Location() {
    QString location = qEnvironmentVariable("VALLORIN_PREFIX");
    if (location.isEmpty())
        location = QDir::homePath() + "/.vallorin";
    // Absolute, because started programs run with the prefix as their working directory.
    return QDir::cleanPath(QFileInfo(location).absoluteFilePath());
}

QString Prepare(const QString& location) {
    const QString folder = QDir::cleanPath(location);
    // An existing prefix keeps the mode its owner gave it; only the folders made here (the
    // missing ones above it too) are set to 0700.
    FileSystem::MakePrivateFolders(folder);
    const QString prefix = folder == u"/" ? folder : folder + u'/';
    // The drive map is fresh when its folder is new: then c: stands for the root. A drive map
    // that exists is the user's, and a letter removed from it stays removed.
    if (FileSystem::MakePrivateFolders(prefix + "dosdevices")) {
        const QByteArray link = QFile::encodeName(prefix + "dosdevices/c:");
        if (::symlink("/", link.constData()) != 0)
            throw VallorinError(Texts::tr("Cannot create the drive c: in %1dosdevices: %2")
                                    .arg(prefix, ErrnoText(errno)));
    }
    return prefix;
}

void Export(const QString& prefix) {
    qputenv("VALLORIN_PREFIX", QFile::encodeName(QDir::cleanPath(prefix)));
}

} // namespace Prefix
