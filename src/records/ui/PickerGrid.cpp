#include "PickerGrid.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>

namespace corvalis::records {

QTableWidget* makePickerGrid(const QString& objectName, const QString& heading, QWidget* parent) {
    auto* grid = new QTableWidget(0, 1, parent);
    grid->setObjectName(objectName);
    grid->setHorizontalHeaderLabels({heading});
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    return grid;
}

void setPickerRows(QTableWidget* grid, const QStringList& texts, int current) {
    const QSignalBlocker blocker(grid);
    grid->setUpdatesEnabled(false);
    grid->clearContents();
    grid->setRowCount(int(texts.size()));
    for (int row = 0; row < texts.size(); ++row)
        grid->setItem(row, 0, new QTableWidgetItem(texts[row]));
    if (current >= 0 && current < texts.size()) {
        grid->setCurrentCell(current, 0);
        grid->scrollToItem(grid->item(current, 0), QAbstractItemView::PositionAtCenter);
    } else {
        grid->setCurrentCell(-1, -1);
        grid->clearSelection();
    }
    grid->setUpdatesEnabled(true);
}

} // namespace corvalis::records
