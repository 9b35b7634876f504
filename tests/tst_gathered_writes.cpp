// test-kind: core
#include "app/engine/Connection.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvalis;

namespace {

// Runs SQL on a raw handle; the engine's text on failure.
QString run(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return {};
    const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return text.isEmpty() ? QStringLiteral("failed") : text;
}

sqlite3* open(const QString& path, const char* vfs = nullptr) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                    vfs);
    return db;
}

qint64 single(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    const qint64 value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return value;
}

bool intact(sqlite3* db) {
    return single(db, "select count(*) from pragma_integrity_check where integrity_check = 'ok'") == 1;
}

QByteArray digestOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

// Ends the process in the middle of a statement, as a crash would: nothing is closed or handed over.
void endAbruptly(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_int64(argv[0]) == 700)
        _exit(0);
    sqlite3_result_value(context, argv[0]);
}

// A table of a few hundred pages, each row with a running number and a filler.
const char* const MakeRows = "create table t(n integer primary key, v integer, pad text);"
                             "with recursive s(n) as (select 1 union all select n + 1 from s where n < 3000) "
                             "insert into t select n, n, printf('%0400d', n) from s;";

} // namespace

class GatheredWritesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The program's own opening installs the layer.
    void openAnyConnection() {
        const QString file = path(QStringLiteral("any.mdb"));
        if (!QFile::exists(file))
            engine::Connection::createDatabase(file);
        engine::Connection c(file);
    }

    // Sum of v over all rows: tells the states below apart.
    static qint64 total(sqlite3* db) { return single(db, "select sum(v) from t"); }

    // A new file of rows; returns their total.
    static qint64 makeRowsIn(const QString& file) {
        QFile::remove(file);
        sqlite3* db = open(file);
        const bool made = run(db, MakeRows).isEmpty();
        const qint64 sum = total(db);
        sqlite3_close(db);
        return made ? sum : -1;
    }

    // In a child: the system refuses to write past this many bytes of any file, as it does on a full
    // disk, instead of ending the process.
    static void limitFilesTo(qint64 bytes) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }

    // Runs work in a child process and returns its exit status.
    template <typename Work> static int inChild(Work work) {
        const pid_t child = fork();
        if (child == 0) {
            work();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        openAnyConnection();
        QCOMPARE(QByteArray(sqlite3_vfs_find(nullptr)->zName), QByteArray("corvalis-gathered"));
    }

    // The same work through the layer and straight through the system's layer leaves the same file:
    // long runs of pages, a transaction rolled back and a savepoint undone (both read the journal
    // back), a page cache small enough to write pages before the commit, each journal mode, a
    // write-ahead log, and a file rebuilt by vacuum.
    void theFileIsTheSameAsWrittenStraight() {
        const char* const work[] = {"pragma page_size=4096",
                                    "pragma cache_size=8",
                                    MakeRows,
                                    "pragma journal_mode=persist",
                                    "update t set v = v * 2",
                                    "update t set pad = 'x' where n % 3 = 0",
                                    "begin",
                                    "update t set v = 0",
                                    "rollback",
                                    "begin",
                                    "update t set v = v + 1",
                                    "savepoint s",
                                    "delete from t where n > 1000",
                                    "rollback to s",
                                    "release s",
                                    "commit",
                                    "pragma journal_mode=truncate",
                                    "delete from t where n % 7 = 0",
                                    "pragma journal_mode=wal",
                                    "insert into t select n + 5000, n, pad from t where n < 500",
                                    "pragma wal_checkpoint(truncate)",
                                    "pragma journal_mode=delete",
                                    "update t set pad = printf('%0300d', v)",
                                    "vacuum"};
        const QString gathered = path(QStringLiteral("gathered.db"));
        const QString straight = path(QStringLiteral("straight.db"));
        for (const auto& [file, vfs] :
             {std::pair{gathered, static_cast<const char*>(nullptr)}, std::pair{straight, "unix"}}) {
            sqlite3* db = open(file, vfs);
            QVERIFY(db);
            for (const char* sql : work)
                QCOMPARE(run(db, sql), QString());
            QVERIFY(intact(db));
            sqlite3_close(db);
        }
        QCOMPARE(digestOf(gathered), digestOf(straight));
    }

    // A process that ends abruptly, even one that does not sync, leaves its last commit: never a
    // page without its old content in the journal, nor a commit undone by a journal left behind.
    void anAbruptEndLeavesTheLastCommit() {
        for (const char* mode : {"persist", "delete", "truncate"}) {
            const QString file = path(QStringLiteral("abrupt-%1.db").arg(QLatin1String(mode)));
            const qint64 first = makeRowsIn(file);
            QVERIFY(first > 0);

            const QByteArray setup =
                QByteArray("pragma synchronous=off; pragma cache_size=8; pragma journal_mode=") + mode;
            // Ends in the middle of an update whose pages already went to the file.
            QCOMPARE(inChild([&] {
                         sqlite3* child = open(file);
                         sqlite3_create_function(child, "end_at", 1, SQLITE_UTF8, nullptr, endAbruptly,
                                                 nullptr, nullptr);
                         run(child, setup.constData());
                         run(child, "update t set v = end_at(n) * 3");
                         _exit(3);
                     }),
                     0);
            sqlite3* db = open(file);
            QCOMPARE(total(db), first);
            QVERIFY(intact(db));
            sqlite3_close(db);

            // Ends right after a commit, before anything else is said to the files.
            QCOMPARE(inChild([&] {
                         sqlite3* child = open(file);
                         run(child, setup.constData());
                         if (!run(child, "update t set v = v * 5").isEmpty())
                             _exit(3);
                         _exit(0);
                     }),
                     0);
            db = open(file);
            QCOMPARE(total(db), first * 5);
            QVERIFY(intact(db));
            sqlite3_close(db);
        }
    }

    // A journal write the system refuses fails the transaction it belongs to, even when it goes out
    // later than the engine made it; the file keeps its last commit, and the connection works on.
    void aRefusedJournalWriteFailsItsTransaction() {
        const QString file = path(QStringLiteral("refused-journal.db"));
        const qint64 first = makeRowsIn(file);
        QVERIFY(first > 0);
        const qint64 size = QFileInfo(file).size();

        for (const char* sync : {"full", "off"}) {
            const int status = inChild([&] {
                sqlite3* child = open(file);
                run(child,
                    (QByteArray("pragma synchronous=") + sync + "; pragma journal_mode=persist").constData());
                // The journal of an update of every page outgrows half the file.
                limitFilesTo(size / 2);
                if (run(child, "update t set v = -v").isEmpty())
                    _exit(3); // the refused write went unnoticed
                run(child, "rollback");
                // A change small enough for the limit goes through on the same connection.
                if (!run(child, "update t set v = 0 where n = 1").isEmpty())
                    _exit(4);
                sqlite3_close(child);
                _exit(0);
            });
            QCOMPARE(status, 0);
            sqlite3* db = open(file);
            QVERIFY(intact(db));
            QCOMPARE(total(db), first - 1);
            QCOMPARE(run(db, "update t set v = 1 where n = 1"), QString());
            sqlite3_close(db);
        }
    }

    // Without syncs, only the layer itself hands the last pages of a commit over before the journal
    // marks the commit done. When the system refuses them, the commit must fail, and the file, once
    // opened again, holds the commit before it.
    void aRefusedLastDatabaseWriteFailsTheCommit() {
        const QString file = path(QStringLiteral("refused-database.db"));
        const qint64 first = makeRowsIn(file);
        QVERIFY(first > 0);
        const qint64 size = QFileInfo(file).size();

        for (const char* mode : {"persist", "delete", "truncate"}) {
            const int status = inChild([&] {
                sqlite3* child = open(file);
                run(child, (QByteArray("pragma synchronous=off; pragma journal_mode=") + mode).constData());
                // New rows need pages past the first one beyond the file's end.
                limitFilesTo(size + 4096);
                _exit(run(child, "insert into t select n + 5000, n, pad from t where n <= 40").isEmpty() ? 3
                                                                                                         : 0);
            });
            QCOMPARE(status, 0);
            sqlite3* db = open(file);
            QVERIFY(intact(db));
            QCOMPARE(total(db), first);
            QCOMPARE(single(db, "select count(*) from t"), qint64(3000));
            sqlite3_close(db);
        }
    }

    // A late write that fails where the engine would not heed it (here, a hint that a sync was left
    // out) leaves its file failing every use until it closes, and no journal is deleted meanwhile.
    void aLateWriteThatFailsUnheededBreaksItsFile() {
        const QString name = path(QStringLiteral("late.db"));
        QFile::remove(name);
        sqlite3_vfs* layer = sqlite3_vfs_find(nullptr);
        const int status = inChild([&] {
            std::vector<char> memory(size_t(layer->szOsFile));
            auto* file = reinterpret_cast<sqlite3_file*>(memory.data());
            const QByteArray encoded = QFile::encodeName(name);
            int flags = 0;
            if (layer->xOpen(layer, encoded.constData(), file,
                             SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             &flags) != SQLITE_OK)
                _exit(3);
            const std::vector<char> page(4096, 'x');
            limitFilesTo(4096);
            // Two pages gathered: the second lies past the limit, which only the hand-over finds.
            for (int i = 0; i < 2; ++i)
                if (file->pMethods->xWrite(file, page.data(), 4096, i * 4096) != SQLITE_OK)
                    _exit(4);
            int unused = 0;
            if (file->pMethods->xFileControl(file, SQLITE_FCNTL_SYNC_OMITTED, &unused) == SQLITE_OK)
                _exit(5);
            std::vector<char> back(4096);
            if (file->pMethods->xRead(file, back.data(), 4096, 0) == SQLITE_OK ||
                file->pMethods->xSync(file, SQLITE_SYNC_NORMAL) == SQLITE_OK ||
                file->pMethods->xWrite(file, page.data(), 100, 0) == SQLITE_OK)
                _exit(6);
            const QByteArray other = QFile::encodeName(path(QStringLiteral("other-journal")));
            QFile(path(QStringLiteral("other-journal"))).open(QIODevice::WriteOnly);
            if (layer->xDelete(layer, other.constData(), 0) == SQLITE_OK)
                _exit(7);
            file->pMethods->xClose(file);
            _exit(layer->xDelete(layer, other.constData(), 0) == SQLITE_OK ? 0 : 8);
        });
        QCOMPARE(status, 0);
    }
};

QTEST_GUILESS_MAIN(GatheredWritesTest)
#include "tst_gathered_writes.moc"
