#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <memory>

struct sqlite3;

namespace corvalis::engine {

class RowSet;

struct ConnectionCloser {
    void operator()(sqlite3* db) const noexcept;
};

// One open database file. Every database file of the program is an SQLite file in rollback-journal
// mode, so a closed file is complete in itself. A file may carry a password: an access check kept in
// a table of this layer, which connecting without the right password fails.
class Connection {
public:
    Connection() = default;
    // Opens an existing file; throws EngineError when it is missing, not a database, or protected
    // by a password other than the one given.
    explicit Connection(const QString& path, const QString& password = QString());
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    ~Connection();

    void open(const QString& path, const QString& password = QString());
    void close() noexcept;
    bool isOpen() const { return bool(m_db); }
    const QString& path() const { return m_path; }
    sqlite3* handle() const { return m_db.get(); }
    // True while a ProgressHandler's function runs in the middle of a statement: no statement may
    // be prepared or run on the connection then.
    bool isInsideCallback() const { return m_insideCallback; }

    // Runs one statement with bound parameters; returns the number of rows changed.
    qint64 execute(const QString& sql, const QVariantList& params = {});
    qint64 execute(const QString& sql, const QVariantMap& params);
    // Runs several statements separated by ";" (schema scripts); no parameters.
    void executeScript(const QString& sql);
    // The first column of the first row, or null when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    RowSet query(const QString& sql, const QVariantList& params = {});
    qint64 lastInsertId() const;

    // Transactions nest: an inner begin becomes a savepoint.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_depth > 0; }

    // Makes the tables of another file readable as alias.table. The file must exist and, when it
    // is protected, the password must match. Not allowed inside a transaction.
    void attach(const QString& path, const QString& alias, const QString& password = QString());
    void detach(const QString& alias);

    // Whether the database (or an attached one) has a user table of that name, ignoring case.
    bool tableExists(const QString& name, const QString& schema = QStringLiteral("main")) const;
    QStringList tableNames(const QString& schema = QStringLiteral("main")) const;

    bool hasPassword() const;
    void setPassword(const QString& password);
    void removePassword();

    // Creates a new, empty database file; fails when the file exists.
    static void createDatabase(const QString& path);
    // Writes a compacted copy of an open database to a file that must not exist yet.
    void compactInto(const QString& target);

    // Takes the file's exclusive lock and keeps it until the connection closes: no other connection
    // or process can read or write the file meanwhile. Waits the busy timeout for others to finish.
    void holdExclusively();
    // Replaces the whole content of the open database by that of another database file, page by
    // page through the engine in one transaction: connections of other processes see the new
    // content, and a failure leaves the old one.
    void replaceContentsFrom(const QString& sourcePath);

    // A second connection to the same file, for reading on another thread while this one writes.
    // It is read-only, and the password is not asked again: this connection proved it on opening.
    // For an attached schema, the twin opens that schema's file as its main database.
    Connection openReadOnlyTwin(const QString& schema = QStringLiteral("main")) const;
    // Makes the statement that runs on this connection, on another thread, fail as interrupted.
    void interrupt() const noexcept;

    // The name of the table that holds a file's password check.
    static QString passwordTableName();

private:
    void checkPassword(const QString& schema, const QString& password);
    void configure();
    void configureHandle();

    std::unique_ptr<sqlite3, ConnectionCloser> m_db;
    QString m_path;
    int m_depth = 0;
    bool m_insideCallback = false;

    friend class ProgressHandler;
};

// A table or column name as SQL text: in double quotes, with a quote inside doubled.
QString quotedIdentifier(const QString& name);

// The affinity the engine gives a column so declared, by its own rule: "integer", "text", "blob",
// "real" or "numeric".
QString columnAffinity(const QString& declared);

// Gives a connection a bigger page cache for the length of a bulk job, and restores the old size.
class ScopedCacheSize {
public:
    // Spill::Never keeps a transaction's changed pages in memory until its commit even past the
    // size, so that the file is not locked against readers before then.
    enum class Spill { AsNeeded, Never };
    ScopedCacheSize(Connection& connection, int kibibytes, Spill spill = Spill::AsNeeded);
    ~ScopedCacheSize();
    ScopedCacheSize(const ScopedCacheSize&) = delete;
    ScopedCacheSize& operator=(const ScopedCacheSize&) = delete;

private:
    Connection& m_connection;
    qint64 m_previous;
    qint64 m_previousSpill = -1; // -1 when the spill setting was left alone
};

// Keeps the main database's rollback journal from one transaction to the next while in scope: each
// commit clears its header instead of deleting the file, so that a job committing many times does not
// make and delete a file each time. The journal is deleted, and the old mode restored, at the end.
// A database in another journal mode is left as it is.
class ScopedPersistentJournal {
public:
    explicit ScopedPersistentJournal(Connection& connection);
    ~ScopedPersistentJournal();
    ScopedPersistentJournal(const ScopedPersistentJournal&) = delete;
    ScopedPersistentJournal& operator=(const ScopedPersistentJournal&) = delete;

private:
    Connection& m_connection;
    bool m_switched = false;
};

// Begins a transaction and rolls it back when it goes out of scope without commit().
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    void rollback();

private:
    Connection& m_connection;
    bool m_open = true;
};

// Attaches another file for the length of a scope.
class Attachment {
public:
    Attachment(Connection& connection, const QString& path, const QString& alias,
               const QString& password = QString());
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    const QString& alias() const { return m_alias; }

private:
    Connection& m_connection;
    QString m_alias;
};

} // namespace corvalis::engine
