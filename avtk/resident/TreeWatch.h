#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <set>
#include <string>
#include <utility>

// Watching folder trees with inotify: every folder below a root gets a watch, folders created
// or moved in get theirs as they come. It reports files to be checked; the owner scans them.
namespace guard {

struct FileToCheck {
    std::string path;
    QString shown; // as the toolkit names it: T:\folder\name.exe
};

class TreeWatch {
public:
    // writes: a file is reported whenever it is closed after writing; otherwise only when it
    // was created (reported at its first close after writing) or moved in.
    explicit TreeWatch(bool writes);
    ~TreeWatch();
    TreeWatch(const TreeWatch&) = delete;
    TreeWatch& operator=(const TreeWatch&) = delete;

    // The descriptor to wait on; -1 when inotify could not be had (error() says why).
    int fd() const { return inotifyFd; }
    QString error() const { return failure; }

    // Watches every folder below root (staying on its file system). Files found in folders that
    // arrived meanwhile go to `found`; problems (the system's watch limit) to `problems`.
    void addTree(const std::string& root, const QString& shownRoot, QStringList& problems,
                 const std::function<void(FileToCheck&&)>* found = nullptr);

    // Reads the pending events: files to check go to `check`; `overflow` is called when the
    // kernel's queue overflowed and events were lost.
    void readEvents(const std::function<void(FileToCheck&&)>& check,
                    const std::function<void()>& overflow, QStringList& problems);

    // A path the guard itself moves a file to: its arrival is not reported.
    void ignoreArrival(const std::string& path) { ownArrivals.insert(path); }
    // A file never reported (the guard's own log).
    void ignoreFile(const std::string& path) { ignored.insert(path); }
    // Files seen created and not yet closed, handed from the watch a reload retires to the one
    // that follows it: their close after writing reaches only the new watch, which never saw
    // them created.
    std::set<std::string> takeCreated() { return std::exchange(created, {}); }
    void adoptCreated(std::set<std::string> files) { created.merge(files); }

    int watches() const { return int(folders.size()); }
    // The roots watched, with their shown names, for a rescan.
    const QList<std::pair<std::string, QString>>& roots() const { return rootList; }

private:
    struct Folder {
        std::string path;
        QString shown;
    };
    bool watchFolder(const std::string& path, const QString& shown, QStringList& problems);

    int inotifyFd = -1;
    bool writes;
    bool limitReported = false;
    QString failure;
    QHash<int, Folder> folders;
    std::set<std::string> created; // created and not yet closed after writing
    std::set<std::string> ownArrivals;
    std::set<std::string> ignored;
    QList<std::pair<std::string, QString>> rootList;
};

} // namespace guard
