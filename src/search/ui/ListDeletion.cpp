#include "ListDeletion.h"

#include "app/engine/Value.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace corvalis::search {

QList<UnionCode> RecordListDeletion::selectedKeys() const {
    QList<int> rows;
    for (const QModelIndex& index : m_list.selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<UnionCode> keys;
    for (int row : rows) {
        // A key that is no whole number names no union; it is left out like a missing one.
        if (const std::optional<UnionCode> key = engine::codeOf(m_list.model().keyAt(row)))
            keys << *key;
    }
    return keys;
}

bool RecordListDeletion::showKey(UnionCode key) {
    const int row = m_list.model().rowOfKey(QVariant(key));
    if (row < 0)
        return false;
    // Move the current row without touching the selection, which the user still sees.
    const QModelIndex index = m_list.model().index(row, std::max(0, m_list.currentIndex().column()));
    m_list.selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_list.scrollTo(index);
    return true;
}

} // namespace corvalis::search
