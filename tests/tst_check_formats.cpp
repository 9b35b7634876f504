// test-kind: cli
#include "app/engine/Connection.h"
#include "checks/CheckResults.h"
#include "checks/CheckRunner.h"
#include "cli/CliApplication.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/ResultFileBlocks.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::ResultBlock;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The records of an RFC 4180 text: fields split at commas outside quotes, "" inside quotes for one
// quote, CR LF between records.
QList<QStringList> csvRecords(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty())
        records << (record << field);
    return records;
}

} // namespace

class CheckFormatsTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    QString m_db;
    QString m_textReport;

    CliRun check(const QStringList& options) {
        return runCli(QStringList{QStringLiteral("--db"), m_db, QStringLiteral("check")} + options);
    }
    qint64 count(const QString& where) {
        engine::Connection connection(m_db);
        return connection.scalar(QStringLiteral("select count(*) from dt_data where ") + where).toLongLong();
    }

private Q_SLOTS:
    void initTestCase() {
        m_db = m_folder.defaultDatabase();
        engine::Connection connection(m_db);
        records::GeneratorOptions options;
        options.count = 200;
        options.faultyShare = 0.1;
        options.firstCode = 110101000001;
        records::generateRecords(connection, options);
        // Texts the CSV must quote: a name with a comma and quotes, and rule 1, whose explanation
        // holds quotes, broken by an empty c904.
        connection.execute(QStringLiteral("update dt_data set c902='甲,\"乙\"工会', c904=null "
                                          "where c901=110101000007"));
        m_textReport = checks::resultFilePath(QStringLiteral("默认数据库"));
    }

    void jsonCarriesTheViolationsOfTheTextFile() {
        const QString path = m_folder.file(QStringLiteral("results.json"));
        const CliRun run =
            check({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--report"), path});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(path));
        QJsonParseError error;
        const QJsonObject json = QJsonDocument::fromJson(fileBytes(path), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(json.value(QStringLiteral("checked")).toInt(), 200);
        QCOMPARE(json.value(QStringLiteral("failed")).toInt(), 21);

        const std::vector<ResultBlock> blocks = testing::resultBlocks(m_textReport);
        const QJsonArray violations = json.value(QStringLiteral("violations")).toArray();
        QCOMPARE(size_t(violations.size()), blocks.size());
        static const QRegularExpression twelveDigits(QStringLiteral("^[1-9][0-9]{11}$"));
        bool sawRuleOne = false;
        for (qsizetype i = 0; i < violations.size(); ++i) {
            const QJsonObject v = violations[i].toObject();
            QCOMPARE(v.keys().size(), 6);
            const QString code = v.value(QStringLiteral("c901")).toString();
            QVERIFY2(twelveDigits.match(code).hasMatch(), qPrintable(code));
            QCOMPARE(code, blocks[size_t(i)].codeText);
            QCOMPARE(v.value(QStringLiteral("rule_text")).toString(), blocks[size_t(i)].ruleText);
            QCOMPARE(v.value(QStringLiteral("explanation")).toString(), blocks[size_t(i)].explanation);
            const int rule = v.value(QStringLiteral("rule")).toInt();
            QCOMPARE(checks::ruleTextOf(rule - 1), blocks[size_t(i)].ruleText);
            QCOMPARE(v.value(QStringLiteral("page")).toInt(), checks::pageOfRule(rule - 1));
            QCOMPARE(v.value(QStringLiteral("field")).toString(), checks::focusFieldOfRule(rule - 1));
            sawRuleOne = sawRuleOne || (rule == 1 && code == QLatin1String("110101000007"));
        }
        QVERIFY(sawRuleOne);
    }

    void csvCarriesTheViolationsOfTheTextFile() {
        const CliRun run = check({QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.isEmpty()); // the counts go to standard error, the results alone to standard output
        QVERIFY(run.err.contains(QStringLiteral("21 个单位")));
        const QList<QStringList> records = csvRecords(run.bytes);
        const std::vector<ResultBlock> blocks = testing::resultBlocks(m_textReport);
        QCOMPARE(size_t(records.size()), blocks.size() + 1);
        QCOMPARE(records.first().join(QLatin1Char(',')),
                 QStringLiteral("c901,c902,c903,rule,page,field,rule_text,explanation"));
        engine::Connection db(m_db);
        for (size_t i = 0; i < blocks.size(); ++i) {
            const QStringList& r = records[qsizetype(i) + 1];
            QCOMPARE(r.size(), 8);
            QCOMPARE((ResultBlock{r[0], r[1], r[6], r[7]}), blocks[i]);
            QCOMPARE(r[2],
                     db.scalar(QStringLiteral("select c903 from dt_data where c901=?1"), {r[0]}).toString());
            QCOMPARE(checks::ruleTextOf(r[3].toInt() - 1), r[6]);
        }
        QVERIFY(std::any_of(records.begin(), records.end(), [](const QStringList& r) {
            return r.value(1) == QStringLiteral("甲,\"乙\"工会") && r.value(3) == QLatin1String("1");
        }));
        QVERIFY(run.bytes.contains("\"甲,\"\"乙\"\"工会\""));
    }

    void textGoesToTheReportFileAndItsUsualPlace() {
        QFile::remove(m_textReport);
        const QString path = m_folder.file(QStringLiteral("copy.txt"));
        CliRun run = check({QStringLiteral("--report"), path});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(path));
        QVERIFY(!fileBytes(path).isEmpty());
        QCOMPARE(fileBytes(path), fileBytes(m_textReport));

        // Naming the usual place itself leaves the file whole.
        const QByteArray whole = fileBytes(m_textReport);
        QVERIFY(whole.size() > 200);
        QCOMPARE(check({QStringLiteral("--report"), m_textReport}).code, 0);
        QCOMPARE(fileBytes(m_textReport).size(), whole.size());

        run = check({QStringLiteral("--format"), QStringLiteral("text")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.bytes, fileBytes(m_textReport));
        // The run kept its results for the results window.
        const std::optional<checks::CheckResultSet> kept =
            checks::loadCheckResults(checks::lastResultsPath(QStringLiteral("默认数据库")));
        QVERIFY(kept);
        QCOMPARE(kept->failed, 21);
    }

    void failOnViolationsExitsThreeOnlyWhenARecordFailed() {
        const QString path = m_folder.file(QStringLiteral("f.json"));
        CliRun run =
            check({QStringLiteral("--fail-on-violations"), QStringLiteral("--format"), QStringLiteral("json"),
                   QStringLiteral("--report"), path, QStringLiteral("--json")});
        QCOMPARE(run.code, 3);
        // Everything is still written, and the counts name the file.
        const QJsonObject counts = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(counts.value(QStringLiteral("errorUnits")).toInt(), 21);
        QCOMPARE(counts.value(QStringLiteral("json")).toString(), path);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(path)).object().value(QStringLiteral("failed")).toInt(),
                 21);

        run = check({QStringLiteral("--fail-on-violations"), QStringLiteral("--codes"),
                     QStringLiteral("110101000001")});
        QCOMPARE(run.code, 0);
        QCOMPARE(check({QStringLiteral("--fail-on-violations")}).code, 3);
        QCOMPARE(check({QStringLiteral("--codes"), QStringLiteral("110101000007")}).code, 0);
    }

    void standardOutputHoldsTheResultsAlone() {
        // A clean run's congratulation goes beside the report, not into it.
        CliRun run = check({QStringLiteral("--codes"), QStringLiteral("110101000001"),
                            QStringLiteral("--report"), QStringLiteral("-")});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
        QVERIFY(run.err.contains(checks::NoLogicErrorsMessage));
        QVERIFY(run.bytes.startsWith(fileBytes(m_textReport)));

        run = check({QStringLiteral("--codes"), QStringLiteral("110101000001"), QStringLiteral("--format"),
                     QStringLiteral("json")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.isEmpty());
        const QJsonObject json = QJsonDocument::fromJson(run.bytes).object();
        QCOMPARE(json.value(QStringLiteral("checked")).toInt(), 1);
        QVERIFY(json.value(QStringLiteral("violations")).toArray().isEmpty());
    }

    void badFormatsAndTargetsAreRefused() {
        QCOMPARE(check({QStringLiteral("--format"), QStringLiteral("xml")}).code, 2);
        QCOMPARE(check({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--json")}).code,
                 2);
        QCOMPARE(check({QStringLiteral("--report"), QStringLiteral("-"), QStringLiteral("--json")}).code, 2);

        // A target that cannot be written is found before any state changes.
        engine::Connection(m_db).execute(QStringLiteral("update dt_data set RecordState=0"));
        const CliRun run =
            check({QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--report"),
                   m_folder.file(QStringLiteral("no/such/folder/r.csv"))});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("no/such/folder/r.csv")));
        QCOMPARE(count(QStringLiteral("RecordState<>0")), 0);
    }
};

QTEST_GUILESS_MAIN(CheckFormatsTest)
#include "tst_check_formats.moc"
