// test-kind: core
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/RowNumbering.h"
#include "support/TestFolder.h"

#include <QtTest>
#include <limits>

using namespace corvalis;
using corvalis::testing::TestFolder;

namespace {

using Ids = QList<QVariant>;

// Rows of (c901, id) added one insert each, so that the numbering trigger numbers the id-less ones.
void addRows(engine::Connection& db, qint64 firstCode, const Ids& ids) {
    for (int i = 0; i < ids.size(); ++i)
        db.execute(QStringLiteral("insert into dt_data (c901, id) values (?1, ?2)"), {firstCode + i, ids[i]});
}

// The ids of dt_data in row order, with their value types.
QStringList idsInRowOrder(engine::Connection& db) {
    QStringList ids;
    engine::Statement read(db, QStringLiteral("select typeof(id) || ':' || coalesce(id, '') from dt_data "
                                              "order by rowid"));
    while (read.step())
        ids << read.text(0);
    return ids;
}

} // namespace

// Bulk copies with the numbering trigger set aside number the rows exactly as the trigger did.
class RowNumberingTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;

    // The same copy of `received` into a database holding `present`, once with the trigger running
    // per row and once set aside: the ids must come out the same.
    void compareWithTrigger(const Ids& present, const Ids& received) {
        static int run = 0;
        ++run;
        const QString source = m_folder.makeDatabase(QStringLiteral("source%1.mdb").arg(run));
        {
            engine::Connection db(source);
            // Ids as the file states them, nulls among them: no trigger in the sending file.
            db.execute(QStringLiteral("drop trigger dt_data_row_number"));
            addRows(db, 110000000001, received);
        }
        QStringList results[2];
        for (int setAside = 0; setAside < 2; ++setAside) {
            engine::Connection db(
                m_folder.makeDatabase(QStringLiteral("target%1-%2.mdb").arg(run).arg(setAside)));
            addRows(db, 120000000001, present);
            engine::Attachment attached(db, source, QStringLiteral("other"));
            engine::Transaction transaction(db);
            const QString copy = QStringLiteral("insert into dt_data select * from other.dt_data");
            const qint64 inserted =
                setAside ? records::insertWithoutNumberingTrigger(db, copy) : db.execute(copy);
            QCOMPARE(inserted, qint64(received.size()));
            transaction.commit();
            results[setAside] = idsInRowOrder(db);
            // The trigger is back for the rows that follow.
            addRows(db, 130000000001, {QVariant()});
            results[setAside] << idsInRowOrder(db).constLast();
        }
        QCOMPARE(results[1], results[0]);
    }

private Q_SLOTS:
    void idsComeOutAsTheTriggerGaveThem_data() {
        QTest::addColumn<Ids>("present");
        QTest::addColumn<Ids>("received");
        const QVariant none;
        QTest::newRow("numbered file into empty") << Ids{} << Ids{1, 2, 3};
        QTest::newRow("numbered file into populated") << Ids{none, none} << Ids{5, 9, 2};
        QTest::newRow("id-less file into empty") << Ids{} << Ids{none, none, none};
        QTest::newRow("mixed into populated")
            << Ids{none, 40} << Ids{none, 7, none, 100, none, none, 3, none};
        QTest::newRow("mixed into empty") << Ids{} << Ids{-10, none, 2.5, none};
        QTest::newRow("negative largest") << Ids{-5} << Ids{none, -8, none};
        QTest::newRow("text ids") << Ids{QStringLiteral("x")} << Ids{none, 3, QStringLiteral("b"), none};
        // Without any id the new rows are numbered from their rowids.
        QTest::newRow("id-less file into populated") << Ids{none, 40, none} << Ids{none, none, none, none};
        QTest::newRow("id-less after a fraction") << Ids{2.5} << Ids{none, none};
        QTest::newRow("id-less after a negative") << Ids{-5, none} << Ids{none, none, none};
        QTest::newRow("id-less after the largest whole number")
            << Ids{std::numeric_limits<qint64>::max() - 1} << Ids{none, none, none};
    }

    void idsComeOutAsTheTriggerGaveThem() {
        QFETCH(Ids, present);
        QFETCH(Ids, received);
        compareWithTrigger(present, received);
    }

    void aFailedCopyKeepsTheTrigger() {
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("failing.mdb")));
        addRows(db, 120000000001, {QVariant()});
        {
            engine::Transaction transaction(db);
            // The second row repeats the code of the first: the unique index refuses it.
            QVERIFY_THROWS_EXCEPTION(
                EngineError,
                records::insertWithoutNumberingTrigger(
                    db, QStringLiteral("insert into dt_data (c901) values (1), (120000000001)")));
        }
        QCOMPARE(
            db.scalar(QStringLiteral("select count(*) from sqlite_master where name='dt_data_row_number'"))
                .toInt(),
            1);
        QVERIFY_THROWS_EXCEPTION(Error, records::insertWithoutNumberingTrigger(
                                            db, QStringLiteral("insert into dt_data (c901) values (2)")));
    }
};

QTEST_GUILESS_MAIN(RowNumberingTest)
#include "tst_row_numbering.moc"
