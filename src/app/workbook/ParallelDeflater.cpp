#include "ParallelDeflater.h"

#include "app/Errors.h"

#include <algorithm>

namespace corvalis::workbook {

ParallelDeflater::ParallelDeflater(QIODevice& target, int level) : m_target(target) {
    const int workers = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    m_inFlightLimit = size_t(workers) * 2 + 1;
    try {
        for (int i = 0; i < workers; ++i)
            m_workers.emplace_back([this, level] { work(level); });
    } catch (const std::exception& error) {
        stopWorkers();
        throw Error(QStringLiteral("无法启动压缩线程：%1").arg(QString::fromLocal8Bit(error.what())));
    }
}

ParallelDeflater::~ParallelDeflater() {
    stopWorkers();
}

void ParallelDeflater::stopWorkers() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}

void ParallelDeflater::work(int level) {
    std::unique_ptr<RawDeflater> deflater;
    std::exception_ptr setupError;
    try {
        deflater = std::make_unique<RawDeflater>(level);
    } catch (...) {
        setupError = std::current_exception();
    }
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            job = m_waiting.front();
            m_waiting.pop_front();
        }
        try {
            if (setupError)
                std::rethrow_exception(setupError);
            if (job->make)
                job->make(job->input);
            job->crc = crcOf(job->input.data(), qsizetype(job->input.size()));
            deflater->piece(job->input.data(), qsizetype(job->input.size()), false, job->output);
        } catch (...) {
            job->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            job->done = true;
        }
        m_changed.notify_all();
    }
}

void ParallelDeflater::add(std::string&& piece) {
    std::unique_ptr<Job> job = spareJob();
    job->input = std::move(piece);
    queue(std::move(job));
}

void ParallelDeflater::add(std::function<void(std::string&)> make) {
    std::unique_ptr<Job> job = spareJob();
    job->make = std::move(make);
    queue(std::move(job));
}

std::unique_ptr<ParallelDeflater::Job> ParallelDeflater::spareJob() {
    if (m_spare.empty())
        return std::make_unique<Job>();
    std::unique_ptr<Job> job = std::move(m_spare.back());
    m_spare.pop_back();
    return job;
}

void ParallelDeflater::queue(std::unique_ptr<Job> job) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Owned first: a worker never sees a job that a failed push could free.
        Job* queued = job.get();
        m_inOrder.push_back(std::move(job));
        m_waiting.push_back(queued);
    }
    m_changed.notify_all();
    while (m_inOrder.size() >= m_inFlightLimit)
        writeOldest();
}

void ParallelDeflater::writeOldest() {
    Job* job = m_inOrder.front().get();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [job] { return job->done; });
    }
    if (job->error)
        std::rethrow_exception(job->error);
    if (m_target.write(job->output) != job->output.size())
        throw FileError(QStringLiteral("无法写入临时文件：%1").arg(m_target.errorString()));
    appendToSummary(m_summary, job->crc, job->input.size(), quint64(job->output.size()));
    std::unique_ptr<Job> written;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        written = std::move(m_inOrder.front());
        m_inOrder.pop_front();
    }
    // Its buffers serve a later piece: long exports then allocate no fresh pages as they go.
    written->make = nullptr;
    written->input.clear();
    written->output.resize(0);
    written->crc = 0;
    written->done = false;
    written->error = nullptr;
    m_spare.push_back(std::move(written));
}

void ParallelDeflater::finish() {
    while (!m_inOrder.empty())
        writeOldest();
}

} // namespace corvalis::workbook
