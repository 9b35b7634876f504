#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace corvalis::engine {

class Connection;

// While in scope, asks the system every little while to start writing the changed pages of the
// connection's database file and of its rollback journal to disk. Left alone, the system keeps
// what a transaction writes in memory until the commit's sync, which then waits for all of it:
// hundreds of megabytes for a bulk import, the journal of every commit for a long check. Started
// early, most of it is on disk by then. It only starts writes: what is durable, and when, stays
// the engine's business.
// It uses the engine's own descriptors of the files, because closing a descriptor of our own would
// drop the locks the engine holds on the database. Where none is found it does nothing.
class WritebackAhead {
public:
    explicit WritebackAhead(const Connection& connection);
    ~WritebackAhead();
    WritebackAhead(const WritebackAhead&) = delete;
    WritebackAhead& operator=(const WritebackAhead&) = delete;

    // Whether writes are being started: false for a database in memory or off this system.
    bool active() const { return m_worker.joinable(); }

    // Which file a path or a descriptor names: its device and inode.
    struct FileIdentity {
        unsigned long long device = 0;
        unsigned long long inode = 0;
        bool found = false;
    };

private:
    void run();
    void startWrites() const;

    FileIdentity m_database; // the file the engine opened, whatever its path names later
    std::string m_journal;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_worker; // last: it starts once the files are known
};

} // namespace corvalis::engine
