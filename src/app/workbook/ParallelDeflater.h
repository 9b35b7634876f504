#pragma once

#include "ZipWriter.h"

#include <QIODevice>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvalis::workbook {

// Compresses a long stream of pieces on worker threads and writes the deflated pieces to a device in
// their order. Only a few pieces are in flight at a time, so memory stays flat however long the
// stream; the caller's thread meanwhile goes on producing the next piece.
class ParallelDeflater {
public:
    ParallelDeflater(QIODevice& target, int level);
    ~ParallelDeflater();
    ParallelDeflater(const ParallelDeflater&) = delete;
    ParallelDeflater& operator=(const ParallelDeflater&) = delete;

    // Queues a piece; may wait for earlier pieces and write them. Throws the error of a failed piece
    // or write.
    void add(std::string&& piece);
    // Queues a piece that a worker first makes (appending it to the empty string it is given) and
    // then compresses, so that making it costs the caller's thread nothing.
    void add(std::function<void(std::string&)> make);
    // Writes every queued piece; the summary then covers the whole stream.
    void finish();
    const DeflatedSummary& summary() const { return m_summary; }

private:
    struct Job {
        std::function<void(std::string&)> make; // empty when the input is given
        std::string input;
        QByteArray output;
        quint32 crc = 0;
        bool done = false;
        std::exception_ptr error;
    };
    void work(int level);
    void stopWorkers();
    std::unique_ptr<Job> spareJob();
    void queue(std::unique_ptr<Job> job);
    void writeOldest();

    QIODevice& m_target;
    DeflatedSummary m_summary;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Job>> m_inOrder; // queued and not yet written
    std::deque<Job*> m_waiting;                 // queued and not yet taken by a worker
    std::vector<std::unique_ptr<Job>> m_spare;  // written, their buffers kept for the next pieces
    bool m_stopping = false;
    size_t m_inFlightLimit = 0;
    std::vector<std::thread> m_workers;
};

} // namespace corvalis::workbook
