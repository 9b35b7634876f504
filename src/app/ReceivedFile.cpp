#include "ReceivedFile.h"

#include "Errors.h"
#include "engine/Statement.h"

#include <QFileInfo>
#include <limits>

namespace corvalis {

namespace {

qint64 allowedLooks(const QString& file) {
    const qint64 bytes = qMax<qint64>(0, QFileInfo(file).size());
    const qint64 perByteCap =
        (std::numeric_limits<qint64>::max() - WorkLimit::BaseSteps) / WorkLimit::StepsPerByte;
    const qint64 steps = WorkLimit::BaseSteps + qMin(bytes, perByteCap) * WorkLimit::StepsPerByte;
    return steps / WorkLimit::StepsPerLook;
}

} // namespace

QString databaseFileOf(engine::Connection& connection, const QString& schema) {
    engine::Statement statement(connection,
                                QStringLiteral("select file from pragma_database_list where name=?1"));
    statement.bind(1, schema);
    return statement.step() ? statement.text(0) : QString();
}

WorkLimit::WorkLimit(engine::Connection& connection, const QString& path, const QString& shownName)
    : m_file(shownName), m_looksLeft(allowedLooks(path)) {
    m_handler.emplace(connection, StepsPerLook, [this] {
        if (--m_looksLeft < 0) {
            m_tripped = true;
            throw EngineError(message());
        }
    });
}

QString WorkLimit::message() const {
    return QStringLiteral(
               "读取文件“%1”所需的处理量远远超出正常的数据文件，已停止读取。该文件可能已损坏或被改动过。")
        .arg(m_file);
}

void requirePlainTables(engine::Connection& connection, const QString& schema, const QStringList& names,
                        const QString& file) {
    engine::Statement statement(
        connection,
        QStringLiteral("select type, coalesce(sql, '') from %1.sqlite_master where lower(name)=lower(?1)")
            .arg(schema));
    for (const QString& name : names) {
        statement.reset();
        statement.bind(1, name);
        if (!statement.step())
            continue;
        const bool table = statement.text(0) == QLatin1String("table");
        const bool virtualTable =
            statement.text(1).simplified().startsWith(QLatin1String("create virtual"), Qt::CaseInsensitive);
        if (!table || virtualTable)
            throw EngineError(
                QStringLiteral("文件“%1”中的“%2”不是普通的数据表（而是视图或虚拟表），不能读取这个文件。")
                    .arg(file, name),
                RefusedFileCode);
    }
}

void requireIntactDatabase(engine::Connection& connection, const QString& schema, const QString& file) {
    const QString path = databaseFileOf(connection, schema);
    const bool small = QFileInfo(path).size() <= FullIntegrityCheckBytes;
    const QString check = small ? QStringLiteral("integrity_check") : QStringLiteral("quick_check");
    engine::Statement statement(connection, QStringLiteral("pragma %1.%2(1)").arg(schema, check));
    const QString verdict = statement.step() ? statement.text(0) : QString();
    if (verdict != QLatin1String("ok"))
        throw EngineError(QStringLiteral("文件“%1”已损坏（数据库完整性检查未通过：%2），不能使用。")
                              .arg(file, verdict.left(200)),
                          RefusedFileCode);
}

void vetReceivedDatabase(engine::Connection& connection, const QString& schema, const QString& file) {
    const QString path = databaseFileOf(connection, schema);
    underWorkLimit(connection, path, file, [&] {
        requireIntactDatabase(connection, schema, file);
        requirePlainTables(connection, schema, {QStringLiteral("dt_data"), QStringLiteral("ct_label")}, file);
    });
}

IntactCheckBeside::IntactCheckBeside(engine::Connection& connection, const QString& schema,
                                     const QString& file) {
    try {
        m_reader = connection.openReadOnlyTwin(schema);
    } catch (const EngineError&) {
        const QString path = databaseFileOf(connection, schema);
        underWorkLimit(connection, path, file, [&] { requireIntactDatabase(connection, schema, file); });
        return;
    }
    m_worker = std::thread([this, file] {
        try {
            underWorkLimit(m_reader, m_reader.path(), file,
                           [&] { requireIntactDatabase(m_reader, QStringLiteral("main"), file); });
        } catch (...) {
            m_failure = std::current_exception();
        }
    });
}

IntactCheckBeside::~IntactCheckBeside() {
    if (m_worker.joinable()) {
        m_reader.interrupt();
        m_worker.join();
    }
}

void IntactCheckBeside::require() {
    if (m_worker.joinable())
        m_worker.join();
    if (m_failure)
        std::rethrow_exception(m_failure);
}

} // namespace corvalis
