#include "ResultsWalk.h"

#include "app/DbSession.h"
#include "app/ui/RecordList.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace corvalis::checks {

namespace {
const QString WalkView = QStringLiteral("results_walk_records");
const QString PlaceColumn = QStringLiteral("walk_place");

void prepareWalkTables(engine::Connection& connection) {
    connection.executeScript(QStringLiteral(
        "create temp table if not exists results_walk(place integer primary key, code unique);"
        "create temp view if not exists results_walk_records as select d.*, w.place as walk_place "
        "from main.dt_data d join results_walk w on w.code = d.c901;"));
}
} // namespace

ResultsWalk::ResultsWalk(DbSession& session, QWidget* parent)
    : m_session(session), m_list(new RecordList(session, parent)) {
    m_list->setObjectName(QStringLiteral("ResultsWalkList"));
    m_list->hide();
}

void ResultsWalk::setRecords(const std::vector<UnionCode>& codes, UnionCode current) {
    engine::Connection& connection = m_session.connection();
    prepareWalkTables(connection);
    QJsonArray array;
    for (UnionCode code : codes)
        array.append(code);
    connection.execute(QStringLiteral("delete from results_walk"));
    connection.execute(
        QStringLiteral("insert into results_walk(place, code) select key, value from json_each(?)"),
        {QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact))});
    TFieldData place;
    place.fieldName = PlaceColumn;
    place.showName = PlaceColumn;
    place.visible = true;
    m_list->setSource(WalkView);
    m_list->setDictionary({place});
    // Ordered by the place in the window, not by code.
    m_list->model().sortByColumn(0, true);
    m_list->goTo({QVariant(current), 0});
}

void ResultsWalk::followCode(UnionCode previousCode, UnionCode code) {
    if (previousCode == code)
        return;
    m_session.connection().execute(QStringLiteral("update or ignore results_walk set code=?2 where code=?1"),
                                   {previousCode, code});
}

} // namespace corvalis::checks
