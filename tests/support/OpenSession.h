#pragma once

#include "app/DbSession.h"
#include "app/engine/Connection.h"
#include "records/RecordGenerator.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

namespace corvalis::testing {

// The machine stamp under which tests take in network CSV files.
inline const QString TestMachineStamp = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");

// A program folder of a test's own, with the default database and the data-file template, opened
// as the program opens it; questions and messages go to scripted services.
struct OpenSession {
    TestFolder folder{true, true};
    ScriptedUiServices ui;
    DbSession session{folder.folder(), ui};

    OpenSession() { session.openDatabase(); }
    engine::Connection& db() { return session.connection(); }
    // Generated records, their codes from firstCode on.
    void addRecords(int count, qint64 firstCode) {
        records::GeneratorOptions options;
        options.count = count;
        options.firstCode = firstCode;
        records::generateRecords(db(), options);
    }
    // The rows of a table (or of whatever else a FROM clause takes).
    qint64 count(const QString& table = QStringLiteral("dt_data")) {
        return db().scalar(QStringLiteral("select count(*) from ") + table).toLongLong();
    }
};

} // namespace corvalis::testing
