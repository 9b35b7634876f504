#include "RecordList.h"

#include "app/engine/Value.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPalette>
#include <QScrollBar>
#include <QSet>
#include <algorithm>

namespace corvalis {

namespace {

// The list's model with the colours of the window: striped rows, and the titles of the sorted column
// in lime and of a formerly sorted one in the palette's text colour.
class ColouredListModel : public RecordListModel {
public:
    ColouredListModel(DbSession& session, QColor plainTitle, QObject* parent)
        : RecordListModel(session, parent), m_plainTitle(plainTitle) {}

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole && index.isValid() && index.row() < rowCount())
            // Record numbers count from 1: odd numbers are the even rows of the model.
            return index.row() % 2 == 0 ? RecordList::oddRowColor() : RecordList::evenRowColor();
        return RecordListModel::data(index, role);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::ForegroundRole || orientation != Qt::Horizontal)
            return RecordListModel::headerData(section, orientation, role);
        switch (titleMark(section)) {
        case TitleMark::Sorted:
            return QColor(0, 255, 0);
        case TitleMark::FormerlySorted:
            return m_plainTitle;
        case TitleMark::Plain:
            break;
        }
        return QVariant();
    }

private:
    QColor m_plainTitle;
};

} // namespace

RecordList::RecordList(DbSession& session, QWidget* parent)
    : QTableView(parent), m_model(new ColouredListModel(
                              session, palette().color(QPalette::Inactive, QPalette::WindowText), this)) {
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The selection stays visible when the list loses the focus.
    QPalette shown = palette();
    shown.setColor(QPalette::Inactive, QPalette::Highlight,
                   shown.color(QPalette::Active, QPalette::Highlight));
    shown.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   shown.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(shown);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &RecordList::sortByTitleClick);
}

void RecordList::setDictionary(const TFieldDataArray& dictionary, bool centreByFieldName) {
    m_sortState = SortState::Ascending;
    m_sortedColumn = -1;
    m_model->resetOrder();
    m_model->setColumns(dictionary, centreByFieldName);
    requery();
    for (size_t i = 0; i < dictionary.size(); ++i) {
        setColumnWidth(int(i), dictionary[i].fieldWidth);
        setColumnHidden(int(i), !dictionary[i].visible);
    }
}

void RecordList::setSource(const QString& table, const QString& condition) {
    m_model->setSource(table, condition);
}

void RecordList::setSource(const QString& table, const QString& condition, const QVariantList& params) {
    m_model->setSource(table, condition, params);
}

int RecordList::currentRow() const {
    return currentIndex().isValid() ? currentIndex().row() : (isEmpty() ? -1 : 0);
}

void RecordList::setCurrentRow(int row) {
    if (isEmpty())
        return;
    row = std::clamp(row, 0, recordCount() - 1);
    int column = 0;
    while (column < m_model->columnCount() - 1 && isColumnHidden(column))
        ++column;
    const QModelIndex index = m_model->index(row, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

std::optional<UnionCode> RecordList::currentCode() const {
    const int row = currentRow();
    if (row < 0)
        return std::nullopt;
    return engine::codeOf(m_model->keyAt(row));
}

QList<UnionCode> RecordList::selectedCodes() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<UnionCode> codes;
    for (int row : rows)
        codes << engine::codeOf(m_model->keyAt(row)).value_or(0);
    if (codes.isEmpty()) {
        if (const auto current = currentCode())
            codes << *current;
    }
    return codes;
}

int RecordList::selectedCount() const {
    return int(selectionModel()->selectedRows().size());
}

ListPosition RecordList::position() const {
    const int row = currentRow();
    return {m_model->keyAt(row), row};
}

void RecordList::goTo(const ListPosition& position) {
    if (isEmpty())
        return;
    const int found = m_model->rowOfKey(position.key);
    setCurrentRow(found >= 0 ? found : std::max(0, position.row));
}

void RecordList::requery() {
    m_model->requery();
    if (!isEmpty() && !currentIndex().isValid())
        setCurrentRow(0);
}

void RecordList::recordWritten(const QVariant& previousKey, const QVariant& newKey,
                               const QVariant& positionKey) {
    ListPosition marker = position();
    if (positionKey.isValid())
        marker.key = positionKey;
    m_model->recordWritten(previousKey, newKey);
    goTo(marker);
}

void RecordList::refreshKeepingPosition() {
    const ListPosition marker = position();
    QStringList selected;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        selected << m_model->keyAt(index.row()).toString();
    const int scroll = verticalScrollBar()->value();
    m_model->requery();
    goTo(marker);
    if (isEmpty())
        return;
    selectKeys(selected);
    // The scroll range follows the new rows only after a layout.
    updateGeometries();
    verticalScrollBar()->setValue(scroll);
    scrollTo(currentIndex());
}

void RecordList::selectKeys(const QStringList& keys) {
    if (keys.isEmpty())
        return;
    const QSet<QString> wanted(keys.begin(), keys.end());
    QItemSelection selection;
    const int lastColumn = m_model->columnCount() - 1;
    int runStart = -1;
    for (int row = 0; row <= recordCount(); ++row) {
        const bool chosen = row < recordCount() && wanted.contains(m_model->keyAt(row).toString());
        if (chosen && runStart < 0)
            runStart = row;
        if (!chosen && runStart >= 0) {
            selection.select(m_model->index(runStart, 0), m_model->index(row - 1, lastColumn));
            runStart = -1;
        }
    }
    // None of them is left (deleted): the current row stays selected.
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void RecordList::sortByTitleClick(int column) {
    if (column < 0 || column >= m_model->columnCount())
        return;
    const SortState newState = nextSortState(m_sortState);
    const ListPosition marker = position();
    m_model->sortByColumn(column, newState == SortState::Ascending);
    m_sortState = newState;
    markSorted(column, newState);
    goTo(marker);
}

void RecordList::markSorted(int column, SortState state) {
    m_sortState = state;
    QString title = m_model->title(column);
    if (title.contains(SortUpMark) || title.contains(SortDownMark))
        title.chop(1);
    m_model->setTitle(column, title + (state == SortState::Ascending ? SortUpMark : SortDownMark));
    if (column == m_sortedColumn)
        return;
    m_model->setTitleMark(column, TitleMark::Sorted);
    if (m_sortedColumn >= 0) {
        m_model->setTitleMark(m_sortedColumn, TitleMark::FormerlySorted);
        QString old = m_model->title(m_sortedColumn);
        if (old.contains(SortUpMark) || old.contains(SortDownMark))
            old.chop(1);
        m_model->setTitle(m_sortedColumn, old);
    }
    m_sortedColumn = column;
}

namespace {
bool isListKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Insert || key == Qt::Key_Delete;
}
} // namespace

void RecordList::keyPressEvent(QKeyEvent* event) {
    if (!isListKey(event->key())) {
        QTableView::keyPressEvent(event);
        return;
    }
    // The list acts on these keys itself; passed on, Enter would also press a dialog's default button.
    if (!m_pressedKeys.contains(event->key()))
        m_pressedKeys << event->key();
    event->accept();
}

void RecordList::keyReleaseEvent(QKeyEvent* event) {
    if (!isListKey(event->key()) || !m_pressedKeys.removeOne(event->key())) {
        QTableView::keyReleaseEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT enterReleased();
        break;
    case Qt::Key_Insert:
        Q_EMIT insertReleased();
        break;
    default:
        Q_EMIT deleteReleased();
        break;
    }
}

void RecordList::focusOutEvent(QFocusEvent* event) {
    // A release that arrives after the focus came back belongs to a press made elsewhere.
    m_pressedKeys.clear();
    QTableView::focusOutEvent(event);
}

} // namespace corvalis
