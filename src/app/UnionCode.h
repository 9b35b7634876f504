#pragma once

#include <QString>
#include <QtGlobal>

namespace corvalis {

// A union's code (c901): twelve digits, a whole number in every table. 64 bits hold it exactly, which a
// double only does by luck of the range; carry it as this type wherever a single union is meant.
using UnionCode = qint64;

// The twelve-digit text of a code, with leading zeros ("010101000001").
inline QString unionCodeText(UnionCode code) {
    return QStringLiteral("%1").arg(code, 12, 10, QLatin1Char('0'));
}

} // namespace corvalis
