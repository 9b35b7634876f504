// A received data file: its head restored into the working copy, opened without and with the
// password, its tables checked, its label read and its records imported or listed as conflicts.
// Whatever arrives, the open database must stay usable and no exception may escape except the
// program's own errors, which the main window reports.
#include "FuzzSite.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "exchange/DataImport.h"

#include <cstdlib>

using corvalis::fuzzing::FuzzSite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSite& site = FuzzSite::instance();
    const QString path = site.writeInput(QStringLiteral("received.dat"), data, size);
    try {
        corvalis::exchange::importDataFileFrom(site.session, site.ui, path);
    } catch (const corvalis::Error&) {
        // A file without ct_label ends with the engine's error: expected.
    }
    // The open database is untouched and outside any transaction.
    auto& db = site.session.connection();
    if (db.inTransaction())
        std::abort();
    db.scalar(QStringLiteral("select count(*) from dt_data"));
    return 0;
}
