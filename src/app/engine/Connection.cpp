#include "Connection.h"

#include "../Errors.h"
#include "EngineFailure.h"
#include "GatheredWrites.h"
#include "RowSet.h"
#include "Statement.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <limits>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

namespace corvalis::engine {

namespace {

// Marks the files this program creates, so they can be told apart in a hex dump.
constexpr int ApplicationId = 0x43525653; // "CRVS"
constexpr int SaltSize = 16;

const QString& lockTable() {
    static const QString name = QStringLiteral("corvalis_engine_lock");
    return name;
}

QString invalidPasswordText() {
    return QStringLiteral("不是有效的密码。");
}

// int(x): the largest whole number not above x; null stays null.
void sqlInt(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_numeric_type(v)) {
    case SQLITE_INTEGER:
        sqlite3_result_int64(context, sqlite3_value_int64(v));
        return;
    case SQLITE_FLOAT: {
        const double floored = std::floor(sqlite3_value_double(v));
        if (floored >= -9.2e18 && floored <= 9.2e18)
            sqlite3_result_int64(context, sqlite3_int64(floored));
        else
            sqlite3_result_double(context, floored);
        return;
    }
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    default:
        sqlite3_result_int64(context, 0);
        return;
    }
}

// widesum(x): sum() without its "integer overflow": whole numbers add up exactly in 128 bits and stay
// whole while the total fits in 64; past that, or with any floating value, the total is floating.
__extension__ typedef __int128 WideWhole;
// SQLite's aggregate memory is aligned for 8 bytes only, so the 128-bit total is kept as bytes and
// copied in and out rather than accessed in place.
struct WideSum {
    unsigned char wholeBytes[sizeof(WideWhole)];
    double real;
    bool anyValue;
    bool anyReal;

    WideWhole whole() const {
        WideWhole value;
        std::memcpy(&value, wholeBytes, sizeof value);
        return value;
    }
    void setWhole(WideWhole value) { std::memcpy(wholeBytes, &value, sizeof value); }
};

void wideSumStep(sqlite3_context* context, int, sqlite3_value** argv) {
    auto* sum = static_cast<WideSum*>(sqlite3_aggregate_context(context, sizeof(WideSum)));
    if (!sum)
        return;
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_numeric_type(v)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER:
        sum->setWhole(sum->whole() + sqlite3_value_int64(v));
        break;
    default:
        sum->real += sqlite3_value_double(v);
        sum->anyReal = true;
        break;
    }
    sum->anyValue = true;
}

void wideSumFinal(sqlite3_context* context) {
    auto* sum = static_cast<WideSum*>(sqlite3_aggregate_context(context, 0));
    if (!sum || !sum->anyValue) {
        sqlite3_result_null(context);
        return;
    }
    const WideWhole whole = sum->whole();
    const bool fits = whole >= std::numeric_limits<sqlite3_int64>::min() &&
                      whole <= std::numeric_limits<sqlite3_int64>::max();
    if (!sum->anyReal && fits)
        sqlite3_result_int64(context, sqlite3_int64(whole));
    else
        sqlite3_result_double(context, double(whole) + sum->real);
}

QByteArray digestOf(const QByteArray& salt, const QString& password) {
    const QByteArray input = salt + password.toUtf8();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.constData(), size_t(input.size()), out, &length, EVP_sha256(), nullptr) != 1)
        throw EngineError(QStringLiteral("无法计算密码摘要。"));
    return QByteArray(reinterpret_cast<const char*>(out), int(length));
}

bool isIdentifier(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

// SQLite's memory statistics take a global lock on every allocation; nothing here reads them.
// This must run before the library starts, so it is done once, before the first file is opened.
void configureLibraryOnce() {
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        gatherEngineWrites();
        return true;
    }();
    (void)configured;
}

// Opens a file with SQLite; every connection of the program is used by one thread at a time, so
// SQLite's own locking is left out. Raises EngineError with the engine's text.
std::unique_ptr<sqlite3, ConnectionCloser> openHandle(const QString& path, int flags) {
    configureLibraryOnce();
    sqlite3* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(name.constData(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, ConnectionCloser> db(raw);
    if (rc != SQLITE_OK)
        throw EngineError(engineFailureText(raw, rc), rc);
    return db;
}

} // namespace

void ConnectionCloser::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

QString Connection::passwordTableName() {
    return lockTable();
}

Connection::Connection(const QString& path, const QString& password) {
    open(path, password);
}

Connection::Connection(Connection&& other) noexcept
    : m_db(std::move(other.m_db)), m_path(std::move(other.m_path)), m_depth(other.m_depth) {
    other.m_depth = 0;
}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        close();
        m_db = std::move(other.m_db);
        m_path = std::move(other.m_path);
        m_depth = other.m_depth;
        other.m_depth = 0;
    }
    return *this;
}

Connection::~Connection() {
    close();
}

void Connection::open(const QString& path, const QString& password) {
    close();
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw EngineError(QStringLiteral("找不到文件“%1”。").arg(path), SQLITE_CANTOPEN);
    std::unique_ptr<sqlite3, ConnectionCloser> db = openHandle(path, SQLITE_OPEN_READWRITE);
    m_db = std::move(db);
    m_path = path;
    m_depth = 0;
    try {
        configure();
        checkPassword(QStringLiteral("main"), password);
    } catch (...) {
        close();
        throw;
    }
}

void Connection::configureHandle() {
    sqlite3* db = m_db.get();
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    sqlite3_create_function_v2(db, "int", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, sqlInt, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(db, "widesum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                               wideSumStep, wideSumFinal, nullptr);
}

Connection Connection::openReadOnlyTwin(const QString& schema) const {
    if (!m_db)
        throw EngineError(QStringLiteral("数据库没有打开。"));
    const char* file = sqlite3_db_filename(m_db.get(), schema.toUtf8().constData());
    if (!file || !*file)
        throw EngineError(QStringLiteral("数据库“%1”没有附加。").arg(schema));
    const QString path = schema == QLatin1String("main") ? m_path : QString::fromUtf8(file);
    Connection twin;
    twin.m_db = openHandle(path, SQLITE_OPEN_READONLY);
    twin.m_path = path;
    twin.configureHandle();
    return twin;
}

void Connection::interrupt() const noexcept {
    if (m_db)
        sqlite3_interrupt(m_db.get());
}

void Connection::configure() {
    configureHandle();
    // Reading the schema proves the file is a database ("file is not a database" otherwise).
    scalar(QStringLiteral("select count(*) from sqlite_master"));
    // Files arriving in WAL mode are switched back, so a closed file never needs a side file.
    const QString mode = scalar(QStringLiteral("pragma journal_mode")).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
        try {
            executeScript(QStringLiteral("pragma journal_mode=delete"));
        } catch (const EngineError&) {
            // A read-only file keeps its mode; it is only read.
        }
    }
}

void Connection::close() noexcept {
    m_db.reset();
    m_depth = 0;
}

qint64 Connection::execute(const QString& sql, const QVariantList& params) {
    Statement statement(*this, sql);
    statement.bindAll(params);
    return statement.run();
}

qint64 Connection::execute(const QString& sql, const QVariantMap& params) {
    Statement statement(*this, sql);
    statement.bindAll(params);
    return statement.run();
}

void Connection::executeScript(const QString& sql) {
    if (!m_db)
        throw EngineError(QStringLiteral("数据库连接没有打开。"));
    if (m_insideCallback)
        throw EngineError(QString::fromUtf8(sqlite3_errstr(SQLITE_BUSY)), SQLITE_BUSY);
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db.get(), sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(m_db.get());
        const QString message = isEnvironmentFailure(rc) || !error ? engineFailureText(m_db.get(), code)
                                                                   : QString::fromUtf8(error);
        sqlite3_free(error);
        throw EngineError(message, code);
    }
}

QVariant Connection::scalar(const QString& sql, const QVariantList& params) {
    Statement statement(*this, sql);
    statement.bindAll(params);
    if (!statement.step())
        return QVariant();
    return statement.value(0);
}

RowSet Connection::query(const QString& sql, const QVariantList& params) {
    return RowSet(*this, sql, params);
}

qint64 Connection::lastInsertId() const {
    return m_db ? sqlite3_last_insert_rowid(m_db.get()) : 0;
}

void Connection::begin() {
    // A writer takes its write lock at once: a deferred transaction that reads first could not wait
    // for another writer and would fail as busy at once, without the busy timeout.
    if (m_depth == 0)
        executeScript(sqlite3_db_readonly(m_db.get(), "main") == 1 ? QStringLiteral("begin")
                                                                   : QStringLiteral("begin immediate"));
    else
        executeScript(QStringLiteral("savepoint level%1").arg(m_depth));
    ++m_depth;
}

void Connection::commit() {
    if (m_depth == 0)
        throw EngineError(QStringLiteral("没有活动的事务。"));
    if (m_depth == 1)
        executeScript(QStringLiteral("commit"));
    else
        executeScript(QStringLiteral("release level%1").arg(m_depth - 1));
    --m_depth;
}

void Connection::rollback() {
    if (m_depth == 0)
        throw EngineError(QStringLiteral("没有活动的事务。"));
    --m_depth;
    if (m_depth == 0) {
        // A failed statement may already have ended the transaction; that is not an error here.
        if (!sqlite3_get_autocommit(m_db.get()))
            executeScript(QStringLiteral("rollback"));
    } else {
        executeScript(QStringLiteral("rollback to level%1; release level%1").arg(m_depth));
    }
}

void Connection::attach(const QString& path, const QString& alias, const QString& password) {
    if (!isIdentifier(alias))
        throw EngineError(QStringLiteral("无效的数据库别名：%1").arg(alias));
    if (m_depth > 0)
        throw EngineError(QStringLiteral("不能在事务中附加数据库。"));
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw EngineError(QStringLiteral("找不到文件“%1”。").arg(path), SQLITE_CANTOPEN);
    execute(QStringLiteral("attach database ?1 as %1").arg(alias), {path});
    try {
        scalar(QStringLiteral("select count(*) from %1.sqlite_master").arg(alias));
        checkPassword(alias, password);
    } catch (...) {
        try {
            detach(alias);
        } catch (const EngineError&) {
        }
        throw;
    }
}

void Connection::detach(const QString& alias) {
    if (!isIdentifier(alias))
        throw EngineError(QStringLiteral("无效的数据库别名：%1").arg(alias));
    executeScript(QStringLiteral("detach database %1").arg(alias));
}

bool Connection::tableExists(const QString& name, const QString& schema) const {
    const QStringList names = tableNames(schema);
    for (const QString& table : names)
        if (table.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QStringList Connection::tableNames(const QString& schema) const {
    if (!isIdentifier(schema))
        throw EngineError(QStringLiteral("无效的数据库别名：%1").arg(schema));
    Statement statement(
        const_cast<Connection&>(*this),
        QStringLiteral("select name from %1.sqlite_master where type='table' "
                       "and name not like 'sqlite\\_%' escape '\\' and name <> ?1 order by name")
            .arg(schema));
    statement.bind(1, lockTable());
    QStringList names;
    while (statement.step())
        names << statement.text(0);
    return names;
}

void Connection::checkPassword(const QString& schema, const QString& password) {
    const QVariant present = scalar(
        QStringLiteral("select count(*) from %1.sqlite_master where type='table' and name=?1").arg(schema),
        {lockTable()});
    if (present.toLongLong() == 0)
        return;
    Statement statement(*this, QStringLiteral("select salt, digest from %1.%2").arg(schema, lockTable()));
    if (!statement.step())
        return;
    const QByteArray salt = statement.value(0).toByteArray();
    const QByteArray digest = statement.value(1).toByteArray();
    if (digestOf(salt, password) != digest)
        throw EngineError(invalidPasswordText(), SQLITE_AUTH);
}

bool Connection::hasPassword() const {
    if (!m_db)
        return false;
    auto& self = const_cast<Connection&>(*this);
    if (self.scalar(QStringLiteral("select count(*) from sqlite_master where type='table' and name=?1"),
                    {lockTable()})
            .toLongLong() == 0)
        return false;
    return self.scalar(QStringLiteral("select count(*) from %1").arg(quotedIdentifier(lockTable())))
               .toLongLong() > 0;
}

void Connection::setPassword(const QString& password) {
    QByteArray salt(SaltSize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), SaltSize) != 1)
        throw EngineError(QStringLiteral("无法生成随机数。"));
    Transaction transaction(*this);
    executeScript(QStringLiteral("create table if not exists %1 (salt blob not null, digest blob not null)")
                      .arg(quotedIdentifier(lockTable())));
    execute(QStringLiteral("delete from %1").arg(quotedIdentifier(lockTable())));
    execute(
        QStringLiteral("insert into %1 (salt, digest) values (?1, ?2)").arg(quotedIdentifier(lockTable())),
        {salt, digestOf(salt, password)});
    transaction.commit();
}

void Connection::removePassword() {
    executeScript(QStringLiteral("drop table if exists %1").arg(quotedIdentifier(lockTable())));
}

void Connection::createDatabase(const QString& path) {
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("数据库“%1”已经存在。").arg(path));
    std::unique_ptr<sqlite3, ConnectionCloser> db =
        openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Writing the header makes the file a complete, empty database at once.
    char* error = nullptr;
    const QByteArray setup = QByteArray("pragma journal_mode=delete; pragma application_id=") +
                             QByteArray::number(ApplicationId) + ';';
    if (sqlite3_exec(db.get(), setup.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : "create failed");
        sqlite3_free(error);
        db.reset();
        QFile::remove(path);
        throw EngineError(message);
    }
}

void Connection::compactInto(const QString& target) {
    if (m_depth > 0)
        throw EngineError(QStringLiteral("不能在事务中压缩数据库。"));
    execute(QStringLiteral("vacuum into ?1"), {target});
}

void Connection::holdExclusively() {
    if (m_depth > 0)
        throw EngineError(QStringLiteral("不能在事务中独占数据库。"));
    // In exclusive locking mode the lock an exclusive transaction takes stays after its commit. The
    // mode is set only once the lock is had: set before, it would keep the shared lock of a failed
    // attempt, and the writer being waited for could never commit.
    executeScript(QStringLiteral("begin exclusive"));
    executeScript(QStringLiteral("pragma locking_mode=exclusive; commit"));
}

void Connection::replaceContentsFrom(const QString& sourcePath) {
    if (m_depth > 0)
        throw EngineError(QStringLiteral("不能在事务中替换数据库的内容。"));
    std::unique_ptr<sqlite3, ConnectionCloser> source = openHandle(sourcePath, SQLITE_OPEN_READONLY);
    sqlite3_backup* backup = sqlite3_backup_init(m_db.get(), "main", source.get(), "main");
    if (!backup)
        throw EngineError(engineFailureText(m_db.get(), sqlite3_extended_errcode(m_db.get())),
                          sqlite3_extended_errcode(m_db.get()));
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    const int rc = stepped == SQLITE_DONE ? finished : stepped;
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw EngineError(engineFailureText(m_db.get(), rc), rc);
}

ScopedCacheSize::ScopedCacheSize(Connection& connection, int kibibytes, Spill spill)
    : m_connection(connection),
      m_previous(connection.scalar(QStringLiteral("pragma cache_size")).toLongLong()) {
    if (spill == Spill::Never) {
        m_previousSpill = connection.scalar(QStringLiteral("pragma cache_spill")).toLongLong();
        m_connection.executeScript(QStringLiteral("pragma cache_spill=off"));
    }
    m_connection.executeScript(QStringLiteral("pragma cache_size=%1").arg(-qint64(kibibytes)));
}

ScopedCacheSize::~ScopedCacheSize() {
    try {
        m_connection.executeScript(QStringLiteral("pragma cache_size=%1").arg(m_previous));
        if (m_previousSpill >= 0)
            m_connection.executeScript(QStringLiteral("pragma cache_spill=%1").arg(m_previousSpill));
    } catch (const EngineError&) {
    }
}

ScopedPersistentJournal::ScopedPersistentJournal(Connection& connection) : m_connection(connection) {
    const QString deleteMode = QStringLiteral("delete");
    if (connection.scalar(QStringLiteral("pragma main.journal_mode")).toString() != deleteMode)
        return;
    m_switched =
        connection.scalar(QStringLiteral("pragma main.journal_mode=persist")).toString() != deleteMode;
}

ScopedPersistentJournal::~ScopedPersistentJournal() {
    if (!m_switched)
        return;
    try {
        m_connection.scalar(QStringLiteral("pragma main.journal_mode=delete"));
    } catch (const EngineError&) {
        // The journal stays with a cleared header, which no reader takes for an unfinished commit.
    }
}

Transaction::Transaction(Connection& connection) : m_connection(connection) {
    m_connection.begin();
}

Transaction::~Transaction() {
    if (m_open) {
        try {
            m_connection.rollback();
        } catch (const EngineError&) {
        }
    }
}

void Transaction::commit() {
    m_connection.commit();
    m_open = false;
}

void Transaction::rollback() {
    m_open = false;
    m_connection.rollback();
}

Attachment::Attachment(Connection& connection, const QString& path, const QString& alias,
                       const QString& password)
    : m_connection(connection), m_alias(alias) {
    m_connection.attach(path, alias, password);
}

Attachment::~Attachment() {
    try {
        m_connection.detach(m_alias);
    } catch (const EngineError&) {
    }
}

QString quotedIdentifier(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString columnAffinity(const QString& declared) {
    const QString type = declared.toUpper();
    const auto has = [&type](const char* word) { return type.contains(QLatin1String(word)); };
    if (has("INT"))
        return QStringLiteral("integer");
    if (has("CHAR") || has("CLOB") || has("TEXT"))
        return QStringLiteral("text");
    if (type.isEmpty() || has("BLOB"))
        return QStringLiteral("blob");
    if (has("REAL") || has("FLOA") || has("DOUB"))
        return QStringLiteral("real");
    return QStringLiteral("numeric");
}

} // namespace corvalis::engine
