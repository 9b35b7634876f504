#pragma once

#include <QString>

namespace corvalis {

// The password of the program's protected database files (data files and their template). It is
// not stored whole: it is derived at run time from a base text by a table of single-character
// substitutions (each replaces the first occurrence only) and an exchange of positions.
QString deriveDatabasePassword();

// The derivation itself, exposed so it can be checked step by step.
struct Substitution {
    char from;
    char to;
};
QString deriveFromBase(const QString& base, const Substitution* table, int tableSize, const int (*swaps)[2],
                       int swapCount);

} // namespace corvalis
