// A received database file read the way the program reads one it did not make: opened as a
// database of its own (as with --db) and attached beside the open database (as by the imports and
// the restore), checked for damage and for views or virtual tables where its tables belong, its
// label read and its records counted, every statement under the work limit. Whatever arrives, each
// step must end (a hang is a timeout here), only the program's own errors may escape, and the open
// database must stay usable.
#include "FuzzSite.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/ReceivedFile.h"
#include "app/engine/Connection.h"
#include "exchange/DataImport.h"

#include <cstdlib>

using corvalis::fuzzing::FuzzSite;

namespace {

void readOnItsOwn(const QString& path) {
    corvalis::engine::Connection file(path);
    corvalis::vetReceivedDatabase(file, QStringLiteral("main"), path);
    corvalis::readDatabaseLabel(file);
    corvalis::underWorkLimit(file, path, path,
                             [&] { return file.scalar(QStringLiteral("select count(*) from dt_data")); });
}

void readAttached(corvalis::engine::Connection& db, const QString& path) {
    const QString alias = corvalis::exchange::ImportAlias;
    corvalis::engine::Attachment attached(db, path, alias);
    corvalis::vetReceivedDatabase(db, alias, path);
    corvalis::readLabelOf(db, alias);
    corvalis::underWorkLimit(db, path, path, [&] {
        return db.scalar(QStringLiteral("select count(*) from %1.dt_data").arg(alias));
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSite& site = FuzzSite::instance();
    const QString path = site.writeInput(QStringLiteral("received.mdb"), data, size);
    auto& db = site.session.connection();
    try {
        readOnItsOwn(path);
    } catch (const corvalis::Error&) {
        // Refused or unreadable: the program's own message.
    }
    try {
        readAttached(db, path);
    } catch (const corvalis::Error&) {
    }
    if (db.inTransaction())
        std::abort();
    // The received file is detached again however the reading ended.
    if (db.scalar(QStringLiteral("select count(*) from pragma_database_list where name=?1"),
                  {corvalis::exchange::ImportAlias})
            .toInt() != 0)
        std::abort();
    db.scalar(QStringLiteral("select count(*) from dt_data"));
    return 0;
}
