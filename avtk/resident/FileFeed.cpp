#include "resident/FileFeed.h"

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
        lastArrival = std::chrono::steady_clock::now();
        files.push_back(Waiting{std::move(file), lastArrival});
    }
    arrived.notify_one();
}

void FileFeed::feed() {
    std::unique_lock lock(mutex);
    while (true) {
        arrived.wait(lock, [&] { return finishing || !files.empty(); });
        if (files.empty())
            return;
        // Until the writing calms, or the oldest file has waited long enough.
        const auto due = std::min(lastArrival + Quiet, files.front().since + Longest);
        if (!finishing && std::chrono::steady_clock::now() < due) {
            arrived.wait_until(lock, due, [&] { return finishing; });
            continue;
        }
        while (!files.empty()) {
            FileToCheck file = std::move(files.front().file);
            files.pop_front();
            waiting.erase(file.path);
            lock.unlock();
            const bool taken = pool.submit(
                avtk::FileJob{std::move(file.path), std::move(file.shown), false, -1, 0, true});
            lock.lock();
            if (!taken)
                return;
            // New arrivals wait for their own calm.
            if (!files.empty() && !finishing &&
                std::chrono::steady_clock::now() - files.front().since < Longest &&
                lastArrival + Quiet > std::chrono::steady_clock::now())
                break;
        }
    }
}

} // namespace guard
