#pragma once

#include "app/FieldDictionary.h"
#include "app/RecordListModel.h"
#include "app/SortState.h"
#include "app/UnionCode.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QTableView>
#include <QVariant>
#include <list>
#include <optional>
#include <vector>

namespace corvalis {

class DbSession;

// A record list window: the view of a RecordListModel with whole-row, multiple selection, striped
// rows, titles that sort on a click (SortByTitleClick), and the keys of the program's lists.
class RecordList : public QTableView {
    Q_OBJECT
public:
    explicit RecordList(DbSession& session, QWidget* parent = nullptr);

    RecordListModel& model() const { return *m_model; }

    // LoadFieldDictionary for this list: columns, widths, titles, hidden columns; the sort state goes
    // back to ascending and the sorted-column mark is removed; then the rows are read.
    void setDictionary(const TFieldDataArray& dictionary, bool centreByFieldName = false);
    void setSource(const QString& table, const QString& condition = QString());
    void setSource(const QString& table, const QString& condition, const QVariantList& params);

    bool isEmpty() const { return m_model->rowCount() == 0; }
    int recordCount() const { return m_model->rowCount(); }
    int currentRow() const;
    void setCurrentRow(int row);
    // The current row's code; none without rows, or when its key is no whole number.
    std::optional<UnionCode> currentCode() const;
    // The codes of the selected rows in list order; the current row's code when none is selected.
    // A key that is no whole number counts as 0, which names no record.
    QList<UnionCode> selectedCodes() const;
    int selectedCount() const;

    // Take a position marker, re-run, go back to it: the same record by key, or the row that took its
    // place when it is gone (the last row when it was at the end).
    ListPosition position() const;
    void goTo(const ListPosition& position);
    // Re-runs the list and keeps what the person sees: the current record, the selected records
    // that are still there and the scroll position (moved only as far as the current row needs).
    void refreshKeepingPosition();
    void requery();
    // RecordListModel::recordWritten, then back to the record of positionKey (or the row it stood on).
    void recordWritten(const QVariant& previousKey, const QVariant& newKey, const QVariant& positionKey);

    // SortByTitleClick: sorts by the column, the other way round from the list's current direction.
    void sortByTitleClick(int column);
    SortState sortState() const { return m_sortState; }
    int sortedColumn() const { return m_sortedColumn; }
    // Marks a column as sorted without sorting (a list that opens in that column's order).
    void markSorted(int column, SortState state);

    // The striping colours of record lists.
    static QColor oddRowColor() { return QColor(249, 251, 231); }
    static QColor evenRowColor() { return QColor(219, 219, 241); }

Q_SIGNALS:
    // Emitted on the release of a key whose press the list received.
    void enterReleased();
    void insertReleased();
    void deleteReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void selectKeys(const QStringList& keys);

    // The list's own keys whose press this list received and whose release is still to come: a
    // release alone (the press went to a dialog that has just closed) does nothing.
    QList<int> m_pressedKeys;
    RecordListModel* m_model;
    SortState m_sortState = SortState::Ascending;
    int m_sortedColumn = -1;
};

inline const QString SortUpMark = QStringLiteral("▲");
inline const QString SortDownMark = QStringLiteral("▼");

} // namespace corvalis
