#include "RecordDeletion.h"

#include "SearchConditions.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <algorithm>

namespace corvalis::search {

namespace {
// SQLite allows a limited number of parameters per statement.
constexpr int KeysPerStatement = 500;

void requireNames(const QString& table, const QString& keyColumn) {
    if (!isColumnName(table) || !isColumnName(keyColumn))
        throw EngineError(QStringLiteral("无效的表名或字段名：%1.%2").arg(table, keyColumn));
}

} // namespace

qint64 deleteByKeys(engine::Connection& connection, const QString& table, const QString& keyColumn,
                    const QList<UnionCode>& keys) {
    requireNames(table, keyColumn);
    if (keys.isEmpty())
        return 0;
    qint64 deleted = 0;
    engine::Transaction transaction(connection);
    for (qsizetype first = 0; first < keys.size(); first += KeysPerStatement) {
        const qsizetype count = std::min<qsizetype>(KeysPerStatement, keys.size() - first);
        QStringList marks;
        for (qsizetype i = 0; i < count; ++i)
            marks << QStringLiteral("?");
        engine::Statement statement(connection, QStringLiteral("delete from %1 where %2 in (%3)")
                                                    .arg(table, keyColumn, marks.join(QLatin1Char(','))));
        for (qsizetype i = 0; i < count; ++i)
            statement.bindInt64(int(i + 1), keys.at(first + i));
        deleted += statement.run();
    }
    transaction.commit();
    return deleted;
}

qint64 deleteSelectedRecords(DeletionList& list, engine::Connection& connection, const QString& table,
                             const QString& keyColumn, UiServices& ui) {
    requireNames(table, keyColumn);
    if (list.isEmpty())
        return 0;
    const QList<UnionCode> selected = list.selectedKeys();
    if (selected.size() < 2) {
        const std::optional<UnionCode> current = selected.isEmpty() ? list.currentKey() : selected.front();
        if (!current || ui.askQuestion(DeleteQuestion, AskShowYes | AskShowNo) != AskYes)
            return 0;
        const qint64 deleted = deleteByKeys(connection, table, keyColumn, {*current});
        list.refreshKeepingPosition();
        return deleted;
    }
    for (qsizetype i = 0; i < selected.size(); ++i) {
        // A selected record that has gone from the list meanwhile is skipped, never replaced by
        // whatever row now stands in its place.
        if (!list.showKey(selected.at(i)))
            continue;
        if (list.isEmpty())
            return 0;
        const int answer = ui.askQuestion(DeleteQuestion, AskShowNo | AskShowYesToAll);
        if (answer == AskYesToAll) {
            const qint64 deleted = deleteByKeys(connection, table, keyColumn, selected.mid(i));
            list.refreshKeepingPosition();
            return deleted;
        }
        if (answer == AskNo)
            return 0;
    }
    return 0;
}

bool deleteAllRecords(engine::Connection& connection, UiServices& ui) {
    if (!ui.askYesNo(IrreversibleQuestion, WarningCaption, MessageIcon::Warning, false))
        return false;
    connection.execute(QStringLiteral("delete from dt_data"));
    return true;
}

bool deleteRecordRange(engine::Connection& connection, UiServices& ui, const QString& startText,
                       QString& endText) {
    const UnionCode start = unionCodeOfText(startText);
    UnionCode end = unionCodeOfText(endText);
    if (start == 0 || end == 0) {
        ui.showMessage(DeleteRangeMessage);
        return false;
    }
    if (start > end) {
        end = start;
        endText = startText;
    }
    if (!ui.askYesNo(IrreversibleQuestion, WarningCaption, MessageIcon::Warning, false))
        return false;
    connection.execute(QStringLiteral("delete from dt_data where c901>=? and c901<=?"), {start, end});
    return true;
}

} // namespace corvalis::search
