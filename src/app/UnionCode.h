#pragma once

#include <QString>
#include <QtGlobal>

namespace corvalis {

// A union's code (c901): twelve digits, a whole number in every table. 64 bits hold it exactly, which a
// double only does by luck of the range; carry it as this type wherever a single union is meant.
using UnionCode = qint64;

// The codes the survey hands out: twelve digits, the first not 0.
inline constexpr UnionCode SmallestUnionCode = 100000000000LL;
inline constexpr UnionCode LargestUnionCode = 999999999999LL;

// The code as the program shows and writes it: its digits, no separators.
inline QString unionCodeText(UnionCode code) {
    return QString::number(code);
}

// 2^63, exact as a double: the first whole number past the 64-bit range.
inline constexpr double PastLargestInteger = 9223372036854775808.0;

// The whole part of a number as a code; numbers beyond the 64-bit range give its nearest end, which
// compares with every stored code as the number would, and NaN gives 0.
UnionCode saturatedUnionCode(double number);

// A code typed as text (range boxes, command-line options): blank or unreadable text reads as 0, as it
// always has. Digits beyond the 64-bit range read as its nearest end, which compares with every stored
// code as the number typed would; a fraction, which the digit boxes never let in, rounds to the nearest.
UnionCode unionCodeOfText(const QString& text);

} // namespace corvalis
