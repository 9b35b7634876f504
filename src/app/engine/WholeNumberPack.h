#pragma once

#include <QStringList>
#include <cstddef>

#include <QtGlobal>

namespace corvalis::engine {

class Connection;
class Statement;

// An SQL function for readers of many whole-number columns: it packs its arguments into one blob of
// native 64-bit values, a null as 0, so that a row hands them over in one column instead of one
// column each. It gives null for a row where any argument is neither a whole number nor null; the
// reader then asks for that row's values one by one.
class WholeNumberPack {
public:
    static constexpr const char* Name = "corvalis_whole_numbers";
    // Arguments per call; the engine allows 127 by default.
    static constexpr int MaxArguments = 100;

    // Registers the function on the connection, which keeps it until it closes.
    explicit WholeNumberPack(Connection& connection);

    // The calls that pack the expressions in their order, at most MaxArguments to a call, to be
    // selected as consecutive columns.
    static QStringList calls(const QStringList& expressions);

    // The values of the calls' columns from first on into out, stride apart, as
    // Statement::integersInto gives them; false when any of the columns is null.
    static bool unpack(const Statement& statement, int first, int count, qint64* out, size_t stride);
};

} // namespace corvalis::engine
