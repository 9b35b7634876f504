#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace corvalis {

// Makes batches on a thread of its own, one batch ahead of the consumer, so that making them and
// using them overlap while at most two batches are held. The producer hands each batch over with
// hand(), which waits until the consumer took the one before and returns false once the consumer
// has gone; an exception it raises reaches the consumer at next(). Batch is a container: a
// default-constructed one (empty) means that nothing more comes.
template <typename Batch> class BatchFeed {
public:
    using Hand = std::function<bool(Batch&&)>;

    explicit BatchFeed(std::function<void(const Hand&)> produce)
        : m_produce(std::move(produce)), m_worker([this] { run(); }) {}

    ~BatchFeed() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_cancelled = true;
        }
        m_changed.notify_all();
        m_worker.join();
    }

    BatchFeed(const BatchFeed&) = delete;
    BatchFeed& operator=(const BatchFeed&) = delete;

    // The next batch in order; empty once the producer is done.
    Batch next() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ready || m_done || m_failure; });
        if (m_failure)
            std::rethrow_exception(m_failure);
        Batch batch;
        if (m_ready) {
            std::swap(batch, m_batch);
            m_ready = false;
            m_changed.notify_all();
        }
        return batch;
    }

private:
    void run() {
        try {
            m_produce([this](Batch&& batch) { return hand(std::move(batch)); });
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    }

    bool hand(Batch&& batch) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready || m_cancelled; });
        if (m_cancelled)
            return false;
        m_batch = std::move(batch);
        m_ready = true;
        m_changed.notify_all();
        return true;
    }

    std::function<void(const Hand&)> m_produce;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Batch m_batch;
    bool m_ready = false;
    bool m_done = false;
    bool m_cancelled = false;
    std::exception_ptr m_failure;
    std::thread m_worker; // last: it starts once everything above is set up
};

} // namespace corvalis
