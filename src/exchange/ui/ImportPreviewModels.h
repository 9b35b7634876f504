#pragma once

#include "exchange/ImportHistory.h"
#include "exchange/ImportPreview.h"

#include <QAbstractTableModel>
#include <QColor>
#include <map>
#include <vector>

namespace corvalis {

// The resolution of each conflicting record, by code; a code without an entry keeps ours.
using ResolutionChoices = std::map<UnionCode, exchange::Resolution>;

exchange::Resolution resolutionOf(const ResolutionChoices& choices, UnionCode code);
QString resolutionText(exchange::Resolution resolution);

// A value of a record as the comparison shows it: empty for null, whole numbers without decimals.
QString valueText(const QVariant& value);

// One row per received file: its name, label and counts, or its refusal.
class FilePreviewModel : public QAbstractTableModel {
public:
    enum Column {
        File,
        Label,
        Records,
        Added,
        Identical,
        Conflicting,
        Repeated,
        FailingCheck,
        Note,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;
    void setFiles(const std::vector<exchange::FilePreview>* files);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const std::vector<exchange::FilePreview>* m_files = nullptr;
};

// The conflicting records of one file with the resolution chosen for each.
class ConflictModel : public QAbstractTableModel {
public:
    enum Column { Code, Name, Fields, Choice, ColumnCount };

    ConflictModel(const ResolutionChoices& choices, QObject* parent);
    void setFile(const exchange::FilePreview* file);
    // The resolutions changed: the choice column is drawn again.
    void choicesChanged();
    UnionCode codeAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const ResolutionChoices& m_choices;
    const exchange::FilePreview* m_file = nullptr;
};

// Every field of one conflicting record side by side; a differing field is marked by a sign in
// its first column and by its colour, so the mark does not rest on colour alone.
class FieldComparisonModel : public QAbstractTableModel {
public:
    enum Column { Mark, Field, Caption, Ours, Theirs, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    void setFields(std::vector<exchange::FieldComparison> fields);
    const std::vector<exchange::FieldComparison>& fields() const { return m_fields; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString differenceMark() { return QStringLiteral("≠"); }
    static QColor differenceColor();

private:
    std::vector<exchange::FieldComparison> m_fields;
};

// The import log, in the order the log gives it.
class ImportLogModel : public QAbstractTableModel {
public:
    enum Column { Id, At, File, Label, Added, Replaced, Skipped, State, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    void setEntries(std::vector<exchange::ImportLogEntry> entries);
    const exchange::ImportLogEntry* entryAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<exchange::ImportLogEntry> m_entries;
};

} // namespace corvalis
