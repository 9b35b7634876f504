#pragma once

#include "app/UnionCode.h"

#include <vector>

class QWidget;

namespace corvalis {
class DbSession;
class RecordList;
} // namespace corvalis

namespace corvalis::checks {

// The records of the results window as a list the entry form walks with its next and previous
// buttons: a hidden record list over a temporary view that joins dt_data with the window's records
// in the window's order. The view lives in the connection's temporary schema and is made again
// whenever the records are set, so another database opened meanwhile does not matter.
class ResultsWalk {
public:
    ResultsWalk(DbSession& session, QWidget* parent);

    // The records to walk, in order; the list's current record becomes `current`.
    void setRecords(const std::vector<UnionCode>& codes, UnionCode current);
    // A record the form wrote under a new code stays in its place.
    void followCode(UnionCode previousCode, UnionCode code);
    RecordList& list() { return *m_list; }

private:
    DbSession& m_session;
    RecordList* m_list;
};

} // namespace corvalis::checks
