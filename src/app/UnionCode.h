#pragma once

#include <QString>
#include <QtGlobal>

namespace corvalis {

// A union's code (c901): twelve digits, a whole number in every table. 64 bits hold it exactly, which a
// double only does by luck of the range; carry it as this type wherever a single union is meant.
using UnionCode = qint64;

// The code as the program shows and writes it: its digits, no separators.
inline QString unionCodeText(UnionCode code) {
    return QString::number(code);
}

} // namespace corvalis
