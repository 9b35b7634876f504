#include "StagedRecordCheck.h"

#include "BuiltInRules.h"

#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QStringList>
#include <vector>

namespace corvalis::checks {

namespace {

// The values of count columns as the engine holds them, for records whose values are not all whole
// numbers.
void appendEngineNumbers(const engine::Statement& read, int count, std::vector<EngineNumber>& out) {
    for (int column = 0; column < count; ++column)
        out.push_back(engineNumberOf(read.value(column)));
}

} // namespace

qint64 countFailingRecords(engine::Connection& connection, const QString& table) {
    const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
    QStringList fields;
    for (const QString& field : rules.fields())
        fields << engine::quotedIdentifier(field);
    engine::Statement read(
        connection,
        QStringLiteral("select %1 from %2 where c912<=2").arg(fields.join(QLatin1Char(',')), table));
    const int count = int(fields.size());
    std::vector<qint64> values;
    std::vector<EngineNumber> exact;
    qint64 failing = 0;
    const auto ignore = [](int) {};
    while (read.step()) {
        values.clear();
        int violated = 0;
        if (read.appendIntegers(0, count, values)) {
            violated = rules.check(values.data(), ignore);
        } else {
            exact.clear();
            appendEngineNumbers(read, count, exact);
            violated = rules.check(values.data(), ignore, exact.data());
        }
        if (violated > 0)
            ++failing;
    }
    return failing;
}

} // namespace corvalis::checks
