#include "resident/TreeWatch.h"

#include "engine/SystemError.h"
#include "engine/Walk.h"

#include <cerrno>
#include <climits>
#include <vector>

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace guard {

namespace {

constexpr uint32_t FolderEvents = IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE |
                                  IN_MOVED_FROM | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

QString ChildShown(const QString& shown, const std::string& name) {
    const QString child = avtk::ShownName(name);
    return shown.endsWith(u'\\') ? QString(shown + child) : QString(shown + u'\\' + child);
}

} // namespace

TreeWatch::TreeWatch(bool writes) : writes(writes) {
    inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0)
        failure = "inotify is not available: " + avtk::ErrnoText(errno);
}

TreeWatch::~TreeWatch() {
    if (inotifyFd >= 0)
        ::close(inotifyFd);
}

bool TreeWatch::watchFolder(const std::string& path, const QString& shown, QStringList& problems) {
    const int wd = ::inotify_add_watch(inotifyFd, path.c_str(), FolderEvents);
    if (wd < 0) {
        if (errno == ENOSPC) {
            // The system's limit (fs.inotify.max_user_watches): said once, not per folder.
            if (!limitReported)
                problems << QString("The system's limit of inotify watches is reached at %1: "
                                    "folders beyond it are not watched (raise "
                                    "fs.inotify.max_user_watches).")
                                .arg(shown);
            limitReported = true;
        } else if (errno != ENOENT) {
            problems << shown + ": not watched: " + avtk::ErrnoText(errno);
        }
        return false;
    }
    // A folder moved within the tree keeps its watch: the same descriptor, a new path.
    folders.insert(wd, Folder{path, shown});
    return true;
}

void TreeWatch::addTree(const std::string& root, const QString& shownRoot, QStringList& problems,
                        const std::function<void(FileToCheck&&)>* found) {
    if (inotifyFd < 0)
        return;
    if (!found)
        rootList.append({root, shownRoot});
    struct stat rootStat;
    if (::stat(root.c_str(), &rootStat) != 0) {
        problems << shownRoot + ": not watched: " + avtk::ErrnoText(errno);
        return;
    }
    // Breadth first with an explicit list: a deep tree needs no deep stack. The watch is set
    // before the folder is read, so a file arriving meanwhile is either read or reported.
    std::vector<std::pair<std::string, QString>> pending{{root, shownRoot}};
    while (!pending.empty()) {
        auto [path, shown] = std::move(pending.back());
        pending.pop_back();
        if (!watchFolder(path, shown, problems) && limitReported)
            return;
        DIR* dir = ::opendir(path.c_str());
        if (!dir)
            continue;
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string child = path == "/" ? "/" + name : path + '/' + name;
            struct stat st;
            if (::lstat(child.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode) && st.st_dev == rootStat.st_dev)
                pending.emplace_back(child, ChildShown(shown, name));
            else if (S_ISREG(st.st_mode) && found && !ignored.count(child)) {
                // It may still be being written, its creation unseen: its next close after
                // writing is checked too (a file may be alerted twice, never missed).
                created.insert(child);
                (*found)(FileToCheck{child, ChildShown(shown, name)});
            }
        }
        ::closedir(dir);
    }
}

void TreeWatch::readEvents(const std::function<void(FileToCheck&&)>& check,
                           const std::function<void()>& overflow, QStringList& problems) {
    alignas(inotify_event) char buffer[64 * 1024];
    while (true) {
        const ssize_t length = ::read(inotifyFd, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                overflow();
                continue;
            }
            const auto folder = folders.constFind(event->wd);
            if (folder == folders.constEnd())
                continue;
            if (event->mask & (IN_DELETE_SELF | IN_IGNORED)) {
                folders.remove(event->wd);
                continue;
            }
            if (event->len == 0)
                continue;
            const std::string name = event->name;
            const std::string path = folder->path == "/" ? "/" + name : folder->path + '/' + name;
            const QString shown = ChildShown(folder->shown, name);
            if (event->mask & IN_ISDIR) {
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    addTree(path, shown, problems, &check);
                continue;
            }
            if (ignored.count(path))
                continue;
            if (event->mask & IN_CREATE) {
                // A hard link to a file that exists is made without writing: it is checked now,
                // as no close after writing will come for it.
                struct stat st;
                if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1)
                    check(FileToCheck{path, shown});
                else
                    created.insert(path);
            } else if (event->mask & IN_CLOSE_WRITE) {
                if (created.erase(path) > 0 || writes)
                    check(FileToCheck{path, shown});
            } else if (event->mask & IN_MOVED_TO) {
                if (ownArrivals.erase(path) == 0)
                    check(FileToCheck{path, shown});
            } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                created.erase(path);
            }
        }
    }
}

} // namespace guard
