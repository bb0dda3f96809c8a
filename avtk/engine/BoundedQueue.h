#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace avtk {

// A queue between threads that holds at most `capacity` items: a producer that runs ahead waits.
// Closing it wakes everyone; consumers then take what is left and get nothing after.
template <typename T> class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : limit(capacity) {}

    // False when the queue was closed meanwhile (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex);
        notFull.wait(lock, [&] { return closed || items.size() < limit; });
        if (closed)
            return false;
        items.push_back(std::move(item));
        notEmpty.notify_one();
        return true;
    }

    // Waits for an item; nothing once the queue is closed and empty.
    std::optional<T> pop() {
        std::unique_lock lock(mutex);
        notEmpty.wait(lock, [&] { return closed || !items.empty(); });
        if (items.empty())
            return std::nullopt;
        T item = std::move(items.front());
        items.pop_front();
        notFull.notify_one();
        return item;
    }

    // Waits for an item, then takes it and, in order, those after it that `more` accepts given
    // what was taken so far (a batch); empty once the queue is closed and empty.
    template <typename More> std::vector<T> popBatch(More&& more) {
        std::unique_lock lock(mutex);
        notEmpty.wait(lock, [&] { return closed || !items.empty(); });
        std::vector<T> batch;
        while (!items.empty() && (batch.empty() || more(std::as_const(batch), items.front()))) {
            batch.push_back(std::move(items.front()));
            items.pop_front();
        }
        notFull.notify_all();
        return batch;
    }

    void close() {
        std::lock_guard lock(mutex);
        closed = true;
        notEmpty.notify_all();
        notFull.notify_all();
    }

    // Drops what is queued (a cancelled run) and closes.
    void abandon() {
        std::lock_guard lock(mutex);
        items.clear();
        closed = true;
        notEmpty.notify_all();
        notFull.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable notEmpty, notFull;
    std::deque<T> items;
    std::size_t limit;
    bool closed = false;
};

} // namespace avtk
