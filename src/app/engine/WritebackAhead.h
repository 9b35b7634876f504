#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace corvalis::engine {

class Connection;

// While in scope, asks the system every little while to start writing the changed pages of the
// connection's database file to disk. Left alone, the system keeps hundreds of megabytes of a bulk
// transaction in memory until the commit's sync, which then waits for all of them; started early,
// most are on disk by then. It only starts writes: what is durable, and when, stays the engine's.
// It uses the engine's own descriptor of the file, because closing a descriptor of our own would
// drop the locks the engine holds on the file. Where no such descriptor is found it does nothing.
class WritebackAhead {
public:
    explicit WritebackAhead(const Connection& connection);
    ~WritebackAhead();
    WritebackAhead(const WritebackAhead&) = delete;
    WritebackAhead& operator=(const WritebackAhead&) = delete;

    // Whether writes are being started: false for a database in memory or off this system.
    bool active() const { return m_descriptor >= 0; }

private:
    void run();

    int m_descriptor = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_worker; // only while active
};

} // namespace corvalis::engine
