// test-kind: cli
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/DataFile.h"
#include "exchange/DataImport.h"
#include "records/RecordGenerator.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

constexpr qint64 First = 110101000001LL;

void addRecords(const QString& database, int count, qint64 firstCode) {
    engine::Connection db(database);
    records::GeneratorOptions options;
    options.count = count;
    options.firstCode = firstCode;
    records::generateRecords(db, options);
}

// Every table and every column of every record, so that any write shows.
QString snapshot(const QString& database) {
    engine::Connection db(database);
    QStringList quoted;
    for (const QString& column : exchange::tableColumns(db, QStringLiteral("dt_data")))
        quoted << QStringLiteral("quote(\"%1\")").arg(column);
    engine::Statement rows(
        db,
        QStringLiteral("select %1 from dt_data order by c901").arg(quoted.join(QStringLiteral("||'|'||"))));
    QStringList lines = db.tableNames();
    lines.sort();
    while (rows.step())
        lines << rows.text(0);
    return lines.join(QLatin1Char('\n'));
}

QJsonObject jsonOf(const CliRun& run) {
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

// Our database with three records and a received file with one of them changed and one new record.
struct Sites {
    TestFolder folder;
    QString ours = folder.defaultDatabase();
    QString theirs = folder.file(QStringLiteral("theirs.mdb"));

    Sites() {
        addRecords(ours, 3, First);
        engine::Connection(ours).execute(
            QStringLiteral("update dt_data set s001 = null where c901 = %1").arg(First + 1));
        QFile::copy(ours, theirs);
        engine::Connection db(theirs);
        db.execute(
            QStringLiteral("update dt_data set z002 = 250, s001 = 3, c902 = '新名称工会' where c901 = %1")
                .arg(First + 1));
        db.execute(
            QStringLiteral("update dt_data set c900 = 'OTHER', id = 90 where c901 = %1").arg(First + 2));
        addRecords(theirs, 1, 120101000001LL);
    }

    CliRun cli(const QStringList& arguments) const {
        return runCli(QStringList{QStringLiteral("--home"), folder.path()} + arguments);
    }
};

} // namespace

class ImportPreviewCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dryRunPrintsThePreviewAsJsonAndWritesNothing() {
        Sites sites;
        engine::Connection(sites.ours)
            .execute(QStringLiteral("update dt_data set z002 = 245 where c901 = %1").arg(First + 1));
        const QString before = snapshot(sites.ours);
        const CliRun run = sites.cli(
            {QStringLiteral("import"), QStringLiteral("--dry-run"), QStringLiteral("--json"), sites.theirs});
        QCOMPARE(run.code, 0);
        QCOMPARE(snapshot(sites.ours), before);

        const QJsonArray files = jsonOf(run).value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), 1);
        const QJsonObject file = files[0].toObject();
        QCOMPARE(file.value(QStringLiteral("file")).toString(), sites.theirs);
        QCOMPARE(file.value(QStringLiteral("label")).toString(), QStringLiteral("默认数据库"));
        QCOMPARE(file.value(QStringLiteral("records")), QJsonValue(4));
        QCOMPARE(file.value(QStringLiteral("new")), QJsonValue(1));
        QCOMPARE(file.value(QStringLiteral("identical")), QJsonValue(2));
        QCOMPARE(file.value(QStringLiteral("conflicting")), QJsonValue(1));
        QCOMPARE(file.value(QStringLiteral("repeated")), QJsonValue(0));
        // z002 = 250 no longer agrees with the counts it must match.
        QCOMPARE(file.value(QStringLiteral("failing_check")), QJsonValue(1));
        QVERIFY(!file.contains(QStringLiteral("refusal")));

        const QJsonArray conflicts = file.value(QStringLiteral("conflicts")).toArray();
        QCOMPARE(conflicts.size(), 1);
        const QJsonObject conflict = conflicts[0].toObject();
        QCOMPARE(conflict.value(QStringLiteral("c901")), QJsonValue(QStringLiteral("110101000002")));
        const QJsonArray fields = conflict.value(QStringLiteral("fields")).toArray();
        QCOMPARE(fields.size(), 3);
        const auto field = [&](int i) { return fields[i].toObject(); };
        QCOMPARE(field(0).value(QStringLiteral("field")).toString(), QStringLiteral("c902"));
        QCOMPARE(field(0).value(QStringLiteral("theirs")), QJsonValue(QStringLiteral("新名称工会")));
        QCOMPARE(field(1).value(QStringLiteral("field")).toString(), QStringLiteral("z002"));
        QCOMPARE(field(1).value(QStringLiteral("ours")), QJsonValue(245));
        QCOMPARE(field(1).value(QStringLiteral("theirs")), QJsonValue(250));
        QCOMPARE(field(2).value(QStringLiteral("field")).toString(), QStringLiteral("s001"));
        QCOMPARE(field(2).value(QStringLiteral("ours")), QJsonValue(QJsonValue::Null));
        QCOMPARE(field(2).value(QStringLiteral("theirs")), QJsonValue(3));
    }

    void refusedFileIsNamedAndTheExitCodeSaysSo() {
        Sites sites;
        const QString broken = sites.folder.file(QStringLiteral("broken.dat"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2048, 'x'));
        file.close();
        const QString before = snapshot(sites.ours);
        const CliRun run = sites.cli({QStringLiteral("import"), QStringLiteral("--dry-run"),
                                      QStringLiteral("--json"), broken, sites.theirs});
        QCOMPARE(run.code, 1);
        const QJsonArray files = jsonOf(run).value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].toObject().value(QStringLiteral("refusal")).toString(),
                 exchange::UnreadableFileMessage);
        QVERIFY(run.err.contains(exchange::UnreadableFileMessage));
        QCOMPARE(files[1].toObject().value(QStringLiteral("new")), QJsonValue(1));
        QCOMPARE(sites
                     .cli({QStringLiteral("import"), QStringLiteral("--resolve"), QStringLiteral("theirs"),
                           broken})
                     .code,
                 1);
        QCOMPARE(snapshot(sites.ours), before);
    }

    void resolveLogsTheImportAndUndoRestoresIt() {
        Sites sites;
        const QString before = snapshot(sites.ours);
        CliRun run = sites.cli(
            {QStringLiteral("import"), QStringLiteral("--resolve"), QStringLiteral("ours"), sites.theirs});
        QCOMPARE(run.code, 0);
        run = sites.cli(
            {QStringLiteral("import"), QStringLiteral("--resolve"), QStringLiteral("theirs"), sites.theirs});
        QCOMPARE(run.code, 0);
        engine::Connection db(sites.ours);
        QCOMPARE(
            db.scalar(QStringLiteral("select z002 from dt_data where c901 = %1").arg(First + 1)).toLongLong(),
            250);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong(), 4);

        run = sites.cli({QStringLiteral("imports"), QStringLiteral("--json")});
        QCOMPARE(run.code, 0);
        const QJsonArray imports = jsonOf(run).value(QStringLiteral("imports")).toArray();
        QCOMPARE(imports.size(), 2);
        const QJsonObject ours = imports[0].toObject(), theirs = imports[1].toObject();
        QCOMPARE(ours.value(QStringLiteral("added")), QJsonValue(1));
        QCOMPARE(ours.value(QStringLiteral("replaced")), QJsonValue(0));
        QCOMPARE(ours.value(QStringLiteral("skipped")), QJsonValue(3));
        QCOMPARE(theirs.value(QStringLiteral("added")), QJsonValue(0));
        QCOMPARE(theirs.value(QStringLiteral("replaced")), QJsonValue(1));
        QCOMPARE(theirs.value(QStringLiteral("file")).toString(), sites.theirs);

        const QString first = QString::number(ours.value(QStringLiteral("id")).toInteger());
        const QString second = QString::number(theirs.value(QStringLiteral("id")).toInteger());
        QCOMPARE(sites.cli({QStringLiteral("undo-import"), second}).code, 0);
        QCOMPARE(sites.cli({QStringLiteral("undo-import"), first}).code, 0);
        run = sites.cli({QStringLiteral("undo-import"), first});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("已经撤销")));
        QCOMPARE(sites.cli({QStringLiteral("undo-import"), QStringLiteral("abc")}).code, 2);
        QCOMPARE(sites
                     .cli({QStringLiteral("import"), QStringLiteral("--resolve"), QStringLiteral("mine"),
                           sites.theirs})
                     .code,
                 2);

        // Back to the records as they were, with the log tables beside them.
        QStringList expected = before.split(QLatin1Char('\n'));
        expected << QStringLiteral("import_log") << QStringLiteral("import_replaced")
                 << QStringLiteral("import_touched");
        QStringList now = snapshot(sites.ours).split(QLatin1Char('\n'));
        QCOMPARE(QSet<QString>(now.begin(), now.end()), QSet<QString>(expected.begin(), expected.end()));
        QCOMPARE(now.size(), expected.size());
    }

    void plainImportKeepsRefusingConflictsAndLogsNothing() {
        Sites sites;
        const QString before = snapshot(sites.ours);
        const CliRun run = sites.cli({QStringLiteral("import"), sites.theirs});
        QCOMPARE(run.code, 1);
        QCOMPARE(snapshot(sites.ours), before);
    }
};

QTEST_GUILESS_MAIN(ImportPreviewCliTest)
#include "tst_import_preview_cli.moc"
