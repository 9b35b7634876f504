#include "UnionCode.h"

#include <cmath>
#include <limits>

namespace corvalis {

UnionCode unionCodeOfText(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const UnionCode whole = trimmed.toLongLong(&ok);
    if (ok)
        return whole;
    const double number = trimmed.toDouble(&ok);
    if (!ok || std::isnan(number))
        return 0;
    // 2^63 is exact as a double; everything at or beyond it saturates.
    constexpr double Limit = 9223372036854775808.0;
    if (number >= Limit)
        return std::numeric_limits<UnionCode>::max();
    if (number <= -Limit)
        return std::numeric_limits<UnionCode>::min();
    return UnionCode(std::llround(number));
}

} // namespace corvalis
