// test-kind: core
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/ProgressHandler.h"
#include "app/engine/RowSet.h"
#include "app/engine/Statement.h"
#include "app/engine/WholeNumberPack.h"
#include "app/engine/WritebackAhead.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <thread>
#include <vector>

using namespace corvalis;
using namespace corvalis::engine;

class EngineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A small table of unions with codes, names and one count.
    QString makeUnions(const QString& name) {
        const QString file = path(name);
        QFile::remove(file);
        Connection::createDatabase(file);
        Connection c(file);
        c.executeScript(QStringLiteral("create table u (c901 DOUBLE, c902 VARCHAR(60), z002 INTEGER, "
                                       "Visible BOOLEAN, d DATE, b BLOB)"));
        c.execute(QStringLiteral("insert into u values (?1, ?2, ?3, 1, null, null)"),
                  {300000000003.0, QStringLiteral("丙"), 30});
        c.execute(QStringLiteral("insert into u values (?1, ?2, ?3, 0, null, null)"),
                  {100000000001.0, QStringLiteral("甲"), 10});
        c.execute(QStringLiteral("insert into u values (?1, ?2, ?3, 1, null, null)"),
                  {200000000002.0, QStringLiteral("乙"), 20});
        return file;
    }

    static QStringList sideFiles(const QString& file) {
        QStringList found;
        for (const char* suffix : {"-journal", "-wal", "-shm"})
            if (QFile::exists(file + QLatin1String(suffix)))
                found << file + QLatin1String(suffix);
        return found;
    }

private Q_SLOTS:
    void openingFailsCleanlyOnMissingAndForeignFiles() {
        QVERIFY_THROWS_EXCEPTION(EngineError, Connection(path(QStringLiteral("missing.mdb"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("missing.mdb"))));

        QFile text(path(QStringLiteral("notes.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(2048, 'x'));
        text.close();
        try {
            Connection c(text.fileName());
            QFAIL("a text file opened as a database");
        } catch (const EngineError& error) {
            QVERIFY2(error.text().contains(QLatin1String("not a database")), qPrintable(error.text()));
        }
        QFile empty(path(QStringLiteral("empty.mdb")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        // An empty file is an empty database to the engine; it simply has no tables.
        Connection c(empty.fileName());
        QVERIFY(!c.tableExists(QStringLiteral("dt_data")));
    }

    void createDatabaseWritesACompleteFileAndRefusesToOverwrite() {
        const QString file = path(QStringLiteral("new.mdb"));
        Connection::createDatabase(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(16), QByteArray("SQLite format 3\0", 16));
        QVERIFY(f.size() >= 512);
        f.close();
        QVERIFY_THROWS_EXCEPTION(EngineError, Connection::createDatabase(file));
        QVERIFY(sideFiles(file).isEmpty());
    }

    void boundParametersKeepTextAsTyped() {
        Connection c(makeUnions(QStringLiteral("bind.mdb")));
        const QString tricky = QStringLiteral("O'Brien \"工会\"; drop table u; --");
        c.execute(QStringLiteral("update u set c902=?1 where c901=?2"), {tricky, 100000000001.0});
        QCOMPARE(c.scalar(QStringLiteral("select c902 from u where c901=100000000001")).toString(), tricky);
        QVERIFY(c.tableExists(QStringLiteral("u")));
        Statement named(c, QStringLiteral("select c902 from u where c901=:ReocrdID"));
        named.bind(QStringLiteral("ReocrdID"), 200000000002.0);
        QVERIFY(named.step());
        QCOMPARE(named.text(0), QStringLiteral("乙"));
        QVERIFY_THROWS_EXCEPTION(EngineError, named.bind(QStringLiteral("nosuch"), 1));
    }

    void engineErrorsCarryTheEngineText() {
        Connection c(makeUnions(QStringLiteral("errors.mdb")));
        try {
            c.execute(QStringLiteral("select nosuchcolumn from u"));
            QFAIL("no error");
        } catch (const EngineError& error) {
            QVERIFY2(error.text().contains(QLatin1String("no such column")), qPrintable(error.text()));
        }
        QVERIFY_THROWS_EXCEPTION(EngineError, c.execute(QStringLiteral("select 1; select 2")));
    }

    void rowSetMovesAndReadsTypedColumns() {
        Connection c(makeUnions(QStringLiteral("rows.mdb")));
        RowSet rows = c.query(QStringLiteral("select * from u order by c901"));
        QCOMPARE(rows.recordCount(), 3);
        QCOMPARE(rows.columnNames(),
                 (QStringList{QStringLiteral("c901"), QStringLiteral("c902"), QStringLiteral("z002"),
                              QStringLiteral("Visible"), QStringLiteral("d"), QStringLiteral("b")}));
        QVERIFY(!rows.eof());
        QCOMPARE(rows.asString(QStringLiteral("C901")), QStringLiteral("100000000001"));
        QCOMPARE(rows.asFloat(QStringLiteral("c901")), 100000000001.0);
        QCOMPARE(rows.asInteger(QStringLiteral("z002")), 10);
        QCOMPARE(rows.asBoolean(QStringLiteral("Visible")), false);
        QCOMPARE(rows.asString(QStringLiteral("d")), QString());
        QCOMPARE(rows.columnType(QStringLiteral("c901")), ColumnType::Float);
        QCOMPARE(rows.columnType(QStringLiteral("c902")), ColumnType::Text);
        QCOMPARE(rows.columnType(QStringLiteral("z002")), ColumnType::Integer);
        QCOMPARE(rows.columnType(QStringLiteral("Visible")), ColumnType::Boolean);
        QCOMPARE(rows.columnType(QStringLiteral("d")), ColumnType::DateTime);
        QCOMPARE(rows.columnType(QStringLiteral("b")), ColumnType::Blob);
        QCOMPARE(rows.columnSize(QStringLiteral("c902")), 60);
        QVERIFY_THROWS_EXCEPTION(EngineError, rows.value(QStringLiteral("nosuch")));

        rows.next();
        rows.next();
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("丙"));
        rows.next();
        QVERIFY(rows.eof());
        QVERIFY_THROWS_EXCEPTION(EngineError, rows.value(0));
        rows.last();
        rows.prior();
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("乙"));
        rows.prior();
        rows.prior();
        QVERIFY(rows.bof());
        rows.first();
        QCOMPARE(rows.position(), 0);

        RowSet none = c.query(QStringLiteral("select * from u where 0"));
        QVERIFY(none.isEmpty());
        QVERIFY(none.eof());
        QVERIFY(none.bof());
        QCOMPARE(none.columnCount(), 6);
    }

    void locateAndSortWorkOnTheOpenRows() {
        Connection c(makeUnions(QStringLiteral("sort.mdb")));
        RowSet rows = c.query(QStringLiteral("select c901, c902, z002 from u"));
        QVERIFY(rows.locate(QStringLiteral("c901"), QVariant(qint64(200000000002))));
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("乙"));
        const int before = rows.position();
        QVERIFY(!rows.locate(QStringLiteral("c901"), 999.0));
        QCOMPARE(rows.position(), before);

        rows.sort(QStringLiteral("z002 DESC"));
        QCOMPARE(rows.asInteger(QStringLiteral("z002")), 30);
        rows.last();
        QCOMPARE(rows.asInteger(QStringLiteral("z002")), 10);
        rows.sort(QStringLiteral("c902 ASC"));
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("丙")); // by code point: 丙 < 乙 < 甲

        // A re-run keeps the sort and sees changed data.
        c.execute(QStringLiteral("insert into u (c901, c902, z002) values (400000000004, '丁', 5)"));
        rows.requery();
        QCOMPARE(rows.recordCount(), 4);
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("丁"));
        QCOMPARE(rows.sortOrder(), QStringLiteral("c902 ASC"));
    }

    void bookmarksSurviveARerunAndFailForADeletedRow() {
        Connection c(makeUnions(QStringLiteral("marks.mdb")));
        RowSet rows = c.query(QStringLiteral("select * from u order by c901"));
        rows.next(); // 乙
        const Bookmark mark = rows.bookmark();
        QVERIFY(mark.isValid());
        // Rows before it appear and vanish; the bookmark still finds the same record by its key.
        c.execute(QStringLiteral("insert into u (c901, c902, z002) values (150000000000, '新', 1)"));
        c.execute(QStringLiteral("delete from u where c901=100000000001"));
        rows.requery();
        rows.gotoBookmark(mark);
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("乙"));

        c.execute(QStringLiteral("delete from u where c902='乙'"));
        rows.requery();
        rows.last();
        QVERIFY_THROWS_EXCEPTION(EngineError, rows.gotoBookmark(mark));
        QVERIFY(!rows.tryGotoBookmark(mark));
        QCOMPARE(rows.asString(QStringLiteral("c902")), QStringLiteral("丙")); // position unchanged
        QVERIFY(!rows.tryGotoBookmark(Bookmark()));
    }

    void transactionsRollBackUnlessCommittedAndNest() {
        Connection c(makeUnions(QStringLiteral("tx.mdb")));
        const auto count = [&c] { return c.scalar(QStringLiteral("select count(*) from u")).toInt(); };
        {
            Transaction t(c);
            c.execute(QStringLiteral("delete from u"));
            QCOMPARE(count(), 0);
        } // not committed
        QCOMPARE(count(), 3);
        QVERIFY(!c.inTransaction());

        try {
            Transaction t(c);
            c.execute(QStringLiteral("delete from u where c901=100000000001"));
            c.execute(QStringLiteral("insert into nosuch values (1)"));
            t.commit();
        } catch (const EngineError&) {
        }
        QCOMPARE(count(), 3);

        Transaction outer(c);
        c.execute(QStringLiteral("delete from u where c901=100000000001"));
        {
            Transaction inner(c);
            c.execute(QStringLiteral("delete from u"));
        } // inner rolled back to its savepoint only
        QCOMPARE(count(), 2);
        {
            Transaction inner(c);
            c.execute(QStringLiteral("delete from u where c901=200000000002"));
            inner.commit();
        }
        outer.commit();
        QCOMPARE(count(), 1);
        QVERIFY_THROWS_EXCEPTION(EngineError, c.commit());
    }

    void passwordIsCheckedOnConnectAndCanBeRemoved() {
        const QString file = makeUnions(QStringLiteral("locked.mdb"));
        {
            Connection c(file);
            QVERIFY(!c.hasPassword());
            c.setPassword(QStringLiteral("s3cret"));
            QVERIFY(c.hasPassword());
            QVERIFY(!c.tableExists(Connection::passwordTableName()));
            QVERIFY(!c.tableNames().contains(Connection::passwordTableName(), Qt::CaseInsensitive));
        }
        try {
            Connection c(file);
            QFAIL("opened without the password");
        } catch (const EngineError& error) {
            QCOMPARE(error.text(), QStringLiteral("不是有效的密码。"));
        }
        QVERIFY_THROWS_EXCEPTION(EngineError, Connection(file, QStringLiteral("S3CRET")));
        {
            Connection c(file, QStringLiteral("s3cret"));
            QCOMPARE(c.scalar(QStringLiteral("select count(*) from u")).toInt(), 3);
            c.removePassword();
        }
        Connection open(file);
        QVERIFY(!open.hasPassword());
        QVERIFY(sideFiles(file).isEmpty());
    }

    void attachReadsAnotherFileWithItsPassword() {
        const QString other = makeUnions(QStringLiteral("other.mdb"));
        {
            Connection o(other);
            o.setPassword(QStringLiteral("pw"));
        }
        Connection c(makeUnions(QStringLiteral("main.mdb")));
        QVERIFY_THROWS_EXCEPTION(EngineError, c.attach(other, QStringLiteral("src")));
        QVERIFY_THROWS_EXCEPTION(EngineError,
                                 c.attach(other, QStringLiteral("src"), QStringLiteral("wrong")));
        // A failed attach leaves nothing attached.
        QVERIFY_THROWS_EXCEPTION(EngineError, c.execute(QStringLiteral("select * from src.u")));
        {
            Attachment src(c, other, QStringLiteral("src"), QStringLiteral("pw"));
            QCOMPARE(c.scalar(QStringLiteral("select count(*) from src.u")).toInt(), 3);
            QVERIFY(c.tableExists(QStringLiteral("U"), QStringLiteral("src")));
        }
        QVERIFY_THROWS_EXCEPTION(EngineError, c.execute(QStringLiteral("select * from src.u")));

        // Attaching a missing file must not create it; bad aliases are refused.
        const QString missing = path(QStringLiteral("nothere.mdb"));
        QVERIFY_THROWS_EXCEPTION(EngineError, c.attach(missing, QStringLiteral("x")));
        QVERIFY(!QFile::exists(missing));
        QVERIFY_THROWS_EXCEPTION(EngineError,
                                 c.attach(other, QStringLiteral("a; drop table u"), QStringLiteral("pw")));

        // Not inside a transaction.
        Transaction t(c);
        QVERIFY_THROWS_EXCEPTION(EngineError, c.attach(other, QStringLiteral("src"), QStringLiteral("pw")));
    }

    void tableExistsIgnoresCase() {
        Connection c(makeUnions(QStringLiteral("tables.mdb")));
        c.executeScript(QStringLiteral("create table CT_Group (id integer); create view v as select 1"));
        QVERIFY(c.tableExists(QStringLiteral("ct_group")));
        QVERIFY(c.tableExists(QStringLiteral("CT_GROUP")));
        QVERIFY(!c.tableExists(QStringLiteral("v"))); // views are not tables
        QVERIFY(!c.tableExists(QStringLiteral("sqlite_master")));
    }

    void intRoundsDownAndKeepsNull() {
        Connection c(makeUnions(QStringLiteral("int.mdb")));
        QCOMPARE(c.scalar(QStringLiteral("select int(3.7)")).toLongLong(), 3);
        QCOMPARE(c.scalar(QStringLiteral("select int(-1.5)")).toLongLong(), -2);
        QCOMPARE(c.scalar(QStringLiteral("select int(7/2)")).toLongLong(), 3);
        QCOMPARE(c.scalar(QStringLiteral("select int(5)")).toLongLong(), 5);
        QVERIFY(c.scalar(QStringLiteral("select int(null)")).isNull());
        QCOMPARE(c.scalar(QStringLiteral("select iif(1>0, 'y', 'n')")).toString(), QStringLiteral("y"));
        QCOMPARE(c.scalar(QStringLiteral("select true")).toInt(), 1);
    }

    void wholeNumbersReadInBulkEqualThoseReadOneByOne() {
        Connection c(makeUnions(QStringLiteral("bulk.mdb")));
        Statement row(c, QStringLiteral("select 5, null, 2.5, -2.5, ' 12 ', 'x', 9007199254740993, 7"));
        QVERIFY(row.step());
        std::vector<qint64> bulk{-1};
        row.appendIntegers(1, 6, bulk);
        std::vector<qint64> single{-1};
        for (int column = 1; column < 7; ++column)
            single.push_back(row.integer(column));
        QCOMPARE(bulk, single);
        QCOMPARE(bulk, (std::vector<qint64>{-1, 0, 3, -3, 12, 0, 9007199254740993}));
    }

    void codesReadExactlyHoweverTheyAreStored() {
        Connection c(makeUnions(QStringLiteral("codes.mdb")));
        // c901 is DOUBLE: a code bound as a whole number is stored as REAL, as in every older file.
        c.execute(QStringLiteral("insert into u (c901) values (?1)"), {qint64(659004499999)});
        QCOMPARE(c.scalar(QStringLiteral("select typeof(c901) from u where c901=659004499999")).toString(),
                 QStringLiteral("real"));
        Statement row(c,
                      QStringLiteral("select c901, 9007199254740993, ' 110101000001 ', '1.1e11', null, '', "
                                     "2.5, 'x', 1e300 from u where c901=?1"));
        row.bindInt64(1, 659004499999);
        QVERIFY(row.step());
        QCOMPARE(row.code(0), std::optional<UnionCode>(659004499999));
        QCOMPARE(row.code(1), std::optional<UnionCode>(9007199254740993)); // past a double's exact range
        QCOMPARE(row.code(2), std::optional<UnionCode>(110101000001));
        QCOMPARE(row.code(3), std::optional<UnionCode>(110000000000));
        // Nothing that is not a whole number is taken for a code.
        for (int column = 4; column < 9; ++column)
            QVERIFY2(!row.code(column), qPrintable(row.text(column)));
        QCOMPARE(codeOf(QVariant(110101000001.0)), std::optional<UnionCode>(110101000001));

        // Range ends read as the summary's CAST AS INTEGER does.
        QCOMPARE(codeBoundaryOf(QVariant(659004499999.0)), 659004499999);
        QCOMPARE(codeBoundaryOf(QVariant(2.9)), 2);
        QCOMPARE(codeBoundaryOf(QVariant(-2.9)), -2);
        QCOMPARE(codeBoundaryOf(QVariant()), 0);
    }

    void typedCodesKeepTheirAcceptance() {
        QCOMPARE(unionCodeOfText(QStringLiteral(" 659004499999 ")), 659004499999);
        QCOMPARE(unionCodeOfText(QStringLiteral("000000000007")), 7);
        // Blank and unreadable text read as 0, which every caller refuses as "no code".
        QCOMPARE(unionCodeOfText(QString()), 0);
        QCOMPARE(unionCodeOfText(QStringLiteral("abc")), 0);
        // Digits past 64 bits keep comparing with every code as the typed number would.
        QCOMPARE(unionCodeOfText(QStringLiteral("99999999999999999999")),
                 std::numeric_limits<UnionCode>::max());
        QCOMPARE(unionCodeOfText(QStringLiteral("-99999999999999999999")),
                 std::numeric_limits<UnionCode>::min());
        // The code's text is what the engine's general format made of it.
        for (UnionCode code : {SmallestUnionCode, UnionCode(659004499999), LargestUnionCode})
            QCOMPARE(unionCodeText(code), formatGeneral(double(code)));
    }

    void compactionWritesACopyAndLeavesNoSideFiles() {
        const QString file = makeUnions(QStringLiteral("big.mdb"));
        const QString target = path(QStringLiteral("compact.mdb"));
        {
            Connection c(file);
            c.executeScript(QStringLiteral("create table filler (x blob)"));
            for (int i = 0; i < 200; ++i)
                c.execute(QStringLiteral("insert into filler values (zeroblob(4000))"));
            c.execute(QStringLiteral("delete from filler"));
            c.compactInto(target);
            QVERIFY_THROWS_EXCEPTION(EngineError, c.compactInto(target)); // the target must not exist
        }
        QVERIFY(QFileInfo(target).size() < QFileInfo(file).size());
        Connection copy(target);
        QCOMPARE(copy.scalar(QStringLiteral("select count(*) from u")).toInt(), 3);
        QVERIFY(sideFiles(file).isEmpty());
    }

    void walFilesAreSwitchedBackToRollbackJournal() {
        const QString file = makeUnions(QStringLiteral("wal.mdb"));
        {
            Connection c(file);
            c.executeScript(QStringLiteral("pragma journal_mode=wal"));
        }
        {
            Connection c(file);
            QCOMPARE(c.scalar(QStringLiteral("pragma journal_mode")).toString(), QStringLiteral("delete"));
            c.execute(QStringLiteral("delete from u where c901=100000000001"));
        }
        QVERIFY(sideFiles(file).isEmpty());
    }

    void valuesFormatLikeTheEngineText() {
        QCOMPARE(formatGeneral(100000000001.0), QStringLiteral("100000000001"));
        QCOMPARE(formatGeneral(0.5), QStringLiteral("0.5"));
        QCOMPARE(formatGeneral(-2.25), QStringLiteral("-2.25"));
        QCOMPARE(formatGeneral(1.0 / 3.0), QStringLiteral("0.333333333333333"));
        QCOMPARE(formatGeneral(123456789012345.0), QStringLiteral("123456789012345"));
        QCOMPARE(formatGeneral(1234567890123456.0), QStringLiteral("1.23456789012346E+15"));
        QCOMPARE(formatGeneral(0.000001), QStringLiteral("1E-6"));
        QCOMPARE(formatGeneral(0.00001), QStringLiteral("0.00001"));
        QCOMPARE(formatGeneral(0.0), QStringLiteral("0"));
        QCOMPARE(textOf(QVariant()), QString());
        QCOMPARE(textOf(QVariant(qint64(42))), QStringLiteral("42"));
        QCOMPARE(integerOf(QVariant(QStringLiteral(" 12 "))), 12);
        QCOMPARE(integerOf(QVariant()), 0);
        QCOMPARE(columnSizeFromDeclaration(QStringLiteral("VARCHAR(3)")), 3);
        QCOMPARE(columnTypeFromDeclaration(QStringLiteral("BIGINT")), ColumnType::Integer);
    }
    // Writes started early on the engine's own file leave its locks alone: another process still
    // cannot write while the transaction is open, with the helper running and after it is gone;
    // and what is committed is whole.
    void writebackAheadKeepsTheEnginesLocks() {
        const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (sqlite3.isEmpty())
            QSKIP("needs the sqlite3 shell as the other process");
        const QString file = makeUnions(QStringLiteral("ahead.mdb"));
        const auto otherProcessWrites = [&] {
            QProcess other;
            other.start(sqlite3, {file, QStringLiteral("insert into u(z002) values (99)")});
            return other.waitForFinished(10000) && other.exitStatus() == QProcess::NormalExit &&
                   other.exitCode() == 0;
        };
        QVERIFY(otherProcessWrites()); // the shell can write when nothing holds the file

        Connection c(file);
        Transaction t(c);
        {
            const WritebackAhead writeback(c);
            QVERIFY(writeback.active());
            c.execute(QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from n "
                                     "where i<20000) insert into u(z002, b) select i, randomblob(300) "
                                     "from n"));
            std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the helper has run
            QVERIFY(!otherProcessWrites());
        }
        QVERIFY(!otherProcessWrites());
        t.commit();
        QCOMPARE(c.scalar(QStringLiteral("select count(*) from u")).toInt(), 3 + 1 + 20000);
        QCOMPARE(c.scalar(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
    }

    void aPersistentJournalLastsBetweenCommitsAndGoesWithItsScope() {
        const QString file = makeUnions(QStringLiteral("persist.mdb"));
        const QString journal = file + QStringLiteral("-journal");
        const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        Connection c(file);
        const auto mode = [&c] { return c.scalar(QStringLiteral("pragma main.journal_mode")).toString(); };
        {
            const ScopedPersistentJournal kept(c);
            QCOMPARE(mode(), QStringLiteral("persist"));
            for (int round = 0; round < 3; ++round) {
                Transaction t(c);
                c.execute(QStringLiteral("update u set z002 = z002 + 1"));
                t.commit();
                QVERIFY(QFileInfo::exists(journal));
                // Between commits the kept journal is no unfinished commit: another process writes
                // the file and its change stays.
                if (!sqlite3.isEmpty()) {
                    QProcess other;
                    other.start(sqlite3,
                                {file, QStringLiteral("insert into u(z002) values (%1)").arg(round)});
                    QVERIFY(other.waitForFinished(10000));
                    QCOMPARE(other.exitCode(), 0);
                }
            }
        }
        QCOMPARE(mode(), QStringLiteral("delete"));
        QVERIFY(!QFileInfo::exists(journal));
        QCOMPARE(c.scalar(QStringLiteral("select count(*) from u")).toInt(), sqlite3.isEmpty() ? 3 : 6);
        QCOMPARE(c.scalar(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));

        // Another mode is left as it is.
        c.scalar(QStringLiteral("pragma main.journal_mode=truncate"));
        {
            const ScopedPersistentJournal kept(c);
            QCOMPARE(mode(), QStringLiteral("truncate"));
        }
        QCOMPARE(mode(), QStringLiteral("truncate"));
    }

    // Packed values are those the columns give one by one, over more columns than one call takes;
    // a row with any value of another kind is left to be read column by column.
    void packedWholeNumbersAreTheColumnsValues() {
        Connection c(makeUnions(QStringLiteral("pack.db")));
        constexpr int Width = 150;
        QStringList columns, calls;
        for (int i = 0; i < Width; ++i)
            columns << QStringLiteral("v%1").arg(i);
        c.execute(QStringLiteral("create table w(%1)").arg(columns.join(QLatin1Char(','))));
        const auto addRow = [&](const QString& odd) {
            QStringList values;
            for (int i = 0; i < Width; ++i)
                values << (i == 0 ? QStringLiteral("null")
                                  : QString::number((i % 2 ? -1 : 1) * (qint64(1) << (i % 63))));
            if (!odd.isEmpty())
                values[Width - 1] = odd;
            c.execute(QStringLiteral("insert into w values (%1)").arg(values.join(QLatin1Char(','))));
        };
        addRow({});
        for (const QString& odd : {QStringLiteral("2.5"), QStringLiteral("'x'"), QStringLiteral("x'00'")})
            addRow(odd);
        const WholeNumberPack pack(c);
        const QStringList packed = WholeNumberPack::calls(columns);
        QCOMPARE(packed.size(), 2);
        Statement read(c, QStringLiteral("select %1, %2 from w order by rowid")
                              .arg(packed.join(QLatin1Char(',')), columns.join(QLatin1Char(','))));
        std::vector<qint64> fromPack(Width), oneByOne(Width);
        QVERIFY(read.step());
        QVERIFY(WholeNumberPack::unpack(read, 0, Width, fromPack.data(), 1));
        QVERIFY(read.integersInto(2, Width, oneByOne.data(), 1));
        QCOMPARE(fromPack, oneByOne);
        QCOMPARE(fromPack[0], qint64(0));
        QCOMPARE(fromPack[Width - 1], -(qint64(1) << ((Width - 1) % 63)));
        for (int odd = 0; odd < 3; ++odd) {
            QVERIFY(read.step());
            QVERIFY(!WholeNumberPack::unpack(read, 0, Width, fromPack.data(), 1));
        }
        QVERIFY(!read.step());
    }

    void progressHandlerRunsDuringLongStatementsAndGuardsTheConnection() {
        Connection c(makeUnions(QStringLiteral("progress.db")));
        const QString longCount =
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 200000) "
                           "select count(*) from n");
        int calls = 0;
        bool refused = false;
        {
            ProgressHandler handler(c, 1000, [&] {
                ++calls;
                // The engine forbids using the connection from inside its own callback.
                try {
                    c.scalar(QStringLiteral("select count(*) from u"));
                } catch (const EngineError&) {
                    refused = true;
                }
                QVERIFY_THROWS_EXCEPTION(EngineError, c.executeScript(QStringLiteral("select 1")));
            });
            QCOMPARE(c.scalar(longCount).toInt(), 200000);
            QVERIFY(calls > 10);
            QVERIFY(refused);
        }
        // Gone with its scope: no more calls, and the connection serves statements again.
        const int before = calls;
        QCOMPARE(c.scalar(longCount).toInt(), 200000);
        QCOMPARE(calls, before);
        QCOMPARE(c.scalar(QStringLiteral("select count(*) from u")).toInt(), 3);

        // A failing callback stops the statement with an engine error instead of crossing the engine.
        {
            ProgressHandler handler(c, 1000, [] { throw Error(QStringLiteral("stop")); });
            QVERIFY_THROWS_EXCEPTION(EngineError, c.scalar(longCount));
        }
        QCOMPARE(c.scalar(QStringLiteral("select count(*) from u")).toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
