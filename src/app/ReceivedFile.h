#pragma once

#include "Errors.h"
#include "engine/Connection.h"
#include "engine/ProgressHandler.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>
#include <thread>

namespace corvalis {

// Reading database files that arrived from elsewhere (received data files, restored backups,
// files opened with --db). Such a file may hold views or virtual tables where the program expects
// its tables, endless queries, or damaged pages, so the program reads it only through plain
// tables, checks it first, and gives every statement over it a work limit.

// The code of the EngineErrors by which a received file is refused.
inline constexpr int RefusedFileCode = 0x10000;

// Ends any statement the connection runs while the limit lives once it has done more work than a
// file of that size can need: reading plain tables is linear in the file's size.
class WorkLimit {
public:
    // The limit follows the size of the file at path; messages name the shown name (the file the
    // user chose, of which path may be a working copy).
    WorkLimit(engine::Connection& connection, const QString& path, const QString& shownName);
    WorkLimit(const WorkLimit&) = delete;
    WorkLimit& operator=(const WorkLimit&) = delete;

    // Whether the limit ended a statement.
    bool tripped() const { return m_tripped; }
    // The message that tells the user the file's statement was ended.
    QString message() const;

    // Virtual-machine steps between two looks at the counter.
    static constexpr int StepsPerLook = 10000;
    // The work every file may take, and the work allowed for each byte of a file.
    static constexpr qint64 BaseSteps = 200'000'000;
    static constexpr qint64 StepsPerByte = 200;

private:
    QString m_file;
    qint64 m_looksLeft = 0;
    bool m_tripped = false;
    std::optional<engine::ProgressHandler> m_handler;
};

// Runs the body under a work limit; an engine error that the limit caused becomes the limit's
// message, any other error passes unchanged.
template <typename Body>
auto underWorkLimit(engine::Connection& connection, const QString& path, const QString& shownName,
                    Body&& body) {
    WorkLimit limit(connection, path, shownName);
    try {
        return body();
    } catch (const EngineError&) {
        if (limit.tripped())
            throw EngineError(limit.message(), RefusedFileCode);
        throw;
    }
}

// Raises EngineError when one of the named objects of the schema exists but is not a plain table
// (a view, a virtual table). Names missing from the file are left to the caller.
void requirePlainTables(engine::Connection& connection, const QString& schema, const QStringList& names,
                        const QString& file);

// Runs the engine's integrity check (the full check for small files, the quick one for larger)
// on a schema of the connection; raises EngineError naming the file when it finds damage.
void requireIntactDatabase(engine::Connection& connection, const QString& schema, const QString& file);

// The checks every received file passes before its records are used: intact, and dt_data and
// ct_label plain tables where present. Runs under a work limit.
void vetReceivedDatabase(engine::Connection& connection, const QString& schema, const QString& file);

// requireIntactDatabase of an attached file, run under a work limit on a read-only connection and a
// thread of its own, so that it costs no time beside the work that follows on the file. require()
// waits for it and raises what requireIntactDatabase raised; until then nothing taken from the file
// may be kept. When no second connection can be opened, the check runs at once on the connection.
class IntactCheckBeside {
public:
    IntactCheckBeside(engine::Connection& connection, const QString& schema, const QString& file);
    ~IntactCheckBeside();
    IntactCheckBeside(const IntactCheckBeside&) = delete;
    IntactCheckBeside& operator=(const IntactCheckBeside&) = delete;
    void require();

private:
    engine::Connection m_reader;
    std::thread m_worker;
    std::exception_ptr m_failure;
};

// The file a schema of the connection reads ("main" or an attached alias).
QString databaseFileOf(engine::Connection& connection, const QString& schema);

// Files up to this size get the full integrity check.
inline constexpr qint64 FullIntegrityCheckBytes = 32 * 1024 * 1024;

} // namespace corvalis
