// test-kind: core
#include "app/DbSession.h"
#include "app/ReceivedFile.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/DataImport.h"
#include "records/ReceivedIndexes.h"
#include "records/RecordGenerator.h"
#include "records/TablePages.h"
#include "records/TransferCopy.h"
#include "support/FileBytes.h"
#include "support/OpenSession.h"
#include "support/RawDatabase.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using corvalis::records::IndexesMatchRows;
using corvalis::records::PageRecord;
using corvalis::records::TablePages;
using corvalis::testing::forgeCodeIndex;
using corvalis::testing::integrityOf;
using corvalis::testing::OpenSession;
using corvalis::testing::rawExec;
using corvalis::testing::readAt;
using corvalis::testing::realColumnsOf;
using corvalis::testing::rootPageOf;
using corvalis::testing::TestFolder;
using corvalis::testing::writeAt;

namespace {

constexpr qint64 PageBytes = 4096;

// Whether the file's indexes of dt_data match its rows, as the import's look finds out.
bool indexesMatch(const QString& path) {
    engine::Connection db(path);
    const std::optional<std::vector<records::SimpleIndex>> indexes =
        records::simpleIndexes(db, QStringLiteral("main"));
    if (!indexes)
        return false;
    const qint64 root = rootPageOf(db);
    const std::vector<bool> real = realColumnsOf(db);
    db.close();
    IndexesMatchRows check(*indexes);
    TablePages pages(path);
    const std::atomic<bool> stop{false};
    const TablePages::Walk walk = pages.walk(
        root, real,
        [&check](const PageRecord& row) {
            check.addRow(row);
            return true;
        },
        stop);
    return walk == TablePages::Walk::Complete && check.indexesMatch(pages, stop);
}

// The first leaf page of an index, down the leftmost children from its root; 0 when none is found.
qint64 firstLeafOf(const QString& path, const QString& index) {
    qint64 page = 0;
    {
        engine::Connection db(path);
        page = rootPageOf(db, index);
    }
    for (int depth = 0; depth < 10; ++depth) {
        const QByteArray head = readAt(path, (page - 1) * PageBytes, 14);
        if (head.size() < 14)
            return 0;
        if (head.at(0) == 0x0a)
            return page;
        // An interior page: its first cell starts with the leftmost child's number.
        const qint64 cell = uchar(head.at(12)) << 8 | uchar(head.at(13));
        const QByteArray child = readAt(path, (page - 1) * PageBytes + cell, 4);
        page = qint64(uchar(child.at(0))) << 24 | uchar(child.at(1)) << 16 | uchar(child.at(2)) << 8 |
               uchar(child.at(3));
    }
    return 0;
}

} // namespace

class ReceivedIndexesTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;
    int m_run = 0;

    // A received file of rows enough for interior index pages: codes as whole REAL values, ids
    // whole, repeated and missing.
    QString receivedFile() {
        const QString path = m_folder.makeDatabase(QStringLiteral("received%1.mdb").arg(++m_run));
        engine::Connection db(path);
        db.execute(QStringLiteral("drop trigger dt_data_row_number"));
        engine::Transaction transaction(db);
        for (int i = 0; i < 3000; ++i)
            db.execute(
                QStringLiteral("insert into dt_data (id, c901, c902, RecordState) values (?1, ?2, ?3, 1)"),
                {i % 5 == 0 ? QVariant() : QVariant(i / 2), 110000000000.0 + i * 7 % 3001,
                 QStringLiteral("单位%1").arg(i)});
        db.execute(QStringLiteral("delete from dt_data where rowid % 13 = 0"));
        transaction.commit();
        return path;
    }

private Q_SLOTS:
    // Indexes the engine built match; an index over other values, one that repeats a unique key,
    // one in the wrong order, one missing an entry and one over a key the check leaves to the engine
    // do not.
    void onlyIndexesThatHoldTheirRowsMatch() {
        QVERIFY(indexesMatch(receivedFile()));
        // Keys of every kind the check compares: nulls, fractions and numbers beyond the integers among
        // whole ones, and texts after them.
        const QString mixed = receivedFile();
        rawExec(mixed, "update dt_data set id=2.5 where rowid % 7 = 1; "
                       "update dt_data set id='甲' || rowid where rowid % 11 = 2; "
                       "update dt_data set id=-1e30 where rowid=3; update dt_data set id=1e30 where rowid=4");
        QVERIFY(indexesMatch(mixed));

        const QString otherColumn = receivedFile();
        forgeCodeIndex(otherColumn, "c902");
        QVERIFY(!indexesMatch(otherColumn));

        const QString repeated = receivedFile();
        forgeCodeIndex(repeated, "c901", "update dt_data set c901=110000000001 where rowid in (1, 2)");
        QVERIFY(!indexesMatch(repeated));

        // The first two entries of a leaf swapped: every entry is there, out of order.
        const QString swapped = receivedFile();
        const qint64 leaf = firstLeafOf(swapped, QStringLiteral("dt_data_c901"));
        QVERIFY(leaf > 1);
        const QByteArray pointers = readAt(swapped, (leaf - 1) * PageBytes + 8, 4);
        writeAt(swapped, (leaf - 1) * PageBytes + 8, pointers.mid(2, 2) + pointers.left(2));
        QVERIFY(!indexesMatch(swapped));

        // A leaf that holds one entry less.
        const QString shortened = receivedFile();
        const qint64 shortLeaf = firstLeafOf(shortened, QStringLiteral("dt_data_id"));
        const QByteArray count = readAt(shortened, (shortLeaf - 1) * PageBytes + 3, 2);
        const int entries = (uchar(count.at(0)) << 8 | uchar(count.at(1))) - 1;
        writeAt(shortened, (shortLeaf - 1) * PageBytes + 3,
                QByteArray(1, char(entries >> 8)) + char(entries & 0xff));
        QVERIFY(!indexesMatch(shortened));

        const QString blob = receivedFile();
        rawExec(blob, "update dt_data set id=x'01' where rowid=5");
        QVERIFY(!indexesMatch(blob));
    }

    // Only single-column ascending indexes of binary collation over every row are compared.
    void otherIndexesAreNotCompared() {
        const QByteArray kinds[] = {
            "create index extra on dt_data(c902, c903)", "create index extra on dt_data(c902 collate nocase)",
            "create index extra on dt_data(c902 desc)", "create index extra on dt_data(c902) where c903 > 0",
            "create index extra on dt_data(c902 || c903)"};
        for (const QByteArray& statement : kinds) {
            const QString path = m_folder.makeDatabase(QStringLiteral("kinds%1.mdb").arg(++m_run));
            rawExec(path, statement);
            engine::Connection db(path);
            QVERIFY2(!records::simpleIndexes(db, QStringLiteral("main")), statement.constData());
        }
        engine::Connection plain(m_folder.makeDatabase(QStringLiteral("plain.mdb")));
        const auto indexes = records::simpleIndexes(plain, QStringLiteral("main"));
        QVERIFY(indexes);
        QCOMPARE(indexes->size(), size_t(2));
    }

    // Taken from the source, indexes that do not match are built anew at the finish; those that do
    // are kept. Either way the open database's indexes hold its rows.
    void takenIndexesStayOnlyWhenTheyMatch() {
        const QString genuine = receivedFile();
        const QString forged = receivedFile();
        forgeCodeIndex(forged, "c902");
        for (const QString& source : {genuine, forged}) {
            const bool match = indexesMatch(source);
            QCOMPARE(match, source == genuine);
            engine::Connection db(m_folder.makeDatabase(QStringLiteral("target%1.mdb").arg(++m_run)));
            engine::Attachment attached(db, source, QStringLiteral("other"));
            QVERIFY(records::TransferCopy::indexesToTake(db, QStringLiteral("other")));
            engine::Transaction transaction(db);
            records::TransferCopy copy(db, QStringLiteral("other.dt_data"),
                                       records::TransferCopy::Indexes::TakenFromSource);
            copy.finish(match);
            transaction.commit();
            QCOMPARE(integrityOf(db), QStringLiteral("ok"));
            QCOMPARE(db.scalar(QStringLiteral("select count(*) from dt_data")),
                     QVariant(2770)); // 3000 less the 230 rowids divisible by 13
        }
        // Into a table that holds rows, indexes are never taken.
        engine::Connection db(m_folder.makeDatabase(QStringLiteral("populated.mdb")));
        db.execute(QStringLiteral("insert into dt_data (c901, c902) values (120000000001, '甲')"));
        engine::Attachment attached(db, genuine, QStringLiteral("other"));
        QVERIFY(!records::TransferCopy::indexesToTake(db, QStringLiteral("other")));
    }

    // A received file too large for the full integrity check, whose index over the codes holds other
    // values, imports into an empty database with its rows, and the open database's index is built
    // from them. The same file with its own index imports as well.
    void aForgedIndexDoesNotReachTheOpenDatabase() {
        const QString genuine = m_folder.makeDatabase(QStringLiteral("large.mdb"));
        {
            engine::Connection db(genuine);
            records::GeneratorOptions options;
            options.count = 120000;
            options.firstCode = 110000000001;
            records::generateRecords(db, options);
        }
        QVERIFY(QFileInfo(genuine).size() > FullIntegrityCheckBytes);
        const QString forged = m_folder.file(QStringLiteral("large-forged.mdb"));
        QVERIFY(QFile::copy(genuine, forged));
        forgeCodeIndex(forged, "c902");
        for (const QString& file : {forged, genuine}) {
            OpenSession open;
            open.ui.answerYes();
            QVERIFY2(exchange::importDataFileFrom(open.session, open.ui, file) ==
                         exchange::ImportOutcome::Imported,
                     qPrintable(open.ui.messageTexts().join(QLatin1Char('\n'))));
            QCOMPARE(open.count(), qint64(120000));
            QCOMPARE(integrityOf(open.db()), QStringLiteral("ok"));
        }
    }
};

QTEST_GUILESS_MAIN(ReceivedIndexesTest)
#include "tst_received_indexes.moc"
