#include "WritebackAhead.h"

#include "Connection.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace corvalis::engine {

namespace {

// Often enough that little waits for the commit, seldom enough that pages the engine is still
// changing are not written over and over.
constexpr std::chrono::milliseconds WritebackInterval{200};

// A descriptor this process holds open on the main database file of the connection, or -1. The
// engine keeps its descriptor open as long as the connection, so the number stays valid meanwhile.
int engineDescriptorOf(const Connection& connection) {
#ifdef __linux__
    const char* path = sqlite3_db_filename(connection.handle(), "main");
    struct stat file {};
    if (!path || !*path || stat(path, &file) != 0 || !S_ISREG(file.st_mode))
        return -1;
    DIR* open = opendir("/proc/self/fd");
    if (!open)
        return -1;
    int found = -1;
    while (const dirent* entry = readdir(open)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        struct stat held {};
        if (end == entry->d_name || *end != '\0' || number == dirfd(open) || fstat(int(number), &held) != 0)
            continue;
        if (S_ISREG(held.st_mode) && held.st_dev == file.st_dev && held.st_ino == file.st_ino) {
            found = int(number);
            break;
        }
    }
    closedir(open);
    return found;
#else
    (void)connection;
    return -1;
#endif
}

} // namespace

WritebackAhead::WritebackAhead(const Connection& connection) : m_descriptor(engineDescriptorOf(connection)) {
    if (active())
        m_worker = std::thread([this] { run(); });
}

WritebackAhead::~WritebackAhead() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_worker.joinable())
        m_worker.join();
}

void WritebackAhead::run() {
#ifdef __linux__
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, WritebackInterval, [this] { return m_stopping; })) {
        lock.unlock();
        // Starts writing what is dirty and returns; a failure here costs only the head start.
        sync_file_range(m_descriptor, 0, 0, SYNC_FILE_RANGE_WRITE);
        lock.lock();
    }
#endif
}

} // namespace corvalis::engine
