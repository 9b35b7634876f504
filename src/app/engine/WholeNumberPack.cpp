#include "WholeNumberPack.h"

#include "Connection.h"
#include "Statement.h"
#include "app/Errors.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace corvalis::engine {

namespace {

void packWholeNumbers(sqlite3_context* context, int argc, sqlite3_value** argv) {
    qint64 values[WholeNumberPack::MaxArguments];
    if (argc > WholeNumberPack::MaxArguments) {
        sqlite3_result_error(context, "too many values to pack", -1);
        return;
    }
    for (int i = 0; i < argc; ++i) {
        switch (sqlite3_value_type(argv[i])) {
        case SQLITE_INTEGER:
            values[i] = sqlite3_value_int64(argv[i]);
            break;
        case SQLITE_NULL:
            values[i] = 0;
            break;
        default:
            sqlite3_result_null(context);
            return;
        }
    }
    sqlite3_result_blob(context, values, int(size_t(argc) * sizeof(qint64)), SQLITE_TRANSIENT);
}

} // namespace

WholeNumberPack::WholeNumberPack(Connection& connection) {
    const int rc = sqlite3_create_function_v2(connection.handle(), Name, -1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                              nullptr, packWholeNumbers, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw EngineError(QString::fromUtf8(sqlite3_errmsg(connection.handle())), rc);
}

QStringList WholeNumberPack::calls(const QStringList& expressions) {
    QStringList calls;
    for (qsizetype from = 0; from < expressions.size(); from += MaxArguments)
        calls << QStringLiteral("%1(%2)").arg(QLatin1String(Name),
                                              expressions.mid(from, MaxArguments).join(QLatin1Char(',')));
    return calls;
}

bool WholeNumberPack::unpack(const Statement& statement, int first, int count, qint64* out, size_t stride) {
    for (int column = first; count > 0; ++column) {
        const int here = std::min(count, MaxArguments);
        const void* blob = nullptr;
        int bytes = 0;
        if (!statement.storedBlob(column, blob, bytes) || bytes != int(size_t(here) * sizeof(qint64)))
            return false;
        const auto* values = static_cast<const unsigned char*>(blob);
        for (int i = 0; i < here; ++i, out += stride)
            std::memcpy(out, values + size_t(i) * sizeof(qint64), sizeof(qint64));
        count -= here;
    }
    return true;
}

} // namespace corvalis::engine
