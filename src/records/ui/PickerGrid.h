#pragma once

#include <QStringList>

class QDialog;
class QLayout;
class QPushButton;
class QTableWidget;
class QWidget;

namespace corvalis::records {

// A read-only, one-column list grid of a picker that selects whole rows.
QTableWidget* makePickerGrid(const QString& objectName, const QString& heading, QWidget* parent);
// Replaces the rows and makes one current (none for -1) without emitting a change of row.
void setPickerRows(QTableWidget* grid, const QStringList& texts, int current);

// Lays a picker out: its lists above, a note with the buttons "确认选择" (tbOK, default) and
// "取消选择" (tbCancel, rejects) below. Returns the OK button for the picker to connect.
QPushButton* layOutPicker(QDialog* picker, QLayout* lists, const QString& note);

} // namespace corvalis::records
