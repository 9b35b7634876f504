#pragma once

#include "app/FieldDictionary.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QVariant>
#include <list>
#include <vector>

namespace corvalis {

class DbSession;

// How a column title is marked: never sorted on, the column the list is sorted by, or a column the
// list was sorted by before.
enum class TitleMark { Plain, Sorted, FormerlySorted };

// Where a record list stood, to go back there after a re-run: the record's key and its row.
struct ListPosition {
    QVariant key;
    int row = -1;
};

// The rows of a record list. Only the keys of all rows are held (in list order); the rows
// themselves are read page by page as the view asks for them, so a list of a million records costs
// a few megabytes. Column i shows the view column named by the ShowName of dictionary entry i.
// Qt Core only: the colours of rows and titles are added by the list window.
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

    // Titles and their marks, as the title-click sort sets them. How a mark looks is the view's.
    QString title(int column) const;
    void setTitle(int column, const QString& title);
    TitleMark titleMark(int column) const;
    void setTitleMark(int column, TitleMark mark);

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
    std::vector<TitleMark> m_titleMarks;
    std::vector<QVariant> m_keys;
    QStringList m_sourceColumns;
    std::vector<int> m_sourceIndex;  // listed column → source column, -1 when the source lacks it
    mutable std::list<Page> m_pages; // most recently used first
};

} // namespace corvalis
