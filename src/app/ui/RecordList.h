#pragma once

#include "app/FieldDictionary.h"
#include "app/UnionCode.h"

#include <QAbstractTableModel>
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

// Where a record list stood, to go back there after a re-run: the record's key and its row.
struct ListPosition {
    QVariant key;
    int row = -1;
};

// The rows of a record list. Only the keys of all rows are held (in list order); the rows
// themselves are read page by page as the view asks for them, so a list of a million records costs
// a few megabytes. Column i shows the view column named by the ShowName of dictionary entry i.
class RecordListModel : public QAbstractTableModel {
public:
    explicit RecordListModel(DbSession& session, QObject* parent = nullptr);

    // What the list shows: the rows of a table or view, optionally limited by a condition the program
    // built ("where c901>=..."), keyed by a unique column, in the key's ascending order.
    void setSource(const QString& table, const QString& condition = QString(),
                   const QString& keyColumn = QStringLiteral("c901"));
    // The same with values bound to the condition's parameters ("where c901>=?").
    void setSource(const QString& table, const QString& condition, const QVariantList& params,
                   const QString& keyColumn = QStringLiteral("c901"));
    void setColumns(const TFieldDataArray& dictionary, bool centreByFieldName = false);
    const TFieldDataArray& columns() const { return m_columns; }

    // Reads the keys again in the current order; the page cache is dropped.
    void requery();
    // Takes in one record written since the keys were read, which had the key previousKey (none for a
    // new record) and now has newKey: in the key's own order without a condition the key list is
    // mended in place (one indexed look-up instead of re-reading every key); otherwise, and when the
    // record's place cannot be known, all keys are read again. The page cache is dropped either way.
    void recordWritten(const QVariant& previousKey, const QVariant& newKey);
    // Sorts by a column of the dictionary; the next requery keeps the order.
    void sortByColumn(int column, bool ascending);
    // Back to the key's own order.
    void resetOrder();
    // The order the rows are listed in, as an ORDER BY list ("z002 DESC, c901").
    QString orderBy() const { return m_order.isEmpty() ? m_key : m_order + QStringLiteral(", ") + m_key; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QVariant keyAt(int row) const;
    int rowOfKey(const QVariant& key) const;
    // A value of any column of the source (not only listed ones); null when unknown.
    QVariant value(int row, const QString& column) const;

    // Titles and their colours, as the title-click sort marks them.
    QString title(int column) const;
    void setTitle(int column, const QString& title);
    void setTitleColor(int column, const QColor& color);

    // The striping colours of record lists.
    static QColor oddRowColor() { return QColor(249, 251, 231); }
    static QColor evenRowColor() { return QColor(219, 219, 241); }

private:
    struct Page {
        int number = -1;
        std::vector<std::vector<QVariant>> rows;
    };
    const Page& page(int number) const;
    void loadColumnNames();

    DbSession& m_session;
    QString m_table = QStringLiteral("view_data");
    QString m_condition;
    QVariantList m_params;
    QString m_key = QStringLiteral("c901");
    QString m_order;
    TFieldDataArray m_columns;
    std::vector<bool> m_centred;
    std::vector<QString> m_titles;
    std::vector<QColor> m_titleColors;
    std::vector<QVariant> m_keys;
    QStringList m_sourceColumns;
    std::vector<int> m_sourceIndex;  // listed column → source column, -1 when the source lacks it
    mutable std::list<Page> m_pages; // most recently used first
};

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
    void refreshKeepingPosition();
    void requery();
    // RecordListModel::recordWritten, then back to the record of positionKey (or the row it stood on).
    void recordWritten(const QVariant& previousKey, const QVariant& newKey, const QVariant& positionKey);

    // SortByTitleClick with this list's sort state: 0 none, 1 ascending, 2 descending.
    void sortByTitleClick(int column);
    int sortState() const { return m_sortState; }
    int sortedColumn() const { return m_sortedColumn; }
    // Marks a column as sorted without sorting (a list that opens in that column's order).
    void markSorted(int column, int state);

Q_SIGNALS:
    void enterReleased();
    void insertReleased();
    void deleteReleased();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    RecordListModel* m_model;
    int m_sortState = 1;
    int m_sortedColumn = -1;
};

inline const QString SortUpMark = QStringLiteral("▲");
inline const QString SortDownMark = QStringLiteral("▼");

} // namespace corvalis
