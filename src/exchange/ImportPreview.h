#pragma once

#include "app/UnionCode.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QTemporaryDir;

namespace corvalis {
class Clock;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::exchange {

// One column of a record whose value differs between the open database and a received file.
struct FieldDifference {
    QString field;
    QVariant ours;   // null QVariant = empty
    QVariant theirs; // null QVariant = empty
};

// A received record whose code the open database already holds with other values.
struct ConflictingRecord {
    UnionCode code = 0;
    QString name; // c902 of the received record
    std::vector<FieldDifference> fields;
};

// One received file as the preview sees it. Refused files carry the refusal message (the same text
// the plain import gives) and no counts.
struct FilePreview {
    QString file;
    QString label;
    QString refusal;
    qint64 records = 0;
    qint64 added = 0; // records with a code the open database does not hold
    qint64 identical = 0;
    qint64 conflicting = 0;
    qint64 repeated = 0;     // codes the file holds more than once; their records are never imported
    qint64 failingCheck = 0; // -1 when the preview was given no rule set to judge by
    std::vector<ConflictingRecord> conflicts; // in c901 order
    QList<UnionCode> repeatedCodes;
};

enum class Resolution { Ours, Theirs };

// Counts the filing records of a staged table (with dt_data's columns) that break a built-in rule.
// The rule set belongs to the checks subsystem, a peer of this one, so the caller above both hands
// it in: checks::countFailingRecords.
using FailingRecordCounter = std::function<qint64(engine::Connection& connection, const QString& table)>;

// One row of the side-by-side view: every field of the record with its caption (from the field
// dictionary).
struct FieldComparison {
    QString field;
    QString caption;
    QVariant ours;
    QVariant theirs;
    bool differs = false;
};

// Stages the received files (data file, CSV, decrypted network text: every kind the program takes
// in) in a staging database of its own in the temporary folder and compares them with the open
// database, to which it writes nothing. Kept alive while the window shows it, so the side-by-side
// view and the import read the staged copies. Progress goes through UiServices.
class ImportPreview {
public:
    ImportPreview(engine::Connection& connection, UiServices& ui, const QStringList& files,
                  FailingRecordCounter countFailing = {});
    ~ImportPreview();
    ImportPreview(const ImportPreview&) = delete;
    ImportPreview& operator=(const ImportPreview&) = delete;

    const std::vector<FilePreview>& files() const { return m_files; }
    std::vector<FieldComparison> compare(int fileIndex, UnionCode code) const;

    // One transaction: adds the new records, skips identical ones, replaces the conflicting ones
    // whose resolution is Theirs (default for codes not in `choices`: `otherwise`), logs the import
    // and keeps each replaced record's previous row. Returns the log id. Refused files are not
    // imported; Error when no file is left to import.
    qint64 apply(const std::map<UnionCode, Resolution>& choices, Resolution otherwise);

    // The clock that dates the log entry (the system clock unless set; it must outlive the preview).
    void setClock(const Clock& clock) { m_clock = &clock; }

private:
    void stageFile(int index, FilePreview& preview);
    void stageDataFile(int index, FilePreview& preview);
    void compareFile(int index, FilePreview& preview);

    engine::Connection& m_connection;
    UiServices& m_ui;
    FailingRecordCounter m_countFailing;
    const Clock* m_clock = nullptr;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_stagePath;
    QStringList m_columns; // of the open database's dt_data, in order
    std::vector<QString> m_captions;
    std::vector<FilePreview> m_files;
};

} // namespace corvalis::exchange
