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
#include "app/engine/WholeNumberPack.h"
#include "app/engine/WritebackAhead.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace corvalis::checks {

namespace {

const QString FilingRecords = QStringLiteral("c912<=2");
constexpr int RecordHeaderDashes = 80;
constexpr int TotalsRuleLength = 49;
// How often a run lets the interface handle its events while it works.
constexpr qint64 ResponsiveIntervalMs = 25;
// Reads of records whose states are stored in one transaction.
constexpr int ReadsPerCommit = 5;
// A record of the run that is no longer there when its state is stored, or its values read.
const QString GoneMessage = QStringLiteral("记录已不存在，无法保存其检查结果。");

// The records of one read, judged: their row ids, stored states and the rules each one violates
// (violations[firstViolation[i] .. firstViolation[i + 1]) for record i), and in order, for each record
// with violations, how the report and the results name it (the rule left 0).
struct JudgedBatch {
    std::vector<qint64> rowIds;
    std::vector<qint64> states;
    std::vector<int> violations;
    std::vector<size_t> firstViolation{0};
    std::vector<Violation> listed;
    size_t size() const { return rowIds.size(); }
};

// The names of a batch's records as stored. Most records are not listed, so a name stored as text is
// kept as its bytes and becomes a string only when asked for.
class StoredNames {
public:
    void clear() {
        m_bytes.clear();
        m_names.clear();
        m_others.clear();
    }

    void append(const engine::Statement& read, int column) {
        const char* utf8 = nullptr;
        int size = 0;
        if (read.storedText(column, utf8, size)) {
            m_names.push_back({m_bytes.size(), size});
            m_bytes.append(utf8, size_t(size));
        } else {
            m_names.push_back({m_others.size(), -1});
            m_others.push_back(read.text(column));
        }
    }

    QString at(size_t record) const {
        const Name& name = m_names[record];
        if (name.size < 0)
            return m_others[name.start];
        return QString::fromUtf8(m_bytes.data() + name.start, name.size);
    }

private:
    struct Name {
        size_t start; // in m_bytes, or in m_others when size is -1
        int size;
    };
    std::string m_bytes;
    std::vector<Name> m_names;
    std::vector<QString> m_others; // names stored as anything but text, as text() gives them
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
        // The fields come packed, a row's whole numbers at once; a row holding anything else is read
        // again field by field.
        const engine::WholeNumberPack pack(m_reader);
        engine::Statement read(
            m_reader,
            QStringLiteral("select rowid, RecordState, c901, c902, c903, %1 from dt_data where (%2) "
                           "and c901>:after order by c901 limit :limit")
                .arg(engine::WholeNumberPack::calls(rules.fields()).join(QStringLiteral(", ")),
                     m_selection.condition));
        engine::Statement readFields(m_reader, QStringLiteral("select %1 from dt_data where rowid=?1")
                                                   .arg(rules.fields().join(QStringLiteral(", "))));
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
        // Codes, names and divisions as stored; the codes stay so, since the report writes their engine
        // text and the next read goes on after the last one.
        std::vector<QVariant> storedCodes;
        std::vector<QVariant> divisions;
        StoredNames names;
        QVariant after = -std::numeric_limits<double>::max();
        for (;;) {
            JudgedBatch batch;
            inexactRows.clear();
            exactValues.clear();
            storedCodes.clear();
            divisions.clear();
            names.clear();
            {
                const std::lock_guard<std::mutex> file(m_fileAccess);
                read.bindAll(m_selection.params);
                read.bind(QStringLiteral(":after"), after);
                read.bind(QStringLiteral(":limit"), m_batchSize);
                while (read.step()) {
                    const size_t row = batch.size();
                    batch.rowIds.push_back(read.integer(0));
                    batch.states.push_back(read.isNull(1) ? -1 : read.integer(1));
                    storedCodes.push_back(read.value(2));
                    names.append(read, 3);
                    divisions.push_back(read.value(4));
                    if (!engine::WholeNumberPack::unpack(read, FirstField, int(fieldCount),
                                                         values.data() + row, capacity) &&
                        !readFieldsOneByOne(readFields, batch.rowIds.back(), values.data() + row, capacity,
                                            exactValues)) {
                        inexactRows.push_back(row);
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
                if (batch.firstViolation.back() > batch.firstViolation[i])
                    batch.listed.push_back(listedRecord(storedCodes[i], names.at(i), divisions[i]));
            }
            const bool last = batch.size() < capacity;
            after = storedCodes.back();
            if (!hand(std::move(batch)) || last)
                return;
        }
    }

    // Reads the fields of a row one by one, in the read transaction of the batch: into out as whole
    // numbers and, when any is neither a whole number nor null, also appended to exact as the engine
    // holds them. False in that case.
    bool readFieldsOneByOne(engine::Statement& readFields, qint64 rowId, qint64* out, size_t stride,
                            std::vector<EngineNumber>& exact) const {
        readFields.bindInt64(1, rowId);
        if (!readFields.step())
            throw EngineError(GoneMessage);
        const int count = readFields.columnCount();
        const bool whole = readFields.integersInto(0, count, out, stride);
        if (!whole)
            appendEngineNumbers(readFields, 0, count, exact);
        readFields.reset();
        return whole;
    }

    static Violation listedRecord(const QVariant& storedCode, const QString& name, const QVariant& division) {
        Violation record;
        record.code = engine::codeOf(storedCode).value_or(0);
        record.codeText = engine::codeTextOf(storedCode);
        record.unionName = name;
        record.division = engine::codeTextOf(division);
        return record;
    }

    static constexpr int FirstField = 5; // the column of the first field the rules read

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

    // The two lines of a rule's violation block, encoded once per run.
    struct RuleLines {
        QByteArray rule;
        QByteArray explanation;
    };
    static RuleLines ruleLines(const QString& rule, const QString& explanation) {
        return {toGbk(QStringLiteral("  判断规则：") + rule),
                toGbk(QStringLiteral("  规则说明：") + explanation)};
    }

    // WriteViolation: the record's header line before its first violation.
    void writeViolation(const QString& codeText, const QString& name, bool firstOfRecord,
                        const RuleLines& lines) {
        if (firstOfRecord) {
            m_writer.writeLine(codeText + QStringLiteral("  ") + name + QStringLiteral("的数据有错误"));
            m_writer.writeEncodedLine(m_dashes);
        }
        m_writer.writeEncodedLine(lines.rule);
        m_writer.writeEncodedLine(lines.explanation);
        m_writer.writeEncodedLine({});
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
    const QByteArray m_dashes = QByteArray(RecordHeaderDashes, '-');
};

// A violation waiting for the states before it to be committed.
struct PendingViolation {
    size_t statesBefore; // states gathered up to and including its record's
    Violation violation;
    bool firstOfRecord;
};

// The states of a stretch of row ids, from first on (0: the row keeps its state). An update reads
// them through a function of the run's connection while it walks the stretch in row-id order, so
// that each row is found by the walk rather than looked up on its own.
struct StateStretch {
    qint64 first = 0;
    std::vector<unsigned char> states;

    // Null for a row whose state stays.
    static void stateOfRow(sqlite3_context* context, int, sqlite3_value** argv) {
        const StateStretch& stretch =
            **static_cast<const std::shared_ptr<StateStretch>*>(sqlite3_user_data(context));
        const qint64 offset = sqlite3_value_int64(argv[0]) - stretch.first;
        if (offset < 0 || offset >= qint64(stretch.states.size()) || stretch.states[size_t(offset)] == 0)
            sqlite3_result_null(context);
        else
            sqlite3_result_int(context, stretch.states[size_t(offset)]);
    }
};

// Registers the function that reads a stretch on a connection for the lifetime of the object. The
// registration holds the stretch itself: the engine refuses to drop a function while any statement
// of the connection runs, and the function must then still find its stretch.
class StateStretchFunction {
public:
    static constexpr const char* Name = "corvalis_check_state";

    StateStretchFunction(engine::Connection& connection, const std::shared_ptr<StateStretch>& stretch)
        : m_db(connection.handle()) {
        const int rc = sqlite3_create_function_v2(
            m_db, Name, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, new std::shared_ptr<StateStretch>(stretch),
            StateStretch::stateOfRow, nullptr, nullptr,
            [](void* held) { delete static_cast<std::shared_ptr<StateStretch>*>(held); });
        if (rc != SQLITE_OK)
            throw EngineError(QString::fromUtf8(sqlite3_errmsg(m_db)), rc);
    }
    ~StateStretchFunction() {
        sqlite3_create_function_v2(m_db, Name, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
    }
    StateStretchFunction(const StateStretchFunction&) = delete;
    StateStretchFunction& operator=(const StateStretchFunction&) = delete;

private:
    sqlite3* m_db;
};

// The states and report lines of a run not yet written. The states of each read are written
// together while the next read is made, in a transaction that is committed every few reads and
// whenever the run pauses, stops or fails; the report lines of those records follow the commit, so
// every record the report lists has its state stored.
// Records whose row ids lie close together (as when the file holds them in code order) are written
// by one update that walks their stretch of row ids; scattered ones by one update per state over a
// list of row ids. When the update fails, the states are written one by one up to the failing
// record, and only the lines of the records before it.
class PendingResults {
public:
    using Explain = std::function<QString(int rule)>;

    PendingResults(engine::Connection& connection, std::mutex& fileAccess, ResultFile& report,
                   Explain explain)
        : m_connection(connection), m_fileAccess(fileAccess), m_report(report), m_explain(std::move(explain)),
          m_stretchFunction(connection, m_stretch),
          m_stretchUpdate(connection,
                          QStringLiteral("update dt_data set RecordState=%1(rowid) "
                                         "where rowid>=?1 and rowid<=?2 and %1(rowid) is not null")
                              .arg(QLatin1String(StateStretchFunction::Name))),
          m_update(connection, QStringLiteral("update dt_data set RecordState=?1 "
                                              "where rowid in (select value from json_each(?2))")),
          m_single(connection, QStringLiteral("update dt_data set RecordState=?1 where rowid=?2")) {}

    void store(qint64 rowId, int state) {
        m_rowIds.push_back(rowId);
        m_states.push_back(state);
    }

    // record: how the report names the record, rule: the violated rule.
    void addViolation(const Violation& record, bool firstOfRecord, int rule) {
        m_violations.push_back({m_rowIds.size(), record, firstOfRecord});
        m_violations.back().violation.rule = rule;
    }

    // Every violation written into the report goes to the result set as well, for the results
    // window and the command-line formats.
    void collectInto(CheckResultSet* results) { m_results = results; }

    // Writes the states gathered since the last write in the open transaction, which it begins when
    // none is open, and leaves it open for the states of the next reads.
    void write() {
        guarded([this] { writeUnwritten(); });
    }

    // Writes what is left and commits; then the report lines of the records whose states were
    // stored follow.
    void commit() {
        guarded([this] {
            writeUnwritten();
            if (m_transaction) {
                const std::lock_guard<std::mutex> file(m_fileAccess);
                m_transaction->commit();
                m_transaction.reset();
            }
        });
        writeViolations(m_rowIds.size());
        m_rowIds.clear();
        m_states.clear();
        m_written = 0;
    }

    // After an error: keep what was gathered before it, if the engine still can.
    void commitAfterError() noexcept {
        try {
            commit();
        } catch (...) {
        }
    }

private:
    // When writing together fails, the transaction is rolled back and its states are written one by
    // one up to the failing record; only the report lines of the records before it are written.
    template <typename Work> void guarded(Work&& work) {
        try {
            work();
        } catch (const EngineError&) {
            m_transaction.reset();
            m_written = 0;
            const size_t stored = writeOneByOne();
            writeViolations(stored);
            throw;
        }
    }

    void writeUnwritten() {
        if (m_written == m_rowIds.size())
            return;
        if (!m_transaction)
            m_transaction.emplace(m_connection);
        if (!writeStretch())
            writeByList();
        m_written = m_rowIds.size();
    }

    // A stretch at most this many times longer than the states it carries is walked as a whole.
    static constexpr qint64 MaxStretchPerState = 4;

    // Writes the states by a walk over their stretch of row ids; false when the row ids lie too far
    // apart for that.
    bool writeStretch() {
        const auto first = m_rowIds.begin() + std::ptrdiff_t(m_written);
        const auto [lowest, highest] = std::minmax_element(first, m_rowIds.end());
        const qint64 count = qint64(m_rowIds.size() - m_written);
        // Unsigned, since row ids far apart may differ by more than the largest whole number.
        const quint64 span = quint64(*highest) - quint64(*lowest);
        if (span >= quint64(MaxStretchPerState * count))
            return false;
        const qint64 length = qint64(span) + 1;
        m_stretch->first = *lowest;
        m_stretch->states.assign(size_t(length), 0);
        for (size_t i = m_written; i < m_rowIds.size(); ++i)
            m_stretch->states[size_t(m_rowIds[i] - *lowest)] = static_cast<unsigned char>(m_states[i]);
        m_stretchUpdate.reset();
        m_stretchUpdate.bindInt64(1, *lowest);
        m_stretchUpdate.bindInt64(2, *highest);
        const qint64 changed = m_stretchUpdate.run();
        m_stretchUpdate.reset();
        if (changed != count)
            throw EngineError(GoneMessage);
        return true;
    }

    void writeByList() {
        for (const int state : {1, 2}) {
            const QByteArray list = rowIdList(state);
            if (list.size() <= 2)
                continue;
            m_update.reset();
            m_update.bindInt64(1, state);
            m_update.bindText(2, list.constData(), int(list.size()));
            const qint64 expected =
                qint64(std::count(m_states.begin() + std::ptrdiff_t(m_written), m_states.end(), state));
            const qint64 changed = m_update.run();
            m_update.reset();
            if (changed != expected)
                throw EngineError(GoneMessage);
        }
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
            PendingViolation& pending = m_violations[written];
            const Violation& v = pending.violation;
            m_report.writeViolation(v.codeText, v.unionName, pending.firstOfRecord, linesOf(v.rule));
            if (m_results)
                m_results->violations.push_back(std::move(pending.violation));
        }
        m_violations.erase(m_violations.begin(), m_violations.begin() + std::ptrdiff_t(written));
        m_report.flush();
    }

    const ResultFile::RuleLines& linesOf(int rule) {
        if (m_ruleLines.empty())
            m_ruleLines.resize(size_t(CompiledRuleSet::builtIn().ruleCount()));
        auto& lines = m_ruleLines[size_t(rule)];
        if (!lines)
            lines = ResultFile::ruleLines(QString::fromUtf8(CompiledRuleSet::builtIn().rule(rule).ruleText),
                                          m_explain(rule));
        return *lines;
    }

    QByteArray rowIdList(int state) const {
        QByteArray list;
        list.reserve(qsizetype(m_rowIds.size()) * 12 + 2);
        list.append('[');
        for (size_t i = m_written; i < m_rowIds.size(); ++i) {
            if (m_states[i] != state)
                continue;
            if (list.size() > 1)
                list.append(',');
            list.append(QByteArray::number(m_rowIds[i]));
        }
        list.append(']');
        return list;
    }

    engine::Connection& m_connection;
    std::mutex& m_fileAccess;
    ResultFile& m_report;
    Explain m_explain;
    std::shared_ptr<StateStretch> m_stretch = std::make_shared<StateStretch>();
    StateStretchFunction m_stretchFunction;
    engine::Statement m_stretchUpdate;
    engine::Statement m_update;
    engine::Statement m_single;
    std::optional<engine::Transaction> m_transaction; // open while written states wait for their commit
    std::vector<qint64> m_rowIds;
    std::vector<int> m_states;
    size_t m_written = 0; // states written in the open transaction
    std::vector<PendingViolation> m_violations;
    std::vector<std::optional<ResultFile::RuleLines>> m_ruleLines;
    CheckResultSet* m_results = nullptr;
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

    // The first read begins while the records are counted.
    std::mutex fileAccess;
    JudgedBatchFeed feed(m_connection, selection, m_batchSize, fileAccess);
    engine::Statement count(m_connection,
                            QStringLiteral("select count(*) from dt_data where ") + selection.condition);
    count.bindAll(selection.params);
    count.step();
    const qint64 total = count.integer(0);
    count.reset();
    if (control)
        control->start(total);

    // The states of a transaction stay in the page cache until its commit, however many pages they
    // touch: a spill would lock the file against the reading connection before the commit.
    const engine::ScopedCacheSize cache(m_connection, 32768, engine::ScopedCacheSize::Spill::Never);
    // The run commits every few reads: the journal file is kept from one commit to the next.
    const engine::ScopedPersistentJournal journal(m_connection);
    // The journal of each transaction is on its way to disk before the commit waits for it.
    const engine::WritebackAhead writeback(m_connection);
    // The report renders each rule's explanation once, the first time the rule is violated.
    PendingResults states(m_connection, fileAccess, report, [&](int rule) {
        return m_renderer.render(QString::fromUtf8(rules.rule(rule).explanation));
    });
    if (m_collect) {
        m_collect->checkedAt = started;
        m_collect->checked = m_collect->failed = 0;
        m_collect->stopped = false;
        m_collect->violations.clear();
        states.collectInto(m_collect);
    }

    JudgedBatch batch;
    size_t next = 0;
    size_t nextListed = 0; // in batch.listed
    // A commit costs the journal's writes and waits for the disk: a few reads share one.
    const qint64 recordsPerCommit = qint64(m_batchSize) * ReadsPerCommit;
    qint64 committedAt = 0;
    QElapsedTimer sinceResponsive;
    sinceResponsive.start();
    try {
        while (outcome.examined < total) {
            const bool paused = control && control->paused();
            if (!paused) {
                if (next >= batch.size()) {
                    // The states of a read are written while the next one is read.
                    if (outcome.examined - committedAt >= recordsPerCommit) {
                        states.commit();
                        committedAt = outcome.examined;
                    } else {
                        states.write();
                    }
                    batch = feed.next();
                    next = 0;
                    nextListed = 0;
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
                    states.addViolation(batch.listed[nextListed], i == 0,
                                        batch.violations[firstViolation + i]);
                    ++outcome.errorItems;
                }
                if (violationCount > 0) {
                    ++outcome.errorUnits;
                    ++nextListed;
                }
                ++next;
                ++outcome.examined;
                if (control)
                    control->step();
            } else {
                // Nothing is held open while the user decides.
                states.commit();
                committedAt = outcome.examined;
                QThread::msleep(10);
            }
            if (control && (paused || sinceResponsive.elapsed() >= ResponsiveIntervalMs)) {
                if (m_ui.letsInputRun()) {
                    // What the user does meanwhile must not fall into the states' transaction.
                    states.commit();
                    committedAt = outcome.examined;
                }
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

    if (m_collect) {
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
