#pragma once

#include <QStringList>

class QTableWidget;
class QWidget;

namespace corvalis::records {

// A read-only, one-column list grid of a picker that selects whole rows.
QTableWidget* makePickerGrid(const QString& objectName, const QString& heading, QWidget* parent);
// Replaces the rows and makes one current (none for -1) without emitting a change of row.
void setPickerRows(QTableWidget* grid, const QStringList& texts, int current);

} // namespace corvalis::records
