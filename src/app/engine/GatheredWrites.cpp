#include "GatheredWrites.h"

#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace corvalis::engine {

namespace {

// The system layer hands the system at most 128 KiB less one byte per call (it masks the length
// to 17 bits), and a longer write would fail as a full disk.
constexpr size_t RunCapacity = 0x1ffff;

sqlite3_vfs* below = nullptr; // the system's default layer, which does the work

// A database file or rollback journal of the layer. It lies at the start of the engine's file
// object, the lower layer's own file after it.
struct GatheringFile {
    sqlite3_file base{};                   // first: the engine sees this as the file
    std::atomic<int> broken{SQLITE_OK};    // a write of this file that went out late failed
    std::atomic<bool> gathers{true};       // false once the file shares memory (a write-ahead log's)
    std::atomic<GatheringFile*> partner{}; // a database's open journal, a journal's database
};

constexpr int LowerOffset = int((sizeof(GatheringFile) + 15) / 16 * 16);

sqlite3_file* lowerOf(sqlite3_file* file) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + LowerOffset);
}

GatheringFile* gatheringOf(sqlite3_file* file) {
    return reinterpret_cast<GatheringFile*>(file);
}

// Open files whose late write failed. While any is open no journal is deleted: deleting one may
// be the commit of pages that never reached the file.
std::atomic<int> brokenFiles{0};

// The failure a file's use meets: its own lost write, or its partner's. A database must not get
// pages whose old content its journal may have lost, nor a journal mark as committed pages its
// database lost.
int failureOf(sqlite3_file* file) {
    GatheringFile* self = gatheringOf(file);
    if (const int broken = self->broken.load())
        return broken;
    if (GatheringFile* partner = self->partner.load())
        return partner->broken.load();
    return SQLITE_OK;
}

// How a use that hands over a run answers for its failure: a write or a sync of the run's own file
// reports it to the engine, which always heeds those; any other use (a hint the engine ignores, an
// unlock, another file's call) leaves the run's file broken as well.
enum class Heeded { Yes, No };

// The one run of the process: a single run keeps the order of all writes across files.
class Run {
public:
    // Adds a write to the run, or begins a new one after handing over the last.
    int write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (const int failure = failureOf(file))
            return failure;
        const char* from = static_cast<const char*>(bytes);
        if (m_holder == file && offset == m_start + sqlite3_int64(m_bytes.size()) &&
            m_bytes.size() + size_t(amount) <= RunCapacity) {
            m_bytes.insert(m_bytes.end(), from, from + amount);
            return SQLITE_OK;
        }
        if (const int rc = handOverLocked(file, Heeded::Yes))
            return rc;
        if (!gatheringOf(file)->gathers || size_t(amount) >= RunCapacity) {
            sqlite3_file* lower = lowerOf(file);
            return lower->pMethods->xWrite(lower, bytes, amount, offset);
        }
        if (m_bytes.capacity() < RunCapacity)
            m_bytes.reserve(RunCapacity);
        m_bytes.assign(from, from + amount);
        m_start = offset;
        m_holder = file;
        m_holderHint.store(file, std::memory_order_release);
        return SQLITE_OK;
    }

    // Hands over the run whatever file it belongs to.
    int handOver(sqlite3_file* caller, Heeded heeded) {
        if (!m_holderHint.load(std::memory_order_acquire))
            return SQLITE_OK;
        const std::lock_guard<std::mutex> lock(m_mutex);
        return handOverLocked(caller, heeded);
    }

    // Hands over the run if it belongs to the file. Only the file's own connection adds to its run,
    // so a run of another file found here needs no waiting for.
    int handOverOwn(sqlite3_file* file) {
        if (m_holderHint.load(std::memory_order_acquire) != file)
            return SQLITE_OK;
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_holder == file ? handOverLocked(file, Heeded::No) : SQLITE_OK;
    }

private:
    int handOverLocked(sqlite3_file* caller, Heeded heeded) {
        sqlite3_file* holder = m_holder;
        if (!holder)
            return SQLITE_OK;
        sqlite3_file* lower = lowerOf(holder);
        const int rc = lower->pMethods->xWrite(lower, m_bytes.data(), int(m_bytes.size()), m_start);
        m_bytes.clear();
        m_holder = nullptr;
        m_holderHint.store(nullptr, std::memory_order_release);
        if (rc != SQLITE_OK && (holder != caller || heeded == Heeded::No)) {
            int expected = SQLITE_OK;
            if (gatheringOf(holder)->broken.compare_exchange_strong(expected, rc))
                brokenFiles.fetch_add(1);
        }
        return rc;
    }

    std::mutex m_mutex;
    sqlite3_file* m_holder = nullptr;
    std::atomic<sqlite3_file*> m_holderHint{nullptr}; // m_holder, for a look without the lock
    std::vector<char> m_bytes;
    sqlite3_int64 m_start = 0;
};

// Never destroyed: a connection may still close while the program ends.
Run& run() {
    static Run* const theRun = new Run();
    return *theRun;
}

// Uses of a file: `afterOwn` hands over the file's own run first, `afterAll` the process's run.
template <typename Use> int afterOwn(sqlite3_file* file, Use use) {
    if (const int failure = failureOf(file))
        return failure;
    if (const int rc = run().handOverOwn(file))
        return rc;
    return use(lowerOf(file));
}

template <typename Use> int afterAll(sqlite3_file* file, Heeded heeded, Use use) {
    if (const int failure = failureOf(file))
        return failure;
    if (const int rc = run().handOver(file, heeded))
        return rc;
    return use(lowerOf(file));
}

int gatherClose(sqlite3_file* file) {
    GatheringFile* self = gatheringOf(file);
    const int rc = run().handOver(file, Heeded::No);
    if (GatheringFile* partner = self->partner.exchange(nullptr))
        partner->partner.store(nullptr);
    sqlite3_file* lower = lowerOf(file);
    const int closed = lower->pMethods->xClose(lower);
    const int broken = self->broken.load();
    if (broken != SQLITE_OK)
        brokenFiles.fetch_sub(1);
    return broken ? broken : rc ? rc : closed;
}

int gatherRead(sqlite3_file* file, void* into, int amount, sqlite3_int64 offset) {
    return afterOwn(file,
                    [&](sqlite3_file* lower) { return lower->pMethods->xRead(lower, into, amount, offset); });
}

int gatherWrite(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
    return run().write(file, bytes, amount, offset);
}

int gatherTruncate(sqlite3_file* file, sqlite3_int64 size) {
    return afterAll(file, Heeded::No,
                    [&](sqlite3_file* lower) { return lower->pMethods->xTruncate(lower, size); });
}

int gatherSync(sqlite3_file* file, int flags) {
    return afterAll(file, Heeded::Yes,
                    [&](sqlite3_file* lower) { return lower->pMethods->xSync(lower, flags); });
}

int gatherFileSize(sqlite3_file* file, sqlite3_int64* size) {
    return afterOwn(file, [&](sqlite3_file* lower) { return lower->pMethods->xFileSize(lower, size); });
}

int gatherLock(sqlite3_file* file, int level) {
    return afterAll(file, Heeded::No,
                    [&](sqlite3_file* lower) { return lower->pMethods->xLock(lower, level); });
}

// The lock is let go whatever else fails: a lost write must not leave the file locked as well.
int gatherUnlock(sqlite3_file* file, int level) {
    const int rc = run().handOver(file, Heeded::No);
    sqlite3_file* lower = lowerOf(file);
    const int unlocked = lower->pMethods->xUnlock(lower, level);
    const int failure = failureOf(file);
    return failure ? failure : rc ? rc : unlocked;
}

int gatherCheckReservedLock(sqlite3_file* file, int* reserved) {
    return afterAll(file, Heeded::No, [&](sqlite3_file* lower) {
        return lower->pMethods->xCheckReservedLock(lower, reserved);
    });
}

int gatherFileControl(sqlite3_file* file, int op, void* argument) {
    return afterAll(file, Heeded::No,
                    [&](sqlite3_file* lower) { return lower->pMethods->xFileControl(lower, op, argument); });
}

int gatherSectorSize(sqlite3_file* file) {
    sqlite3_file* lower = lowerOf(file);
    return lower->pMethods->xSectorSize(lower);
}

int gatherDeviceCharacteristics(sqlite3_file* file) {
    sqlite3_file* lower = lowerOf(file);
    return lower->pMethods->xDeviceCharacteristics(lower);
}

// A file that shares memory with other connections (a write-ahead log's database) is read by them
// through that memory as well: from then on its writes go out as they come.
int gatherShmMap(sqlite3_file* file, int page, int pageSize, int extend, void volatile** mapped) {
    gatheringOf(file)->gathers = false;
    return afterAll(file, Heeded::No, [&](sqlite3_file* lower) {
        return lower->pMethods->xShmMap(lower, page, pageSize, extend, mapped);
    });
}

int gatherShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return afterAll(file, Heeded::No, [&](sqlite3_file* lower) {
        return lower->pMethods->xShmLock(lower, offset, count, flags);
    });
}

void gatherShmBarrier(sqlite3_file* file) {
    run().handOver(file, Heeded::No);
    sqlite3_file* lower = lowerOf(file);
    lower->pMethods->xShmBarrier(lower);
}

int gatherShmUnmap(sqlite3_file* file, int deleteFlag) {
    return afterAll(file, Heeded::No,
                    [&](sqlite3_file* lower) { return lower->pMethods->xShmUnmap(lower, deleteFlag); });
}

int gatherFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** mapped) {
    return afterOwn(
        file, [&](sqlite3_file* lower) { return lower->pMethods->xFetch(lower, offset, amount, mapped); });
}

int gatherUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* mapped) {
    sqlite3_file* lower = lowerOf(file);
    return lower->pMethods->xUnfetch(lower, offset, mapped);
}

const sqlite3_io_methods gatheringMethods = {
    3,
    gatherClose,
    gatherRead,
    gatherWrite,
    gatherTruncate,
    gatherSync,
    gatherFileSize,
    gatherLock,
    gatherUnlock,
    gatherCheckReservedLock,
    gatherFileControl,
    gatherSectorSize,
    gatherDeviceCharacteristics,
    gatherShmMap,
    gatherShmLock,
    gatherShmBarrier,
    gatherShmUnmap,
    gatherFetch,
    gatherUnfetch,
};

// Database files and their rollback journals gather their writes; any other file (temporary
// files, statement journals, write-ahead logs) is the lower layer's own, in the same place.
int gatherOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    if (!(flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)))
        return below->xOpen(below, name, file, flags, outFlags);
    // The engine's file object is raw memory, and the state is trivially destroyed with it.
    GatheringFile* self = new (file) GatheringFile();
    sqlite3_file* lower = lowerOf(file);
    lower->pMethods = nullptr;
    const int rc = below->xOpen(below, name, lower, flags, outFlags);
    if (!lower->pMethods)
        return rc;
    if (lower->pMethods->iVersion < 3) {
        // A lower layer without the newer methods is left to do its own writes.
        lower->pMethods->xClose(lower);
        return below->xOpen(below, name, file, flags, outFlags);
    }
    self->base.pMethods = &gatheringMethods;
    if (flags & SQLITE_OPEN_MAIN_JOURNAL) {
        sqlite3_file* database = sqlite3_database_file_object(name);
        if (database && database->pMethods == &gatheringMethods) {
            self->partner.store(gatheringOf(database));
            gatheringOf(database)->partner.store(self);
        }
    }
    return rc;
}

// Deleting a journal commits or ends a transaction: what was written before goes out first, and
// nothing is deleted while a late write of an open file is lost.
int gatherDelete(sqlite3_vfs*, const char* name, int syncDirectory) {
    if (const int rc = run().handOver(nullptr, Heeded::No))
        return rc;
    if (brokenFiles.load() > 0)
        return SQLITE_IOERR_DELETE;
    return below->xDelete(below, name, syncDirectory);
}

} // namespace

void gatherEngineWrites() {
    static const bool installed = [] {
        below = sqlite3_vfs_find(nullptr);
        if (!below)
            return false;
        // A copy of the system layer, down to its private data: every method but opening and deleting
        // is its own, and finds in the copy whatever it would read in the original.
        static sqlite3_vfs layer = *below;
        layer.pNext = nullptr;
        layer.szOsFile = LowerOffset + below->szOsFile;
        layer.zName = "corvalis-gathered";
        layer.xOpen = gatherOpen;
        layer.xDelete = gatherDelete;
        return sqlite3_vfs_register(&layer, 1) == SQLITE_OK;
    }();
    (void)installed;
}

} // namespace corvalis::engine
