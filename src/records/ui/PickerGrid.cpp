#include "PickerGrid.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

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

QPushButton* layOutPicker(QDialog* picker, QLayout* lists, const QString& note) {
    auto* ok = new QPushButton(QStringLiteral("确认选择"), picker);
    ok->setObjectName(QStringLiteral("tbOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消选择"), picker);
    cancel->setObjectName(QStringLiteral("tbCancel"));
    QObject::connect(cancel, &QPushButton::clicked, picker, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(note, picker), 1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(picker);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    return ok;
}

} // namespace corvalis::records
