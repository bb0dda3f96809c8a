#include "guard/FileFeed.h"

namespace guard {

FileFeed::FileFeed(avtk::ScanPool& pool) : pool(pool), feeder([this] { feed(); }) {}

FileFeed::~FileFeed() {
    {
        std::lock_guard lock(mutex);
        finishing = true;
    }
    arrived.notify_one();
    feeder.join();
}

void FileFeed::add(FileToCheck&& file) {
    {
        std::lock_guard lock(mutex);
        if (!waiting.insert(file.path).second)
            return;
        files.push_back(std::move(file));
    }
    arrived.notify_one();
}

void FileFeed::feed() {
    while (true) {
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return finishing || !files.empty(); });
        if (files.empty())
            return;
        FileToCheck file = std::move(files.front());
        files.pop_front();
        waiting.erase(file.path);
        lock.unlock();
        if (!pool.submit(avtk::FileJob{std::move(file.path), std::move(file.shown), false}))
            return;
    }
}

} // namespace guard
