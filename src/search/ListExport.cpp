#include "ListExport.h"

#include "SearchConditions.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QFileInfo>

namespace corvalis::search {

namespace {
const QString TableLetters = QStringLiteral("zbhlfjws");
const QString CoverColumns =
    QStringLiteral("select c901,c902,c903,c904,c905,c906,c907,c909,c910,c911,c912,RecordState");

bool isComparison(const QString& symbol) {
    static const QStringList known = {QStringLiteral("="),  QStringLiteral(">"),  QStringLiteral("<"),
                                      QStringLiteral(">="), QStringLiteral("<="), QStringLiteral("<>")};
    return known.contains(symbol.trimmed());
}

GroupRange groupRangeOf(engine::Statement& row) {
    GroupRange range;
    range.id = row.integer(row.columnIndex(QStringLiteral("id")));
    range.title = row.text(row.columnIndex(QStringLiteral("Title")));
    range.low = engine::codeBoundaryOf(row.value(row.columnIndex(QStringLiteral("LowBoundary"))));
    range.high = engine::codeBoundaryOf(row.value(row.columnIndex(QStringLiteral("HighBoundary"))));
    range.lowSymbol = row.text(row.columnIndex(QStringLiteral("LowSymbol"))).trimmed();
    range.highSymbol = row.text(row.columnIndex(QStringLiteral("HighSymbol"))).trimmed();
    return range;
}
} // namespace

std::vector<ExportTableItem> builtInExportTables() {
    static const char* const captions[] = {"表一 工会基层组织建设状况", "表二 工会权益保障工作",
                                           "表三 工会民主管理工作",     "表四 工会劳动保护工作",
                                           "表五 工会法律工作",         "表六 工会经济技术工作",
                                           "表七 职工文化体育工作",     "表八 工会财务和经费审查工作"};
    std::vector<ExportTableItem> items;
    for (const char* caption : captions)
        items.push_back({QString::fromUtf8(caption), true, 0});
    return items;
}

std::vector<ExportTableItem> parseExportTables(const QStringList& lines) {
    std::vector<ExportTableItem> items;
    for (const QString& line : lines) {
        ExportTableItem item;
        if (line.startsWith(QLatin1Char('&'))) {
            item.enabled = line.size() > 1 && line.at(1) == QLatin1Char('1');
            const QChar state = line.size() > 3 ? line.at(3) : QChar();
            item.state = state >= QLatin1Char('0') && state <= QLatin1Char('2') ? state.digitValue() : 0;
            item.caption = line.mid(5);
        } else {
            item.caption = line;
        }
        items.push_back(item);
    }
    return items;
}

std::vector<ExportTableItem> loadExportTables(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw FileError(QStringLiteral("无法打开文件“%1”。").arg(path));
    QStringList lines = readGbkTextFile(path);
    // The line break after the last line ends it; it starts no further item.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return parseExportTables(lines);
}

QString tableLetter(int index) {
    return index >= 0 && index < TableLetters.size() ? QString(TableLetters.at(index)) : QString();
}

QString tickedLetters(const std::vector<ExportTableItem>& items) {
    QString letters;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].enabled && items[i].state == 1)
            letters += tableLetter(int(i));
    return letters;
}

QStringList extraColumns(engine::Connection& connection, const QString& letters) {
    QStringList columns;
    engine::Statement fields(connection,
                             QStringLiteral("select FieldName from dt_fieldlist where FieldName like ? "
                                            "and sequence>=7 and sequence<1000 order by sequence"));
    for (const QChar letter : letters) {
        if (!TableLetters.contains(letter.toLower()))
            continue;
        // Only names that begin with the table's letter: "s" must not also pick RecordState.
        fields.reset();
        fields.bind(1, QString(letter.toLower()) + QStringLiteral("%"));
        while (fields.step()) {
            const QString name = fields.text(0).trimmed();
            if (isColumnName(name) && !columns.contains(name, Qt::CaseInsensitive))
                columns << name;
        }
    }
    return columns;
}

std::vector<GroupRange> loadGroupRanges(engine::Connection& connection) {
    std::vector<GroupRange> ranges;
    engine::Statement rows(connection, QStringLiteral("select * from DT_GroupItem"));
    while (rows.step())
        ranges.push_back(groupRangeOf(rows));
    return ranges;
}

std::optional<GroupRange> findGroupRange(engine::Connection& connection, qint64 id) {
    engine::Statement rows(connection, QStringLiteral("select * from DT_GroupItem where id=?"));
    rows.bindInt64(1, id);
    if (!rows.step())
        return std::nullopt;
    return groupRangeOf(rows);
}

std::optional<QuerySource> listQuery(engine::Connection& connection, const QString& letters,
                                     ListChoice& choice, UiServices& ui) {
    const QStringList extra = extraColumns(connection, letters);
    const QString select =
        CoverColumns + (extra.isEmpty() ? QString() : QLatin1Char(',') + extra.join(QLatin1Char(',')));
    switch (choice.kind) {
    case ListChoice::All:
        return QuerySource{select + QStringLiteral(" from dt_data order by c901"), {}};
    case ListChoice::Range: {
        const UnionCode low = unionCodeOfText(choice.low);
        UnionCode high = unionCodeOfText(choice.high);
        if (low == 0 || high == 0) {
            ui.showMessage(ListRangeMessage);
            return std::nullopt;
        }
        if (low > high) {
            high = low;
            choice.high = choice.low;
        }
        return QuerySource{select + QStringLiteral(" from dt_data where c901>=? and c901<=? order by c901"),
                           {low, high}};
    }
    case ListChoice::Group: {
        const GroupRange& group = choice.group;
        if (!isComparison(group.lowSymbol) || !isComparison(group.highSymbol)) {
            ui.showMessage(QStringLiteral("自定义分组“%1”的比较符无效。").arg(group.title));
            return std::nullopt;
        }
        return QuerySource{select + QStringLiteral(" from dt_data where c901") + group.lowSymbol +
                               QStringLiteral("? and c901") + group.highSymbol +
                               QStringLiteral("? order by c901"),
                           {group.low, group.high}};
    }
    }
    return std::nullopt;
}

QString exportRecordList(DbSession& session, const QString& letters, ListChoice& choice, UiServices& ui,
                         const Clock& clock) {
    const auto query = listQuery(session.connection(), letters, choice, ui);
    if (!query)
        return QString();
    TFieldDataArray columns;
    {
        engine::Statement probe(session.connection(), query->sql);
        for (int i = 0; i < probe.columnCount(); ++i) {
            TFieldData field;
            field.showName = probe.columnName(i);
            field.fieldName = field.showName;
            field.hint = field.showName;
            field.fieldWidth = 0;
            field.queryShow = true;
            columns.push_back(field);
        }
    }
    return saveQueryAsExcel(session.connection(), *query, session.label() + QStringLiteral("数据列表"),
                            columns, ui, clock);
}

} // namespace corvalis::search
