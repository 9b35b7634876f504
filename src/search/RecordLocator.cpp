#include "RecordLocator.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

namespace corvalis::search {

std::optional<UnionCode> codeForLocate(const QString& text) {
    if (text.size() != 12)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return text.toLongLong();
}

std::optional<UnionCode> findCodeByName(engine::Connection& connection, const QString& name) {
    // Walking the code index in order stops at the first match, so a common name is found at once
    // even in a million records.
    engine::Statement statement(
        connection, QStringLiteral("select c901 from dt_data where c902 like ? order by c901 limit 1"));
    statement.bind(1, QStringLiteral("%") + name.trimmed() + QStringLiteral("%"));
    if (!statement.step())
        return std::nullopt;
    return statement.code(0);
}

} // namespace corvalis::search
