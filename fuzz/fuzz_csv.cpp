// A CSV file of the network version given to the CSV import: any bytes must end in an import, a
// conflict report or a refusal, never in a crash or a half-done transaction; and what is imported
// holds only values the entry form can write (whole 12-digit codes, counts in range, short texts).
#include "FuzzSite.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "exchange/CsvImport.h"
#include "records/ReceivedValues.h"

#include <cstdlib>

using corvalis::fuzzing::FuzzSite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSite& site = FuzzSite::instance();
    const QString path = site.writeInput(QStringLiteral("received.csv"), data, size);
    try {
        corvalis::exchange::importCsvFile(site.session, site.ui, path, QStringLiteral("fuzz"));
    } catch (const corvalis::Error&) {
    }
    auto& db = site.session.connection();
    if (db.inTransaction())
        std::abort();
    if (!corvalis::records::refusedRecords(db, QStringLiteral("main.dt_data")).empty())
        std::abort();
    // Keep the database small so that every input meets the same state.
    db.execute(QStringLiteral("delete from dt_data"));
    return 0;
}
