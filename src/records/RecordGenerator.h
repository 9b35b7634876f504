#pragma once

#include "app/UnionCode.h"

#include <QString>

namespace corvalis {
class ProgressReporter;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::records {

struct GeneratorOptions {
    qint64 count = 0;
    quint64 seed = 1;
    // The code of the first record; 0 continues after the highest code in the database.
    UnionCode firstCode = 0;
    // The share of records (0 to 1) that break consistency rules; exactly floor(count × share).
    double faultyShare = 0;
};

struct GeneratorResult {
    qint64 written = 0;
    qint64 faulty = 0;
    UnionCode firstCode = 0;
    UnionCode lastCode = 0;
};

// Adds synthetic, realistic survey records: real division, industry and category codes from the
// code tables, plausible union names, form fillers and telephone numbers, and counts that agree with
// each other and with the filling scope of the unit category. Records that are not faulty pass every
// consistency rule; each faulty record breaks at least one. All records are held (RecordState 0).
// The whole run is one transaction.
GeneratorResult generateRecords(engine::Connection& connection, const GeneratorOptions& options,
                                ProgressReporter* progress = nullptr);

// Whether record number i (from 0) of a run with that share is one of the faulty ones; spreads
// exactly floor(count × share) faulty records evenly over the run.
bool isFaultyRecord(qint64 index, double share);

} // namespace corvalis::records
