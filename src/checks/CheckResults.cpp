#include "CheckResults.h"

#include "BuiltInRules.h"
#include "CheckRunner.h"
#include "Explanation.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QDataStream>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace corvalis::checks {

namespace {

// The head of a results file and the version of its layout; a file with another head loads as nothing.
constexpr quint32 ResultsMagic = 0x43525331; // "CRS1"
constexpr quint16 ResultsVersion = 1;

bool isRule(int rule) {
    return rule >= 0 && rule < CompiledRuleSet::builtIn().ruleCount();
}

// The violations of one record grouped under it, as the file stores them: the record's texts once.
struct StoredRecord {
    const Violation* first;
    quint32 count;
};

std::vector<StoredRecord> groupByRecord(const std::vector<Violation>& violations) {
    std::vector<StoredRecord> records;
    for (const Violation& v : violations) {
        if (!records.empty()) {
            const Violation& head = *records.back().first;
            if (head.code == v.code && head.codeText == v.codeText && head.unionName == v.unionName &&
                head.division == v.division) {
                ++records.back().count;
                continue;
            }
        }
        records.push_back({&v, 1});
    }
    return records;
}

} // namespace

int pageOfRule(int rule) {
    return isRule(rule) ? CompiledRuleSet::builtIn().rule(rule).page : 0;
}

QString focusFieldOfRule(int rule) {
    static const QRegularExpression field(QStringLiteral("[A-Za-z][0-9]{3}"));
    return field.match(ruleTextOf(rule)).captured().toLower();
}

QString ruleTextOf(int rule) {
    return isRule(rule) ? QString::fromUtf8(CompiledRuleSet::builtIn().rule(rule).ruleText) : QString();
}

QString explanationOf(ExplanationRenderer& renderer, int rule) {
    return isRule(rule)
               ? renderer.render(QString::fromUtf8(CompiledRuleSet::builtIn().rule(rule).explanation))
               : QString();
}

QString lastResultsPath(const QString& databaseLabel) {
    // The file is saved through a temporary file of its name plus ".XXXXXX", which must fit too.
    constexpr int SaveFileSuffixBytes = 7;
    return resultFilePath(databaseLabel, QStringLiteral(".results"), SaveFileSuffixBytes);
}

void saveCheckResults(const CheckResultSet& results, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法写入检查结果“%1”：%2").arg(path, fileFailureReason(file)));
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_0);
    const std::vector<StoredRecord> records = groupByRecord(results.violations);
    out << ResultsMagic << ResultsVersion << results.checkedAt << results.databaseLabel << results.checked
        << results.failed << results.stopped << quint64(records.size()) << quint64(results.violations.size());
    for (const StoredRecord& record : records) {
        out << record.first->code << record.first->codeText << record.first->unionName
            << record.first->division << record.count;
        for (quint32 i = 0; i < record.count; ++i)
            out << qint16(record.first[i].rule);
    }
    if (out.status() != QDataStream::Ok || !file.commit())
        throw FileError(QStringLiteral("无法写入检查结果“%1”：%2").arg(path, fileFailureReason(file)));
    if (isInTempFolder(path))
        restrictToOwner(path);
}

std::optional<CheckResultSet> loadCheckResults(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    const quint64 size = quint64(bytes.size());
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint16 version = 0;
    in >> magic >> version;
    if (magic != ResultsMagic || version != ResultsVersion)
        return std::nullopt;
    CheckResultSet results;
    quint64 recordCount = 0;
    quint64 violationCount = 0;
    in >> results.checkedAt >> results.databaseLabel >> results.checked >> results.failed >>
        results.stopped >> recordCount >> violationCount;
    // Every record and violation takes some bytes, so a count beyond the file's size is a damaged
    // file, not a reason to reserve memory.
    if (in.status() != QDataStream::Ok || recordCount > size || violationCount > size)
        return std::nullopt;
    results.violations.reserve(size_t(violationCount));
    for (quint64 r = 0; r < recordCount; ++r) {
        Violation record;
        quint32 count = 0;
        in >> record.code >> record.codeText >> record.unionName >> record.division >> count;
        if (in.status() != QDataStream::Ok || count == 0 || count > size)
            return std::nullopt;
        for (quint32 i = 0; i < count; ++i) {
            qint16 rule = -1;
            in >> rule;
            if (in.status() != QDataStream::Ok || !isRule(rule))
                return std::nullopt;
            record.rule = rule;
            results.violations.push_back(record);
        }
    }
    if (!in.atEnd() || results.violations.size() != violationCount)
        return std::nullopt;
    return results;
}

std::vector<Violation> recheckRecord(engine::Connection& connection, UnionCode code) {
    const CompiledRuleSet& rules = CompiledRuleSet::builtIn();
    const int fieldCount = int(rules.fields().size());
    engine::Statement read(
        connection, QStringLiteral("select rowid, c901, c902, c903, c912<=2, %1 from dt_data where c901=?1")
                        .arg(rules.fields().join(QStringLiteral(", "))));
    read.bindInt64(1, code);
    std::vector<Violation> violations;
    if (!read.step())
        return violations;
    // Records that do not file this year never enter a run; the test is the run's own selection.
    if (read.isNull(4) || read.integer(4) == 0)
        return violations;
    const qint64 rowId = read.integer(0);
    Violation record;
    record.code = engine::codeOf(read.value(1)).value_or(code);
    record.codeText = engine::codeTextOf(read.value(1));
    record.unionName = read.text(2);
    record.division = engine::codeTextOf(read.value(3));
    std::vector<EngineNumber> values;
    values.reserve(size_t(fieldCount));
    for (int i = 0; i < fieldCount; ++i)
        values.push_back(engineNumberOf(read.value(5 + i)));
    read.reset();
    std::vector<qint64> unused(size_t(fieldCount), 0);
    rules.check(
        unused.data(),
        [&](int rule) {
            record.rule = rule;
            violations.push_back(record);
        },
        values.data());
    connection.execute(QStringLiteral("update dt_data set RecordState=?1 where rowid=?2"),
                       {violations.empty() ? 1 : 2, rowId});
    return violations;
}

} // namespace corvalis::checks
