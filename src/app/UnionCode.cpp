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
    return ok ? saturatedUnionCode(std::round(number)) : 0;
}

UnionCode saturatedUnionCode(double number) {
    if (std::isnan(number))
        return 0;
    if (number >= PastLargestInteger)
        return std::numeric_limits<UnionCode>::max();
    if (number <= -PastLargestInteger)
        return std::numeric_limits<UnionCode>::min();
    return UnionCode(number);
}

} // namespace corvalis
