#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <QVariant>
#include <optional>

namespace corvalis::engine {

// The kinds of column the program distinguishes, derived from a column's declared type.
enum class ColumnType { Unknown, Integer, Float, Text, Boolean, DateTime, Blob };

// Maps a declared SQL type ("VARCHAR(60)", "DOUBLE", "INTEGER", "BOOLEAN", "DATE") to a column kind.
ColumnType columnTypeFromDeclaration(const QString& declared);

// The size of a declared type: n for VARCHAR(n), 255 for other texts, the byte width of numbers.
int columnSizeFromDeclaration(const QString& declared);

// A floating-point value as general text with 15 significant digits: fixed notation without
// trailing zeros (whole numbers carry no decimal point), scientific with "E" only when the value has
// more than 15 digits before the point or is smaller than 0.00001.
QString formatGeneral(double value);

// The engine's text form of a value: empty for null, decimal for numbers (general format for
// floating-point values, so a 12-digit code stored as a double reads without decimals).
QString textOf(const QVariant& value);

// A code as the reports write it: a whole number, a fractional one rounded to the nearest, never with
// decimals; text and other values as textOf gives them.
QString codeTextOf(const QVariant& value);

// Numeric reads that treat null and empty text as 0.
qint64 integerOf(const QVariant& value);
double floatOf(const QVariant& value);

// A stored union code: exact for whole numbers however they are stored (INTEGER, a REAL in older
// files, where 110101000001.0 reads as 110101000001, or digit text); none for null, empty text and
// anything that is not a whole number, since no union has such a code.
std::optional<UnionCode> codeOf(const QVariant& value);
// A stored end of a code range, read as the summary's CAST(... AS INTEGER) reads it: whole numbers
// exactly, others cut to their whole part, null as 0.
UnionCode codeBoundaryOf(const QVariant& value);

// Orders two values as the engine would in ORDER BY: null first, numbers before texts.
int compareValues(const QVariant& a, const QVariant& b);

} // namespace corvalis::engine
