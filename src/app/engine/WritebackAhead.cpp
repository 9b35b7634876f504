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

// Often enough that little is left for the syncs of commits a quarter of a second apart (a check's);
// a bulk import gained as much from every fifth of a second.
constexpr std::chrono::milliseconds WritebackInterval{50};

#ifdef __linux__
using FileIdentity = WritebackAhead::FileIdentity;

FileIdentity identityOf(const std::string& path) {
    struct stat file {};
    if (path.empty() || stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return {};
    return {file.st_dev, file.st_ino, true};
}

bool matches(const FileIdentity& identity, const struct stat& held) {
    return identity.found && S_ISREG(held.st_mode) && held.st_dev == identity.device &&
           held.st_ino == identity.inode;
}

// Calls act(descriptor) for each descriptor this process holds open on one of the files. The
// engine keeps its descriptors as long as it uses the files; should one close meanwhile and its
// number go to another file, that file's writes are started a little early, which does no harm.
template <typename Act>
void forEachDescriptorOf(const FileIdentity& first, const FileIdentity& second, Act act) {
    DIR* open = opendir("/proc/self/fd");
    if (!open)
        return;
    while (const dirent* entry = readdir(open)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        struct stat held {};
        if (end == entry->d_name || *end != '\0' || number == dirfd(open) || fstat(int(number), &held) != 0)
            continue;
        if (matches(first, held) || matches(second, held))
            act(int(number));
    }
    closedir(open);
}
#endif

} // namespace

WritebackAhead::WritebackAhead(const Connection& connection) {
#ifdef __linux__
    const sqlite3_filename database = sqlite3_db_filename(connection.handle(), "main");
    if (!database || !*database)
        return;
    m_database = identityOf(database);
    if (const char* journal = sqlite3_filename_journal(database))
        m_journal = journal;
    bool held = false;
    forEachDescriptorOf(m_database, {}, [&held](int) { held = true; });
    if (held)
        m_worker = std::thread([this] { run(); });
#else
    (void)connection;
#endif
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
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, WritebackInterval, [this] { return m_stopping; })) {
        lock.unlock();
        startWrites();
        lock.lock();
    }
}

void WritebackAhead::startWrites() const {
#ifdef __linux__
    // The journal comes and goes with each transaction: it is looked up every time.
    forEachDescriptorOf(m_database, identityOf(m_journal), [](int descriptor) {
        // Starts writing what is dirty and returns; a failure costs only the head start.
        sync_file_range(descriptor, 0, 0, SYNC_FILE_RANGE_WRITE);
    });
#endif
}

} // namespace corvalis::engine
