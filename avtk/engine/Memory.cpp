#include "engine/Memory.h"

#include "engine/Walk.h"

#include <QDir>
#include <QFile>

#include <set>
#include <utility>

#include <sys/stat.h>

namespace avtk {

RunningFiles ListRunningFiles(const QString& proc) {
    RunningFiles running;
    std::set<std::pair<dev_t, ino_t>> seen;
    auto add = [&](const std::string& open, const std::string& named, const QString& pid) {
        struct stat st;
        if (::stat(open.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        if (seen.insert({st.st_dev, st.st_ino}).second)
            running.files.push_back(
                FileJob{open, "Memory: " + ShownName(named) + " (process " + pid + ")"});
        return true;
    };
    const QStringList entries = QDir(proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : entries) {
        bool number = false;
        pid.toUInt(&number);
        if (!number)
            continue;
        ++running.processes;
        const QString folder = proc + '/' + pid;
        // The program through the process's own link: it opens even when the file was replaced.
        const std::string exe = QFile::encodeName(folder + "/exe").toStdString();
        const QByteArray target = QFile::symLinkTarget(folder + "/exe").toLocal8Bit();
        add(exe, target.isEmpty() ? exe : target.toStdString(), pid); // none for a kernel thread
        QFile maps(folder + "/maps");
        if (!maps.open(QIODevice::ReadOnly)) {
            ++running.unreadable;
            continue;
        }
        for (const QByteArray& line : maps.readAll().split('\n')) {
            // address perms offset device inode path; only mappings of files have a path.
            const qsizetype slash = line.indexOf(" /");
            if (slash < 0 || line.endsWith(" (deleted)"))
                continue;
            const std::string path = line.mid(slash + 1).toStdString();
            add(path, path, pid);
        }
    }
    return running;
}

} // namespace avtk
