#pragma once

#include <QString>

struct sqlite3;

namespace corvalis::engine {

// How long every connection of the program waits for a database that another connection or
// process holds, before the statement fails as busy.
inline constexpr int BusyTimeoutMs = 5000;

// The text of a failed engine call. Failures caused by the surroundings rather than the statement
// (a database held by another process, a full disk, a read-only file or folder) get a Chinese
// text naming the database file; any other failure keeps the engine's own text.
QString engineFailureText(sqlite3* db, int code);

// Whether a failure came from the surroundings (busy, locked, full disk, read-only, input/output)
// and not from the statement or the data: such a failure says nothing about the records.
bool isEnvironmentFailure(int code);

// Whether a statement was ended by an interrupt (a progress handler's, for example).
bool isInterruption(int code);

} // namespace corvalis::engine
