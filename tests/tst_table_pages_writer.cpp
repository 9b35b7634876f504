// test-kind: core
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/TablePagesWriter.h"
#include "support/FileBytes.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <variant>
#include <vector>

using namespace corvalis;
using corvalis::records::EncodedRecord;
using corvalis::records::TablePagesWriter;
using corvalis::testing::readAll;

namespace {

using Value = std::variant<std::monostate, qint64, QByteArray>; // null, whole number, text
using Row = std::vector<Value>;

// A table of that many columns, every third a text column, the others integer ones.
QString tableStatement(int table, int columns) {
    QStringList declared;
    for (int i = 0; i < columns; ++i)
        declared << QStringLiteral("c%1 %2").arg(i).arg(i % 3 == 2 ? QStringLiteral("TEXT")
                                                                   : QStringLiteral("INT"));
    return QStringLiteral("create table t%1(%2)").arg(table).arg(declared.join(QLatin1Char(',')));
}

QString emptyFile(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return path;
}

// The same rows inserted by the engine, one statement each, into a file it makes itself.
void storeByEngine(const QString& path, const QStringList& statements,
                   const std::vector<std::vector<Row>>& tables) {
    engine::Connection db(path);
    db.executeScript(QStringLiteral("pragma page_size=65536; pragma journal_mode=off"));
    db.begin();
    for (int t = 0; t < statements.size(); ++t) {
        db.execute(statements[t]);
        for (const Row& row : tables[size_t(t)]) {
            QStringList marks;
            for (size_t i = 0; i < row.size(); ++i)
                marks << QStringLiteral("?");
            engine::Statement insert(
                db, QStringLiteral("insert into t%1 values (%2)").arg(t).arg(marks.join(QLatin1Char(','))));
            for (size_t i = 0; i < row.size(); ++i) {
                const int position = int(i) + 1;
                if (const auto* whole = std::get_if<qint64>(&row[i]))
                    insert.bindInt64(position, *whole);
                else if (const auto* text = std::get_if<QByteArray>(&row[i]))
                    insert.bindBorrowedText(position, text->constData(), int(text->size()));
                else
                    insert.bindNull(position);
            }
            insert.run();
        }
    }
    db.commit();
}

void build(EncodedRecord& record, const Row& row) {
    record.clear();
    for (const Value& value : row) {
        if (const auto* whole = std::get_if<qint64>(&value))
            record.addInteger(*whole);
        else if (const auto* text = std::get_if<QByteArray>(&value))
            record.addText(text->constData(), int(text->size()));
        else
            record.addNull();
    }
}

QByteArray bytesOf(const EncodedRecord& record) {
    QByteArray bytes(int(record.size()), '\0');
    record.copyTo(reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

// The file as the engine copies it out: its records as they stand, in rowid order, in fresh pages.
QByteArray vacuumed(const QString& path) {
    const QString copy = path + QStringLiteral(".vacuumed");
    QFile::remove(copy);
    engine::Connection db(path);
    db.execute(QStringLiteral("vacuum into ?1"), {copy});
    return readAll(copy);
}

QString integrity(const QString& path) {
    engine::Connection db(path);
    return db.scalar(QStringLiteral("pragma integrity_check")).toString();
}

// Integers at every edge of the engine's stored sizes, on both sides of zero.
std::vector<qint64> edgeIntegers() {
    std::vector<qint64> values{
        0, 1, 2, -1, -2, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min()};
    for (const qint64 edge :
         {qint64(127), qint64(32767), qint64(8388607), qint64(2147483647), qint64(0x7fffffffffff)})
        for (const qint64 value : {edge, edge + 1, -edge - 1, -edge - 2})
            values.push_back(value);
    return values;
}

// Texts whose lengths take one and two bytes to tell, a NUL inside one.
Row rowOf(int columns, int seed) {
    const std::vector<qint64> integers = edgeIntegers();
    const QByteArray texts[] = {
        QByteArray(),        QByteArray("a"),     QByteArray("工会").append('\0').append("x"),
        QByteArray(57, 'k'), QByteArray(58, 'k'), QByteArray(300, 'z')};
    Row row;
    for (int i = 0; i < columns; ++i) {
        const int pick = seed * 7 + i;
        if (pick % 11 == 0)
            row.emplace_back(std::monostate());
        else if (i % 3 == 2)
            row.emplace_back(texts[size_t(pick) % std::size(texts)]);
        else
            row.emplace_back(integers[size_t(pick) % integers.size()]);
    }
    return row;
}

} // namespace

class TablePagesWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Records built here are the engine's own for the same values, byte for byte: integers of every
    // stored size, texts of short and long lengths, nulls, and headers on both sides of the length
    // at which their own length takes a second byte. The engine finds the file sound.
    void recordsAreTheEnginesOwn() {
        QTemporaryDir dir;
        QStringList statements;
        std::vector<std::vector<Row>> tables;
        for (const int columns : {1, 7, 125, 126, 127, 128, 200}) {
            statements << tableStatement(int(statements.size()), columns);
            std::vector<Row> rows;
            for (int seed = 0; seed < 40; ++seed)
                rows.push_back(rowOf(columns, seed));
            tables.push_back(rows);
        }
        const QString byEngine = emptyFile(dir, QStringLiteral("engine.db"));
        storeByEngine(byEngine, statements, tables);

        const QString written = emptyFile(dir, QStringLiteral("written.db"));
        {
            TablePagesWriter writer(written, statements);
            EncodedRecord record;
            for (size_t t = 0; t < tables.size(); ++t)
                for (const Row& row : tables[t]) {
                    build(record, row);
                    QVERIFY(writer.append(int(t), record));
                }
            writer.finish();
        }
        QCOMPARE(integrity(written), QStringLiteral("ok"));
        QCOMPARE(vacuumed(written), vacuumed(byEngine));
    }

    // Index entries appended in order make the index the engine makes for the same rows, byte for
    // byte, with ties of a key in rowid order: for every count of rows up to a few pages, so that
    // the last entry falls on every place of a page, and for a tree of several levels.
    void indexesAreTheEnginesOwn() {
        QTemporaryDir dir;
        const QStringList statements{QStringLiteral("create table t0(a INT, b INT, c TEXT)"),
                                     QStringLiteral("create index t0_a on t0(a)"),
                                     QStringLiteral("create unique index t0_b on t0(b)")};
        const auto keys = [](qint64 n) { return std::pair{n / 3 - 20, n * 40503 - 5000000}; };
        std::vector<int> counts;
        for (int n = 0; n <= 90; ++n)
            counts.push_back(n);
        counts.push_back(6000);
        for (const int rows : counts) {
            const QString byEngine = emptyFile(dir, QStringLiteral("engine%1.db").arg(rows));
            {
                engine::Connection db(byEngine);
                db.executeScript(QStringLiteral("pragma page_size=512; pragma journal_mode=off"));
                db.begin();
                for (const QString& statement : statements)
                    db.execute(statement);
                for (qint64 n = 1; n <= rows; ++n)
                    db.execute(QStringLiteral("insert into t0 values (?1, ?2, 'x')"),
                               {keys(n).first, keys(n).second});
                db.commit();
            }
            const QString written = emptyFile(dir, QStringLiteral("written%1.db").arg(rows));
            {
                TablePagesWriter writer(written, statements, 512);
                EncodedRecord record;
                for (qint64 n = 1; n <= rows; ++n) {
                    build(record, {keys(n).first, keys(n).second, QByteArray("x")});
                    QVERIFY(writer.append(0, record));
                }
                for (const int index : {1, 2})
                    for (qint64 n = 1; n <= rows; ++n) {
                        build(record, {index == 1 ? keys(n).first : keys(n).second, n});
                        QVERIFY(writer.append(index, record));
                    }
                writer.finish();
            }
            QCOMPARE(integrity(written), QStringLiteral("ok"));
            QCOMPARE(vacuumed(written), vacuumed(byEngine));
        }
    }

    // A file past 1 GiB leaves the page of the engine's lock byte empty, and the engine reads the
    // pages on either side of it, and copies the table out, as it would its own.
    void aFilePastTheLockByteReadsBackWhole() {
        QTemporaryDir dir;
        const QString path = emptyFile(dir, QStringLiteral("large.db"));
        const int rows = 16500; // a page each: the lock byte's page is the 16,385th
        const QByteArray text(65000, 'x');
        {
            TablePagesWriter writer(path, {QStringLiteral("create table t(n INT, x TEXT)")});
            EncodedRecord record;
            for (int n = 1; n <= rows; ++n) {
                record.clear();
                record.addInteger(n);
                record.addText(text.constData(), int(text.size()));
                QVERIFY(writer.append(0, record));
            }
            writer.finish();
        }
        QVERIFY(QFileInfo(path).size() > 0x40000000);
        engine::Connection db(path);
        QCOMPARE(db.scalar(QStringLiteral("pragma quick_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(db.scalar(QStringLiteral(
                               "select count(*) || ',' || sum(n) || ',' || sum(length(x) = 65000) from t"))
                     .toString(),
                 QStringLiteral("%1,%2,%1").arg(rows).arg(qint64(rows) * (rows + 1) / 2));
        db.execute(QStringLiteral("create table copied(n INT, x TEXT)"));
        QCOMPARE(db.execute(QStringLiteral("insert into copied select * from t")), qint64(rows));
    }

    // A null filled in afterwards gives the record built with the number in its place, at the
    // start, the middle and the end of a record.
    void aNullFilledInIsTheRecordBuiltWithTheNumber() {
        Row row = rowOf(130, 3);
        for (const size_t at : {size_t(0), size_t(64), size_t(129)}) {
            EncodedRecord before;
            build(before, Row(row.begin(), row.begin() + qsizetype(at)));
            for (const qint64 number : edgeIntegers()) {
                row[at] = std::monostate();
                EncodedRecord withNull, filled, direct;
                build(withNull, row);
                filled.assignWithInteger(withNull, before.typeBytes(), before.bodyBytes(), number);
                row[at] = number;
                build(direct, row);
                QCOMPARE(bytesOf(filled), bytesOf(direct));
            }
        }
    }

    // Many rows on small pages make a tree of several levels, read back whole and by rowid. A record
    // too long for a page is refused and leaves the rest sound; a table without rows stays empty and
    // one of a single row has it in its root. The engine then adds rows after the last.
    void aDeepTreeReadsBackWhole() {
        QTemporaryDir dir;
        const QString path = emptyFile(dir, QStringLiteral("deep.db"));
        const int rows = 30000;
        {
            TablePagesWriter writer(path,
                                    {QStringLiteral("create table deep(n INT, label TEXT)"),
                                     QStringLiteral("create table none(x INT)"),
                                     QStringLiteral("create table one(x INT)")},
                                    512);
            EncodedRecord record;
            for (int n = 1; n <= rows; ++n) {
                record.clear();
                record.addInteger(qint64(n) * 3);
                const QByteArray label = QByteArray::number(n).repeated(n % 5 + 1);
                record.addText(label.constData(), int(label.size()));
                QVERIFY(writer.append(0, record));
                if (n == 500) {
                    const QByteArray tooLong(600, 'x');
                    record.clear();
                    record.addText(tooLong.constData(), int(tooLong.size()));
                    QVERIFY(!writer.append(0, record));
                }
            }
            record.clear();
            record.addInteger(42);
            QVERIFY(writer.append(2, record));
            writer.finish();
        }
        QCOMPARE(integrity(path), QStringLiteral("ok"));
        engine::Connection db(path);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) || ',' || sum(n) || ',' || min(rowid) || ',' || "
                                          "max(rowid) from deep"))
                     .toString(),
                 QStringLiteral("%1,%2,1,%1").arg(rows).arg(qint64(3) * rows * (rows + 1) / 2));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from deep where n <> rowid * 3 or label <> "
                                          "replace(substr('xxxxx', 1, rowid % 5 + 1), 'x', rowid)"))
                     .toLongLong(),
                 qint64(0));
        for (const qint64 row :
             {qint64(1), qint64(499), qint64(500), qint64(501), qint64(17777), qint64(rows)})
            QCOMPARE(db.scalar(QStringLiteral("select n from deep where rowid = ?1"), {row}).toLongLong(),
                     row * 3);
        QVERIFY(
            db.scalar(QStringLiteral("select max(length(path) - length(replace(path, '/', ''))) from dbstat "
                                     "where name = 'deep'"))
                .toLongLong() >= 3);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from none")).toLongLong(), qint64(0));
        QCOMPARE(db.scalar(QStringLiteral("select x from one")).toLongLong(), qint64(42));
        db.execute(QStringLiteral("insert into deep values (1, 'after')"));
        QCOMPARE(db.scalar(QStringLiteral("select max(rowid) from deep")).toLongLong(), qint64(rows + 1));
        QCOMPARE(db.scalar(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
    }
};

QTEST_GUILESS_MAIN(TablePagesWriterTest)
#include "tst_table_pages_writer.moc"
