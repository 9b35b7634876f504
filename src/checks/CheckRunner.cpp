#include "CheckRunner.h"

#include "BuiltInRules.h"
#include "CheckResults.h"
#include "Explanation.h"
#include "app/BatchFeed.h"
#include "app/Clock.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace corvalis::checks {

namespace {

const QString FilingRecords = QStringLiteral("c912<=2");
constexpr int RecordHeaderDashes = 80;
constexpr int TotalsRuleLength = 49;
// How often a run lets the interface handle its events while it works.
constexpr qint64 ResponsiveIntervalMs = 25;

// The records of one read, judged: their row ids, stored states, codes as stored, names and the rules
// each one violates (violations[firstViolation[i] .. firstViolation[i + 1]) for record i). The codes
// stay as stored: the report writes their engine text, and the next read goes on after the last one.
struct JudgedBatch {
    std::vector<qint64> rowIds;
    std::vector<qint64> states;
    std::vector<QVariant> storedCodes;
    QStringList names;
    std::vector<int> violations;
    std::vector<size_t> firstViolation{0};
    size_t size() const { return rowIds.size(); }
};

// The values of count columns as the engine holds them.
void appendEngineNumbers(const engine::Statement& read, int first, int count,
                         std::vector<EngineNumber>& out) {
    for (int column = first; column < first + count; ++column)
        out.push_back(engineNumberOf(read.value(column)));
}

// Reads the selected records in c901 order a batch at a time (keyed on the last code read) on a
// read-only connection of its own, and judges them by the rules, on a thread of its own: a batch
// ahead of the run, which meanwhile stores states and writes the report. The reader holds the file
// only while it reads a batch, under fileAccess, which the run also takes to commit.
class JudgedBatchFeed {
public:
    JudgedBatchFeed(const engine::Connection& connection, const CheckSelection& selection, int batchSize,
                    std::mutex& fileAccess)
        : m_reader(connection.openReadOnlyTwin()), m_selection(selection), m_batchSize(batchSize),
          m_fileAccess(fileAccess),
          m_feed([this](const BatchFeed<JudgedBatch>::Hand& hand) { produce(hand); }) {}

    // The next batch in c901 order; empty once every selected record was handed out.
    JudgedBatch next() { return m_feed.next(); }

private:
    void produce(const BatchFeed<JudgedBatch>::Hand& hand) {
        const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
        engine::Statement read(
            m_reader, QStringLiteral("select rowid, RecordState, c901, c902, %1 from dt_data where (%2) "
                                     "and c901>:after order by c901 limit :limit")
                          .arg(rules.fields().join(QStringLiteral(", ")), m_selection.condition));
        const size_t fieldCount = size_t(rules.fields().size());
        const size_t capacity = size_t(m_batchSize);
        // The values field by field (slot s of record i at s * capacity + i), so that the rules are
        // judged for the whole batch at once, one loop over it per step of a rule.
        std::vector<qint64> values(fieldCount * capacity);
        std::vector<const qint64*> columns(fieldCount);
        for (size_t slot = 0; slot < fieldCount; ++slot)
            columns[slot] = values.data() + slot * capacity;
        std::vector<unsigned char> doubtful;
        RuleExpression::BatchScratch scratch;
        std::vector<qint64> recordValues(fieldCount);
        // The records whose values are not all whole numbers, with those values as the engine holds them.
        std::vector<size_t> inexactRows;
        std::vector<EngineNumber> exactValues;
        QVariant after = -std::numeric_limits<double>::max();
        for (;;) {
            JudgedBatch batch;
            inexactRows.clear();
            exactValues.clear();
            {
                const std::lock_guard<std::mutex> file(m_fileAccess);
                read.bindAll(m_selection.params);
                read.bind(QStringLiteral(":after"), after);
                read.bind(QStringLiteral(":limit"), m_batchSize);
                while (read.step()) {
                    const size_t row = batch.size();
                    batch.rowIds.push_back(read.integer(0));
                    batch.states.push_back(read.isNull(1) ? -1 : read.integer(1));
                    batch.storedCodes.push_back(read.value(2));
                    batch.names << read.text(3);
                    if (!read.integersInto(4, int(fieldCount), values.data() + row, capacity)) {
                        inexactRows.push_back(row);
                        appendEngineNumbers(read, 4, int(fieldCount), exactValues);
                    }
                }
                read.reset(); // ends the read, so the run may commit
            }
            if (batch.size() == 0)
                return;
            rules.markDoubtful(columns.data(), batch.size(), scratch, doubtful);
            size_t inexact = 0;
            for (size_t i = 0; i < batch.size(); ++i) {
                const bool exact = inexact < inexactRows.size() && inexactRows[inexact] == i;
                // Only the exact evaluation judges a record that may violate a rule, so the
                // violations and their order are those of judging record by record.
                if (doubtful[i] || exact) {
                    for (size_t slot = 0; slot < fieldCount; ++slot)
                        recordValues[slot] = columns[slot][i];
                    rules.check(
                        recordValues.data(), [&batch](int rule) { batch.violations.push_back(rule); },
                        exact ? exactValues.data() + inexact++ * fieldCount : nullptr);
                }
                batch.firstViolation.push_back(batch.violations.size());
            }
            const bool last = batch.size() < capacity;
            after = batch.storedCodes.back();
            if (!hand(std::move(batch)) || last)
                return;
        }
    }

    engine::Connection m_reader;
    const CheckSelection m_selection;
    const int m_batchSize;
    std::mutex& m_fileAccess;
    BatchFeed<JudgedBatch> m_feed; // last: its thread uses everything above
};

// The result file: its head, one block per violation, and the totals.
class ResultFile {
public:
    ResultFile(const QString& path, const QDateTime& started) : m_writer(path) {
        m_writer.writeLine(QStringLiteral("#2020基层调查表逻辑检查结果"));
        m_writer.writeLine(QStringLiteral("#检查时间：") +
                           started.toString(QStringLiteral("yyyy年MM月dd日 HH:mm")));
        m_writer.writeLine();
        m_writer.writeLine();
        m_writer.flush();
    }

    // WriteViolation: the record's header line before its first violation.
    void writeViolation(const QString& codeText, const QString& name, bool firstOfRecord, const QString& rule,
                        const QString& explanation) {
        if (firstOfRecord) {
            m_writer.writeLine(codeText + QStringLiteral("  ") + name + QStringLiteral("的数据有错误"));
            m_writer.writeLine(QString(RecordHeaderDashes, QLatin1Char('-')));
        }
        m_writer.writeLine(QStringLiteral("  判断规则：") + rule);
        m_writer.writeLine(QStringLiteral("  规则说明：") + explanation);
        m_writer.writeLine();
    }

    void flush() { m_writer.flush(); }

    void writeTotals(qint64 units, qint64 items) {
        m_writer.writeLine(QString(TotalsRuleLength, QLatin1Char('=')));
        m_writer.writeLine(QStringLiteral("共有%1个单位的数据存在逻辑错误！").arg(units));
        m_writer.writeLine(QStringLiteral("共有%1个逻辑错误项！").arg(items));
        m_writer.flush();
    }

    void close() { m_writer.close(); }

private:
    GbkTextWriter m_writer;
};

// A violation waiting for the states before it to be committed.
struct PendingViolation {
    size_t statesBefore; // states gathered up to and including its record's
    qint64 rowId;
    QVariant storedCode;
    QString codeText;
    QString name;
    bool firstOfRecord;
    int rule;
};

// The violations a run writes into its result file, gathered for the results window and the
// command-line formats. The division codes are read once at the end, by row id.
class ResultCollector {
public:
    explicit ResultCollector(CheckResultSet& set) : m_set(set) {}

    void add(const PendingViolation& pending) {
        Violation violation;
        violation.code = engine::codeOf(pending.storedCode).value_or(0);
        violation.codeText = pending.codeText;
        violation.unionName = pending.name;
        violation.rule = pending.rule;
        m_set.violations.push_back(std::move(violation));
        m_rowIds.push_back(pending.rowId);
    }

    void fillDivisions(engine::Connection& connection) {
        if (m_rowIds.empty())
            return;
        QJsonArray ids;
        for (size_t i = 0; i < m_rowIds.size(); ++i) {
            if (i == 0 || m_rowIds[i] != m_rowIds[i - 1])
                ids.append(m_rowIds[i]);
        }
        engine::Statement read(connection,
                               QStringLiteral("select rowid, c903 from dt_data "
                                              "where rowid in (select value from json_each(?1))"));
        read.bind(1, QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact)));
        QHash<qint64, QString> divisions;
        while (read.step())
            divisions.insert(read.integer(0), engine::codeTextOf(read.value(1)));
        for (size_t i = 0; i < m_rowIds.size(); ++i)
            m_set.violations[i].division = divisions.value(m_rowIds[i]);
    }

private:
    CheckResultSet& m_set;
    std::vector<qint64> m_rowIds; // of each violation
};

// The states and report lines of a run not yet written. The row ids whose state changes are
// written together, one update per state in one transaction, at the end of each batch and
// whenever the run pauses, stops or fails; the report lines of those records follow the commit,
// so every record the report lists has its state stored. When the update fails, the states are
// written one by one up to the failing record, and only the lines of the records before it.
class PendingResults {
public:
    using Explain = std::function<const QString&(int rule)>;

    PendingResults(engine::Connection& connection, std::mutex& fileAccess, ResultFile& report,
                   Explain explain)
        : m_connection(connection), m_fileAccess(fileAccess), m_report(report), m_explain(std::move(explain)),
          m_update(connection, QStringLiteral("update dt_data set RecordState=?1 "
                                              "where rowid in (select value from json_each(?2))")),
          m_single(connection, QStringLiteral("update dt_data set RecordState=?1 where rowid=?2")) {}

    void store(qint64 rowId, int state) {
        m_rowIds.push_back(rowId);
        m_states.push_back(state);
    }

    void addViolation(qint64 rowId, const QVariant& storedCode, const QString& name, bool firstOfRecord,
                      int rule) {
        m_violations.push_back(
            {m_rowIds.size(), rowId, storedCode, engine::codeTextOf(storedCode), name, firstOfRecord, rule});
    }

    // Every violation written into the report goes to the collector as well.
    void collectInto(ResultCollector* collector) { m_collector = collector; }

    void commit() {
        if (!m_rowIds.empty()) {
            try {
                writeTogether();
            } catch (const EngineError&) {
                const size_t stored = writeOneByOne();
                writeViolations(stored);
                throw;
            }
        }
        writeViolations(m_rowIds.size());
        m_rowIds.clear();
        m_states.clear();
    }

    // After an error: keep what was gathered before it, if the engine still can.
    void commitAfterError() noexcept {
        try {
            commit();
        } catch (...) {
        }
    }

private:
    void writeTogether() {
        engine::Transaction transaction(m_connection);
        for (const int state : {1, 2}) {
            const QByteArray list = rowIdList(state);
            if (list.size() <= 2)
                continue;
            m_update.reset();
            m_update.bindInt64(1, state);
            m_update.bindText(2, list.constData(), int(list.size()));
            const qint64 expected = qint64(std::count(m_states.begin(), m_states.end(), state));
            const qint64 changed = m_update.run();
            m_update.reset();
            if (changed != expected)
                throw EngineError(GoneMessage);
        }
        const std::lock_guard<std::mutex> file(m_fileAccess);
        transaction.commit();
    }

    // Returns how many states were stored before the one that failed (all when none failed).
    size_t writeOneByOne() {
        size_t stored = 0;
        engine::Transaction transaction(m_connection);
        try {
            for (; stored < m_rowIds.size(); ++stored) {
                m_single.reset();
                m_single.bindInt64(1, m_states[stored]);
                m_single.bindInt64(2, m_rowIds[stored]);
                if (m_single.run() != 1)
                    throw EngineError(GoneMessage);
            }
        } catch (const EngineError&) {
        }
        m_single.reset();
        const std::lock_guard<std::mutex> file(m_fileAccess);
        transaction.commit();
        return stored;
    }

    void writeViolations(size_t storedStates) {
        size_t written = 0;
        for (; written < m_violations.size() && m_violations[written].statesBefore <= storedStates;
             ++written) {
            const PendingViolation& v = m_violations[written];
            m_report.writeViolation(v.codeText, v.name, v.firstOfRecord,
                                    QString::fromUtf8(CompiledRuleSet::builtIn().rule(v.rule).ruleText),
                                    m_explain(v.rule));
            if (m_collector)
                m_collector->add(v);
        }
        m_violations.erase(m_violations.begin(), m_violations.begin() + std::ptrdiff_t(written));
        m_report.flush();
    }

    QByteArray rowIdList(int state) const {
        QByteArray list;
        list.reserve(qsizetype(m_rowIds.size()) * 12 + 2);
        list.append('[');
        for (size_t i = 0; i < m_rowIds.size(); ++i) {
            if (m_states[i] != state)
                continue;
            if (list.size() > 1)
                list.append(',');
            list.append(QByteArray::number(m_rowIds[i]));
        }
        list.append(']');
        return list;
    }

    inline static const QString GoneMessage = QStringLiteral("记录已不存在，无法保存其检查结果。");

    engine::Connection& m_connection;
    std::mutex& m_fileAccess;
    ResultFile& m_report;
    Explain m_explain;
    engine::Statement m_update;
    engine::Statement m_single;
    std::vector<qint64> m_rowIds;
    std::vector<int> m_states;
    std::vector<PendingViolation> m_violations;
    ResultCollector* m_collector = nullptr;
};

QString codeListJson(const QList<UnionCode>& codes) {
    QJsonArray array;
    for (UnionCode code : codes)
        array.append(code);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

} // namespace

CheckSelection CheckSelection::allRecords() {
    return {FilingRecords, {}};
}

CheckSelection CheckSelection::codes(const QList<UnionCode>& codes) {
    return {FilingRecords + QStringLiteral(" and c901 in (select value from json_each(:codes))"),
            {{QStringLiteral(":codes"), codeListJson(codes)}}};
}

CheckSelection CheckSelection::range(UnionCode low, UnionCode high) {
    return {FilingRecords + QStringLiteral(" and c901>=:low and c901<=:high"),
            {{QStringLiteral(":low"), low}, {QStringLiteral(":high"), high}}};
}

CheckRange checkRangeFromTexts(const QString& lowText, const QString& highText) {
    CheckRange range;
    range.lowText = lowText.trimmed().isEmpty() ? QStringLiteral("0") : lowText.trimmed();
    range.highText = highText.trimmed().isEmpty() ? QStringLiteral("0") : highText.trimmed();
    range.low = unionCodeOfText(range.lowText);
    range.high = unionCodeOfText(range.highText);
    if (range.low == 0 || range.high == 0)
        return range;
    range.complete = true;
    if (range.high < range.low) {
        range.high = range.low;
        range.highText = range.lowText;
    }
    return range;
}

QString resultFilePath(const QString& databaseLabel, const QString& extension, int reservedBytes) {
    QString label = databaseLabel;
    label.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    label.remove(QChar(0));
    const QString head = QStringLiteral("2020基层-");
    const QString tail = QStringLiteral("-逻辑检查结果") + extension;
    return tempFolder() + QLatin1Char('/') + head +
           fitFileNamePart(label, MaxFileNameBytes - reservedBytes - fileNameBytes(head + tail)) + tail;
}

CheckRunner::CheckRunner(engine::Connection& connection, UiServices& ui, const Clock& clock,
                         ExplanationRenderer& renderer)
    : m_connection(connection), m_ui(ui), m_clock(clock), m_renderer(renderer) {}

CheckOutcome CheckRunner::checkRecords(const CheckSelection& selection, const QString& reportPath,
                                       CheckControl* control) {
    // The records are read on a second connection, which would not see a caller's uncommitted rows.
    if (m_connection.inTransaction())
        throw Error(QStringLiteral("逻辑检查不能在未完成的事务中进行。"));
    const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
    CheckOutcome outcome;
    outcome.reportPath = reportPath;

    const QDateTime started = m_clock.now();
    ResultFile report(reportPath, started);

    engine::Statement count(m_connection,
                            QStringLiteral("select count(*) from dt_data where ") + selection.condition);
    count.bindAll(selection.params);
    count.step();
    const qint64 total = count.integer(0);
    count.reset();
    if (control)
        control->start(total);

    // The states of a batch stay in the page cache until their commit.
    const engine::ScopedCacheSize cache(m_connection, 32768);
    std::mutex fileAccess;
    std::vector<std::optional<QString>> explanations(size_t(rules.ruleCount()));
    auto explanationOf = [&](int rule) -> const QString& {
        auto& cached = explanations[size_t(rule)];
        if (!cached)
            cached = m_renderer.render(QString::fromUtf8(rules.rule(rule).explanation));
        return *cached;
    };
    PendingResults states(m_connection, fileAccess, report, explanationOf);
    std::optional<ResultCollector> collector;
    if (m_collect) {
        m_collect->checkedAt = started;
        m_collect->checked = m_collect->failed = 0;
        m_collect->stopped = false;
        m_collect->violations.clear();
        collector.emplace(*m_collect);
        states.collectInto(&*collector);
    }

    std::optional<JudgedBatchFeed> feed;
    if (total > 0)
        feed.emplace(m_connection, selection, m_batchSize, fileAccess);
    JudgedBatch batch;
    size_t next = 0;
    QElapsedTimer sinceResponsive;
    sinceResponsive.start();
    try {
        while (outcome.examined < total) {
            const bool paused = control && control->paused();
            if (!paused) {
                if (next >= batch.size()) {
                    states.commit();
                    batch = feed->next();
                    next = 0;
                    if (batch.size() == 0)
                        break; // fewer records than counted: nothing more to examine
                }
                const size_t firstViolation = batch.firstViolation[next];
                const size_t violationCount = batch.firstViolation[next + 1] - firstViolation;
                // The state first, then the report: whatever the report lists has its state stored.
                const int state = violationCount == 0 ? 1 : 2;
                if (batch.states[next] != state) // a state already right needs no write
                    states.store(batch.rowIds[next], state);
                for (size_t i = 0; i < violationCount; ++i) {
                    states.addViolation(batch.rowIds[next], batch.storedCodes[next],
                                        batch.names[qsizetype(next)], i == 0,
                                        batch.violations[firstViolation + i]);
                    ++outcome.errorItems;
                }
                if (violationCount > 0)
                    ++outcome.errorUnits;
                ++next;
                ++outcome.examined;
                if (control)
                    control->step();
            } else {
                // Nothing is held open while the user decides.
                states.commit();
                QThread::msleep(10);
            }
            if (control && (paused || sinceResponsive.elapsed() >= ResponsiveIntervalMs)) {
                m_ui.keepResponsive();
                sinceResponsive.restart();
            }
            if (control && control->stopRequested()) {
                outcome.stopped = true;
                break;
            }
        }
        states.commit();
    } catch (...) {
        states.commitAfterError();
        // The results of an earlier run no longer match the result file begun anew.
        if (m_collect)
            QFile::remove(lastResultsPath(m_collect->databaseLabel));
        throw;
    }

    if (collector) {
        collector->fillDivisions(m_connection);
        m_collect->checked = outcome.examined;
        m_collect->failed = outcome.errorUnits;
        m_collect->stopped = outcome.stopped;
    }
    if (outcome.stopped) {
        report.close();
    } else if (outcome.errorUnits == 0) {
        report.close();
        m_ui.showMessage(NoLogicErrorsMessage);
    } else {
        report.writeTotals(outcome.errorUnits, outcome.errorItems);
        report.close();
        m_ui.openWithShell(reportPath);
    }
    if (m_collect)
        saveCheckResults(*m_collect, lastResultsPath(m_collect->databaseLabel));
    return outcome;
}

} // namespace corvalis::checks
