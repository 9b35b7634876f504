// test-kind: core
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/TablePages.h"
#include "support/FileBytes.h"
#include "support/RawDatabase.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cmath>
#include <limits>
#include <sqlite3.h>

using namespace corvalis;
using corvalis::records::PageRecord;
using corvalis::records::StoredField;
using corvalis::records::TablePages;
using corvalis::testing::rawExec;
using corvalis::testing::realColumnsOf;
using corvalis::testing::rootPageOf;
using corvalis::testing::TestFolder;
using corvalis::testing::writeAt;

namespace {

// A field as text with its type, the same for the engine's reading and the page walk's.
QString shown(const StoredField& field) {
    switch (field.type) {
    case StoredField::Type::Null:
        return QStringLiteral("null");
    case StoredField::Type::Integer:
        return QStringLiteral("int ") + QString::number(field.integer);
    case StoredField::Type::Float:
        return QStringLiteral("real ") + QString::number(field.real, 'g', 17);
    case StoredField::Type::Text:
        return QStringLiteral("text ") +
               QString::fromLatin1(
                   QByteArray(reinterpret_cast<const char*>(field.bytes), int(field.size)).toHex());
    case StoredField::Type::Blob:
        return QStringLiteral("blob ") +
               QString::fromLatin1(
                   QByteArray(reinterpret_cast<const char*>(field.bytes), int(field.size)).toHex());
    case StoredField::Type::NotANumber:
        break;
    }
    return QStringLiteral("nan");
}

QString shown(sqlite3_stmt* row, int column) {
    StoredField field;
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_INTEGER:
        field.type = StoredField::Type::Integer;
        field.integer = sqlite3_column_int64(row, column);
        break;
    case SQLITE_FLOAT:
        field.type = StoredField::Type::Float;
        field.real = sqlite3_column_double(row, column);
        break;
    case SQLITE_TEXT:
    case SQLITE_BLOB:
        field.type = sqlite3_column_type(row, column) == SQLITE_TEXT ? StoredField::Type::Text
                                                                     : StoredField::Type::Blob;
        field.bytes = static_cast<const unsigned char*>(sqlite3_column_blob(row, column));
        field.size = sqlite3_column_bytes(row, column);
        break;
    default:
        break;
    }
    return shown(field);
}

// Every row of dt_data as the walk reads it: rowid and fields.
QStringList walked(const QString& path, TablePages::Walk& result) {
    engine::Connection db(path);
    const qint64 root = rootPageOf(db);
    const std::vector<bool> real = realColumnsOf(db);
    db.close();
    QStringList rows;
    const std::atomic<bool> stop{false};
    TablePages pages(path);
    result = pages.walk(
        root, real,
        [&rows](const PageRecord& record) {
            QStringList fields{QString::number(record.rowid())};
            for (int i = 0; i < record.fieldCount(); ++i)
                fields << shown(*record.field(i));
            rows << fields.join(QLatin1Char('|'));
            return true;
        },
        stop);
    return rows;
}

// The same as the engine reads it.
QStringList readByTheEngine(const QString& path) {
    engine::Connection db(path);
    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(db.handle(), "select rowid, * from dt_data order by rowid", -1, &row, nullptr);
    QStringList rows;
    while (sqlite3_step(row) == SQLITE_ROW) {
        QStringList fields{QString::number(sqlite3_column_int64(row, 0))};
        for (int c = 1; c < sqlite3_column_count(row); ++c)
            fields << shown(row, c);
        rows << fields.join(QLatin1Char('|'));
    }
    sqlite3_finalize(row);
    return rows;
}

} // namespace

class TablePagesTest : public QObject {
    Q_OBJECT

private:
    TestFolder m_folder;

    // A database whose dt_data spans several levels of pages, with values of every stored form.
    QString filledDatabase(const QString& name) {
        const QString path = m_folder.makeDatabase(name);
        engine::Connection db(path);
        db.execute(QStringLiteral("drop trigger dt_data_row_number"));
        const QVariantList values = {QVariant(),
                                     0,
                                     1,
                                     -1,
                                     127,
                                     -128,
                                     -129,
                                     32767,
                                     -32769,
                                     8388607,
                                     -8388609,
                                     2147483647LL,
                                     -2147483649LL,
                                     140737488355327LL,
                                     -140737488355329LL,
                                     std::numeric_limits<qint64>::max(),
                                     std::numeric_limits<qint64>::min(),
                                     2.5,
                                     -0.0,
                                     1e300,
                                     QStringLiteral("甲乙"),
                                     QString(),
                                     QString(300, QLatin1Char('x')),
                                     QByteArray("\x00\x01\xff", 3),
                                     QByteArray()};
        engine::Transaction transaction(db);
        for (int i = 0; i < 3000; ++i) {
            const QVariant a = values[i % values.size()];
            const QVariant b = values[(i / 7) % values.size()];
            db.execute(QStringLiteral("insert into dt_data (rowid, id, c901, c902, z001, z016, RecordState) "
                                      "values (?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
                       {i * 3 - 4000, a, 110000000000.0 + i, b, a, b, i % 3});
        }
        db.execute(QStringLiteral("delete from dt_data where rowid % 11 = 0"));
        transaction.commit();
        return path;
    }

private Q_SLOTS:
    // Row for row and field for field what the engine reads, over interior and leaf pages, with
    // negative rowids, gaps and the whole numbers of the REAL code column read as floating values.
    void readsEveryRowAsTheEngineDoes() {
        const QString path = filledDatabase(QStringLiteral("filled.mdb"));
        TablePages::Walk result = TablePages::Walk::Ended;
        const QStringList rows = walked(path, result);
        QCOMPARE(result, TablePages::Walk::Complete);
        const QStringList expected = readByTheEngine(path);
        QVERIFY(expected.size() > 2500);
        QCOMPARE(rows.size(), expected.size());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i], expected[i]);
        // Deep enough for interior pages.
        engine::Connection db(path);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from dbstat where name='dt_data' and "
                                          "pagetype='internal'"))
                         .toInt() > 0,
                 true);
    }

    // Read as a whole number without decoding, every field agrees with its decoding: nulls, whole
    // numbers of every stored width (those of the REAL code column too), and nothing else.
    void readsWholeNumbersAsDecoded() {
        const QString path = filledDatabase(QStringLiteral("whole.mdb"));
        engine::Connection db(path);
        const qint64 root = rootPageOf(db);
        const std::vector<bool> real = realColumnsOf(db);
        db.close();
        QStringList disagreements;
        QSet<qint64> wholes;
        const std::atomic<bool> stop{false};
        TablePages pages(path);
        const TablePages::Walk walk = pages.walk(
            root, real,
            [&](const PageRecord& record) {
                for (int i = 0; i < record.fieldCount(); ++i) {
                    const StoredField field = record.decoded(i);
                    const PageRecord::WholeForm form = record.wholeForm(i);
                    const bool whole = field.type == StoredField::Type::Integer ||
                                       (field.type == StoredField::Type::Float && real[size_t(i)]);
                    if (form.null != (field.type == StoredField::Type::Null) || form.whole != whole ||
                        (whole && form.value != field.integer))
                        disagreements
                            << QStringLiteral("%1/%2: %3").arg(record.rowid()).arg(i).arg(shown(field));
                    if (form.whole)
                        wholes.insert(form.value);
                }
                return true;
            },
            stop);
        QCOMPARE(walk, TablePages::Walk::Complete);
        QCOMPARE(disagreements, QStringList());
        for (const qint64 edge : {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                                  -140737488355329LL, 140737488355327LL, -8388609LL, -129LL, 1LL})
            QVERIFY2(wholes.contains(edge), qPrintable(QString::number(edge)));
    }

    // An index's entries come in the engine's order, those of interior pages between their children,
    // each its key and then its row's rowid; a table's root is no index's.
    void readsAnIndexInTheEnginesOrder() {
        const QString path = filledDatabase(QStringLiteral("index.mdb"));
        engine::Connection db(path);
        const qint64 indexRoot =
            db.scalar(QStringLiteral("select rootpage from sqlite_master where name='dt_data_id'"))
                .toLongLong();
        QVERIFY(db.scalar(QStringLiteral("select count(*) from dbstat where name='dt_data_id' and "
                                         "pagetype='internal'"))
                    .toInt() > 0);
        QStringList expected;
        sqlite3_stmt* row = nullptr;
        sqlite3_prepare_v2(db.handle(), "select id, rowid from dt_data order by id, rowid", -1, &row,
                           nullptr);
        while (sqlite3_step(row) == SQLITE_ROW)
            expected << shown(row, 0) + QLatin1Char('|') + shown(row, 1);
        sqlite3_finalize(row);
        const qint64 tableRoot = rootPageOf(db);
        db.close();

        TablePages pages(path);
        const std::atomic<bool> stop{false};
        QStringList entries;
        QCOMPARE(pages.walkIndex(
                     indexRoot,
                     [&entries](const PageRecord& entry) {
                         QStringList fields;
                         for (int i = 0; i < entry.fieldCount(); ++i)
                             fields << shown(*entry.field(i));
                         entries << fields.join(QLatin1Char('|'));
                         return true;
                     },
                     stop),
                 TablePages::Walk::Complete);
        QCOMPARE(pages.rows(), qint64(expected.size()));
        QCOMPARE(entries, expected);
        QCOMPARE(pages.walkIndex(
                     tableRoot, [](const PageRecord&) { return true; }, stop),
                 TablePages::Walk::Unreadable);
    }

    // The visitor and the stop flag end the walk; the rows seen so far are counted.
    void theVisitorEndsTheWalk() {
        const QString path = filledDatabase(QStringLiteral("ended.mdb"));
        engine::Connection db(path);
        const qint64 root = rootPageOf(db);
        TablePages pages(path);
        std::atomic<bool> stop{false};
        int seen = 0;
        QCOMPARE(pages.walk(
                     root, {}, [&seen](const PageRecord&) { return ++seen < 10; }, stop),
                 TablePages::Walk::Ended);
        QCOMPARE(pages.rows(), qint64(10));
        stop = true;
        QCOMPARE(pages.walk(
                     root, {}, [](const PageRecord&) { return true; }, stop),
                 TablePages::Walk::Ended);
    }

    // Read through the engine's own file handle, the walk leaves the engine's read lock in place:
    // another process still cannot write the file while its records are being copied.
    void theEnginesLockOutlastsTheWalk() {
        const QString path = filledDatabase(QStringLiteral("locked.mdb"));
        engine::Connection db(path);
        const qint64 root = rootPageOf(db);
        const QVariant rows = db.scalar(QStringLiteral("select count(*) from dt_data"));
        {
            engine::Transaction readLock(db);
            db.scalar(QStringLiteral("select count(*) from dt_data"));
            {
                TablePages pages(db, QStringLiteral("main"));
                const std::atomic<bool> stop{false};
                QCOMPARE(pages.walk(
                             root, {}, [](const PageRecord&) { return true; }, stop),
                         TablePages::Walk::Complete);
                QCOMPARE(QVariant(pages.rows()), rows);
            }
            QProcess writer;
            writer.start(QStringLiteral("sqlite3"), {path, QStringLiteral("delete from dt_data;")});
            QVERIFY(writer.waitForFinished(30000));
            QVERIFY2(writer.exitCode() != 0, "another process wrote the file under the read lock");
        }
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from dt_data")), rows);
    }

    // What the walk does not read plainly it leaves to the engine: a record running into overflow
    // pages, a file in WAL mode, a damaged or cut-short file, a root that is not a table's.
    void givesUpOnWhatItDoesNotReadPlainly() {
        const std::atomic<bool> stop{false};
        const auto walk = [&stop](const QString& path, qint64 root) {
            TablePages pages(path);
            return pages.walk(
                root, {}, [](const PageRecord&) { return true; }, stop);
        };
        const QString overflow = filledDatabase(QStringLiteral("overflow.mdb"));
        const QString wal = filledDatabase(QStringLiteral("wal.mdb"));
        const QString damaged = filledDatabase(QStringLiteral("damaged.mdb"));
        const QString cut = filledDatabase(QStringLiteral("cut.mdb"));
        qint64 root = 0, indexRoot = 0;
        {
            engine::Connection db(overflow);
            root = rootPageOf(db);
            indexRoot = rootPageOf(db, QStringLiteral("dt_data_c901"));
            db.execute(
                QStringLiteral("update dt_data set c902=?1 where rowid=(select max(rowid) from dt_data)"),
                {QString(5000, QLatin1Char('y'))});
        }
        QCOMPARE(walk(overflow, root), TablePages::Walk::Unreadable);
        QCOMPARE(walk(overflow, indexRoot), TablePages::Walk::Unreadable);
        QCOMPARE(walk(overflow, 1), TablePages::Walk::Unreadable);
        QCOMPARE(walk(overflow, 1 << 30), TablePages::Walk::Unreadable);

        rawExec(wal, "pragma journal_mode=wal");
        QCOMPARE(walk(wal, root), TablePages::Walk::Unreadable);

        // The root's first cell pointer aims into the page header.
        writeAt(damaged, (root - 1) * 4096 + 12, QByteArray("\x00\x02", 2));
        QCOMPARE(walk(damaged, root), TablePages::Walk::Unreadable);

        QVERIFY(QFile::resize(cut, root * 4096));
        QCOMPARE(walk(cut, root), TablePages::Walk::Unreadable);
        QCOMPARE(walk(m_folder.file(QStringLiteral("missing.mdb")), root), TablePages::Walk::Unreadable);
    }
};

QTEST_GUILESS_MAIN(TablePagesTest)
#include "tst_table_pages.moc"
