#pragma once

#include "app/UnionCode.h"

#include <QList>
#include <QString>
#include <QVariantMap>

namespace corvalis {
class Clock;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::checks {

class ExplanationRenderer;
struct CheckResultSet;

// Which records a run examines. Only filing records (c912 of 2 or less) ever enter a run.
struct CheckSelection {
    QString condition; // over dt_data, with named parameters
    QVariantMap params;

    static CheckSelection allRecords();
    static CheckSelection codes(const QList<UnionCode>& codes);
    static CheckSelection range(UnionCode low, UnionCode high);
};

// The range of the check dialog as typed, after its corrections: empty texts read as "0", and an
// upper code below the lower one becomes the lower one.
struct CheckRange {
    bool complete = false; // false when either code is 0: "请输入逻辑检查的范围"
    UnionCode low = 0;
    UnionCode high = 0;
    QString lowText;
    QString highText;
};
CheckRange checkRangeFromTexts(const QString& lowText, const QString& highText);

// The progress, pause and stop of the check dialog, which a run started from it reports to.
class CheckControl {
public:
    virtual ~CheckControl() = default;
    virtual void start(qint64 total) = 0;
    virtual void step() = 0;
    virtual bool paused() const = 0;
    virtual bool stopRequested() const = 0;
};

struct CheckOutcome {
    qint64 examined = 0;
    qint64 errorUnits = 0; // ErrorUnitCount: records with at least one violation
    qint64 errorItems = 0; // ErrorItemCount: violation blocks written
    bool stopped = false;
    QString reportPath;
};

// The result file of a database label in the temporary folder. Characters that would lead out of
// that folder ("/", "\") are replaced by "_". Files kept beside it differ in the extension;
// reservedBytes leaves room in the name for a suffix a writer adds to it for a while.
QString resultFilePath(const QString& databaseLabel, const QString& extension = QStringLiteral(".txt"),
                       int reservedBytes = 0);

inline const QString NoLogicErrorsMessage = QStringLiteral("恭喜你，所检查的数据没有逻辑错误");
inline const QString IncompleteRangeMessage = QStringLiteral("请输入逻辑检查的范围");

// CheckRecords: applies the built-in rules to the selected records in c901 order, sets RecordState
// (1 passed, 2 failed) in place, and writes the result file. States are stored in batches, and every
// batch is committed before the run returns, also after a stop or an error, so every record the
// report lists keeps its new state. Errors (the report cannot be written, the database fails) are
// raised after that. Without failures "恭喜你，所检查的数据没有逻辑错误" is shown; with failures the
// totals are written and the report is opened; a stop leaves the report without totals, unopened.
class CheckRunner {
public:
    CheckRunner(engine::Connection& connection, UiServices& ui, const Clock& clock,
                ExplanationRenderer& renderer);

    CheckOutcome checkRecords(const CheckSelection& selection, const QString& reportPath,
                              CheckControl* control = nullptr);

    // Records read at a time; the states of a few reads are stored in one transaction.
    void setBatchSize(int records) { m_batchSize = records > 0 ? records : 1; }

    // Collects the violations of the next runs into the set (nullptr: none), exactly those the result
    // file lists, and saves the set to lastResultsPath of its databaseLabel when a run ends without
    // error (also after a stop, as the result file stays). A save that fails raises after the run's
    // messages.
    void collectInto(CheckResultSet* set) { m_collect = set; }

private:
    engine::Connection& m_connection;
    UiServices& m_ui;
    const Clock& m_clock;
    ExplanationRenderer& m_renderer;
    int m_batchSize = 10000;
    CheckResultSet* m_collect = nullptr;
};

} // namespace corvalis::checks
