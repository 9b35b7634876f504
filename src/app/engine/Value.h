#pragma once

#include <QString>
#include <QVariant>

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

// Numeric reads that treat null and empty text as 0.
qint64 integerOf(const QVariant& value);
double floatOf(const QVariant& value);

// Orders two values as the engine would in ORDER BY: null first, numbers before texts.
int compareValues(const QVariant& a, const QVariant& b);

} // namespace corvalis::engine
