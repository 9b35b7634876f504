// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/DataImport.h"
#include "records/TransferCopy.h"
#include "support/RawDatabase.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QtTest>

using namespace corvalis;
using corvalis::testing::forgeCodeIndex;
using corvalis::testing::integrityOf;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

using Ids = QList<QVariant>;

void addRows(engine::Connection& db, qint64 firstCode, const Ids& ids) {
    for (int i = 0; i < ids.size(); ++i)
        db.execute(QStringLiteral("insert into dt_data (c901, c902, z001, id) values (?1, ?2, ?3, ?4)"),
                   {firstCode + i, QStringLiteral("单位%1").arg(i), i % 7, ids[i]});
}

// Every column of every row, in row order, with the value types.
QStringList rowsOf(engine::Connection& db) {
    QStringList rows;
    engine::Statement read(db, QStringLiteral("select * from dt_data order by rowid"));
    while (read.step()) {
        QStringList values;
        for (int c = 0; c < read.columnCount(); ++c)
            values << read.text(c) + QLatin1Char(':') + QString::number(int(read.columnType(c)));
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList schemaOf(engine::Connection& db) {
    QStringList schema;
    engine::Statement read(db, QStringLiteral("select type || ' ' || name || ' ' || coalesce(sql, '') from "
                                              "sqlite_master where tbl_name='dt_data' order by name"));
    while (read.step())
        schema << read.text(0);
    return schema;
}

} // namespace

class TransferCopyTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    int m_run = 0;

    QString sourceWith(const Ids& ids, qint64 firstCode = 110000000001) {
        const QString path = m_folder.makeDatabase(QStringLiteral("source%1.mdb").arg(++m_run));
        engine::Connection db(path);
        db.execute(QStringLiteral("drop trigger dt_data_row_number"));
        addRows(db, firstCode, ids);
        return path;
    }

private Q_SLOTS:
    // Rows, ids, value types and schema come out as a plain insert with the trigger gives them, into
    // an empty table, one with fewer rows (indexes rebuilt) and one with more (indexes kept).
    void copiesAsThePlainInsertDoes_data() {
        QTest::addColumn<Ids>("present");
        QTest::addColumn<Ids>("received");
        const QVariant none;
        QTest::newRow("into empty") << Ids{} << Ids{3, none, 1, none};
        QTest::newRow("into fewer") << Ids{none} << Ids{none, 7, none};
        QTest::newRow("into more") << Ids{none, 40, none, none} << Ids{none, 2};
    }

    void copiesAsThePlainInsertDoes() {
        QFETCH(Ids, present);
        QFETCH(Ids, received);
        const QString source = sourceWith(received);
        QStringList rows[2], schema[2];
        for (int transfer = 0; transfer < 2; ++transfer) {
            engine::Connection db(
                m_folder.makeDatabase(QStringLiteral("target%1-%2.mdb").arg(m_run).arg(transfer)));
            addRows(db, 120000000001, present);
            engine::Attachment attached(db, source, QStringLiteral("other"));
            engine::Transaction transaction(db);
            if (transfer) {
                records::TransferCopy copy(db, QStringLiteral("other.dt_data"));
                QCOMPARE(copy.copied(), qint64(received.size()));
                copy.finish();
            } else {
                db.execute(QStringLiteral("insert into dt_data select * from other.dt_data"));
            }
            transaction.commit();
            rows[transfer] = rowsOf(db);
            schema[transfer] = schemaOf(db);
            QCOMPARE(integrityOf(db), QStringLiteral("ok"));
        }
        QCOMPARE(rows[1], rows[0]);
        QCOMPARE(schema[1], schema[0]);
    }

    // A repeated code fails the copy; the transaction's rollback brings back rows, indexes and trigger.
    void aRepeatedCodeFailsAndTheRollbackKeepsTheSchema() {
        const QString source = sourceWith({QVariant(), QVariant()}, 120000000002);
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("repeated.mdb")));
        addRows(db, 120000000001, {QVariant(), QVariant()});
        const QStringList schemaBefore = schemaOf(db);
        const QStringList rowsBefore = rowsOf(db);
        engine::Attachment attached(db, source, QStringLiteral("other"));
        {
            engine::Transaction transaction(db);
            records::TransferCopy copy(db, QStringLiteral("other.dt_data"));
            QVERIFY_THROWS_EXCEPTION(EngineError, copy.finish());
        }
        QCOMPARE(schemaOf(db), schemaBefore);
        QCOMPARE(rowsOf(db), rowsBefore);
        QCOMPARE(integrityOf(db), QStringLiteral("ok"));
    }

    // The engine's transfer would copy a received file's index page for page; one that does not
    // match the file's rows must not become the open database's index.
    void anIndexOfTheSourceThatLiesIsNotCopied() {
        const QString source = sourceWith({1, 2, 3});
        forgeCodeIndex(source, "c902");
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("forged.mdb")));
        engine::Attachment attached(db, source, QStringLiteral("other"));
        engine::Transaction transaction(db);
        records::TransferCopy copy(db, QStringLiteral("other.dt_data"));
        copy.finish();
        transaction.commit();
        QCOMPARE(integrityOf(db), QStringLiteral("ok"));
        QCOMPARE(
            db.scalar(QStringLiteral("select count(*) from dt_data indexed by dt_data_c901 where c901=?1"),
                      {110000000002.0})
                .toInt(),
            1);
    }

    // A received file whose rows repeat a code behind an index that claims the codes are unique:
    // nothing of it gets in, and the open database stays sound.
    void repeatedCodesBehindAForgedUniqueIndexAreNotImported() {
        TestFolder folder(true, true);
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        const QString file = folder.makeDatabase(QStringLiteral("repeats.mdb"));
        forgeCodeIndex(file, "c901",
                       "insert into dt_data (id, c901, c902, RecordState) values "
                       "(1, 110000000001, '甲', 1), (2, 110000000001, '乙', 1)");
        ui.answerYes();
        QVERIFY(exchange::importDataFileFrom(session, ui, file) != exchange::ImportOutcome::Imported);
        engine::Connection& db = session.connection();
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from dt_data")).toInt(), 0);
        QCOMPARE(integrityOf(db), QStringLiteral("ok"));
    }
};

QTEST_GUILESS_MAIN(TransferCopyTest)
#include "tst_transfer_copy.moc"
