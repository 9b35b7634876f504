#include "SummaryQueries.h"

#include "app/Errors.h"
#include "app/engine/Connection.h"

#include <QRegularExpression>
#include <array>

namespace corvalis::summary {

namespace {

const std::array<const char*, SummarySheetCount> SheetTitles = {
    "封面",
    "表一  工会基层组织建设状况(1)",
    "表一  工会基层组织建设状况(2)",
    "表二  工会权益保障工作(1)",
    "表二  工会权益保障工作(2)",
    "表二  工会权益保障工作(3)",
    "表三  工会民主管理工作(1)",
    "表三  工会民主管理工作(2)",
    "表三  工会民主管理工作(3)",
    "表四  工会劳动保护工作(1)",
    "表四  工会劳动保护工作(2)",
    "表五  工会法律工作(1)",
    "表六  工会经济技术工作(1)",
    "表六  工会经济技术工作(2)",
    "表七  职工文化体育工作",
    "表八  工会财务和经费审查工作",
};

// The select lists in the engine's dialect: the formulas count answers arithmetically (x*(2-x) is 1
// exactly for answer 1, and so on). percent_z003 divides as real numbers and is null without any
// record with women employees. A quotient whose integer part is taken divides by a real number, so
// that int() floors it: the engine's integer division would truncate -1/2 to 0.
const std::array<const char*, SelectListCount> SelectLists = {
    "count(*) as cnt,sum((2-c904)*(3-c904)/2) as sum_c904_1,sum((c904-1)*(3-c904)) as sum_c904_2,sum(z001) "
    "as "
    "sum_z001,sum(z002) as sum_z002,sum(z003) as sum_z003,sum(z004) as sum_z004,sum(z005) as "
    "sum_z005,sum(z006) as "
    "sum_z006,sum(z007) as sum_z007,sum(z008) as sum_z008,sum(z009) as sum_z009 from dt_data",

    "sum(z010) as sum_z010,sum(z011) as sum_z011,sum(z012) as sum_z012,sum(z013) as "
    "sum_z013,sum(iif(z003>0,1,0)) as "
    "count_z003,iif(sum(iif(z003>0,1,0))>0,cast(sum(z014*(2-z014)+int(z014/2.0)) as "
    "real)/sum(iif(z003>0,1,0)),null) "
    "as percent_z003,sum(z014*(2-z014)) as sum_z014_1,sum(int(z014/2.0)) as "
    "sum_z014_2,sum((2-z014)*(1-z014)/2) as "
    "sum_z014_3,sum(z015) as sum_z015,sum(z016) as sum_z016 from dt_data",

    "sum(b001*(2-b001)) as sum_b001_1,sum(int(b001/2.0) + (2-b001)*(1-b001)/2) as "
    "sum_b001_2,sum(int((b002+b002)/(b002+1.0))) as count_b002,sum((z001)*int((b002+b002)/(b002+1.0))) as "
    "sum_b0020,sum(b002) as sum_b002,sum(b003) as sum_b003 from dt_data",

    "sum(z001*b004*(2-b004)) as sum_b004_1,sum(z002*b004*(2-b004)) as sum_b004_z002,sum(z001*b005*(2-b005)) "
    "as "
    "sum_b005_1,sum(z002*b005*(2-b005)) as sum_b005_z002,sum(z001*b006*(2-b006)) as "
    "sum_b006_1,sum(z003*b006*(2-b006)) as sum_b006_z003,sum(z001*b007*(2-b007)) as "
    "sum_b007_1,sum(z002*b007*(2-b007)) as sum_b007_z002 from dt_data",

    "sum(z001*b008*(2-b008)) as sum_b008_1,sum(z002*b008*(2-b008)) as sum_b008_z002,sum(z001*b009*(2-b009)) "
    "as "
    "sum_b009_1,sum(z003*b009*(2-b009)) as sum_b009_z003,sum(b010*(2-b010)) as sum_b010_1,sum(int(b010/2.0) "
    "+ "
    "(2-b010)*(1-b010)/2) as sum_b010_2, sum(b011) as sum_b011 from dt_data",

    "sum(h001*(2-h001)) as sum_h001_1,sum(z001*h001*(2-h001)) as sum_h001_z001,sum(z002*h001*(2-h001)) as "
    "sum_h001_z002,sum(int(h001/2.0)) as sum_h001_2,sum(z001*(int(h001/2.0))) as "
    "sum_h001_2_z001,sum(z002*(int(h001/2.0))) "
    "as sum_h001_2_z002,sum(h001*(2-h001)+int(h001/2.0)) as "
    "sum_h001_3,sum(z001*(h001*(2-h001)+int(h001/2.0))) "
    "as "
    "sum_h001_3_z001,sum(z002*(h001*(2-h001)+int(h001/2.0))) as sum_h001_3_z002 from dt_data",

    "sum(h002*(2-h002)) as sum_h002_1,sum(z001*h002*(2-h002)) as sum_h002_z001,sum(h003) as "
    "sum_h003,sum(h004) as "
    "sum_h004,sum(h005*(2-h005)) as sum_h005_1,sum(int(h005/2.0) + (2-h005)*(1-h005)/2) as "
    "sum_h005_2,sum(z001*h005*(2-h005)) as sum_h005_z001,sum(z002*h005*(2-h005)) as "
    "sum_h005_z002,sum(z001*h006*(2-h006)) as sum_h006_z001,sum(h007) as sum_h007,sum(h008) as "
    "sum_h008,sum(iif(h009>0,z001,0)) as sum_h009_z001,sum(h009) as sum_h009,sum(h010) as sum_h010 from "
    "dt_data",

    "sum(h011*(2-h011)) as sum_h011_1,sum(int(h011/2.0) + (2-h011)*(1-h011)/2) as "
    "sum_h011_2,sum(z001*h012*(2-h012)) as sum_h012_z001,sum(h013) as sum_h013,sum(h014) as "
    "sum_h014,sum(iif(h015>0,z001,0)) as sum_h015_z001,sum(h015) as sum_h015,sum(h016) as "
    "sum_h016,sum(h017*(2-h017)) as sum_h017_1,sum(int(h017/2.0) + (2-h017)*(1-h017)/2) as sum_h017_2  from "
    "dt_data",

    "sum(l001*(2-l001)) as sum_l001_1,sum(int(l001/2.0) + (2-l001)*(1-l001)/2) as sum_l001_2,sum(l002) as "
    "sum_l002,sum(l003) as sum_l003,sum(l004) as sum_l004,sum(l005) as sum_l005 from dt_data",

    "sum(l006) as sum_l006,sum(l007) as sum_l007,sum(l008) as sum_l008,sum(l009*(2-l009)) as "
    "sum_l009_1,sum(z001*l009*(2-l009)) as sum_l009_z001,sum(z003*l009*(2-l009)) as "
    "sum_l009_z003,sum(l010*(2-l010)) "
    "as sum_l010_1,sum(z001*l010*(2-l010)) as sum_l010_z001,sum(z003*l010*(2-l010)) as "
    "sum_l010_z003,sum(l011*(2-l011)) as sum_l011_1,sum(z001*l011*(2-l011)) as "
    "sum_l011_z001,sum(z003*l011*(2-l011)) "
    "as sum_l011_z003 from dt_data",

    "sum(f001*(2-f001)) as sum_f001_1,sum(int(f001/2.0) + (2-f001)*(1-f001)/2) as sum_f001_2,sum(f002) as "
    "sum_f002,sum(f003) as sum_f003,sum(f004) as sum_f004,sum(f005*(2-f005)) as sum_f005_1,sum(int(f005/2.0) "
    "+ "
    "(2-f005)*(1-f005)/2) as sum_f005_2,sum(f006) as sum_f006,sum(f007) as sum_f007,sum(f008) as sum_f008  "
    "from "
    "dt_data",

    "sum(j001) as sum_j001,sum(j002) as sum_j002,sum(j003) as sum_j003,sum(j004*(2-j004)) as "
    "sum_j004_1,sum(int(j004/2.0) + (2-j004)*(1-j004)/2) as sum_j004_2,sum(j005) as sum_j005,sum(j006) as "
    "sum_j006,sum(j007) as sum_j007,sum(j008) as sum_j008,sum(j009) as sum_j009,sum(j010) as sum_j010 from "
    "dt_data",

    "sum(j011) as sum_j011,sum(j012) as sum_j012,sum(j013*(2-j013)) as sum_j013_1,sum(int(j013/2.0) + "
    "(2-j013)*(1-j013)/2) as sum_j013_2,sum(j014*(2-j014)) as sum_j014_1,sum(int(j014/2.0) + "
    "(2-j014)*(1-j014)/2) as "
    "sum_j014_2,sum(j015) as sum_j015,sum(j016) as sum_j016  from dt_data",

    "sum(w001*(2-w001)) as sum_w001_1,sum(int(w001/2.0) + (2-w001)*(1-w001)/2) as sum_w001_2 from dt_data",

    "sum(s001*(2-s001)) as sum_s001_1,sum(int(s001/2.0)) as sum_s001_2,sum((2-s001)*(1-s001)/2) as "
    "sum_s001_3,sum(s002*(2-s002)) as sum_s002_1,sum(int(s002/2.0)) as sum_s002_2,sum((2-s002)*(1-s002)/2) "
    "as "
    "sum_s002_3,sum(s003*(2-s003)) as sum_s003_1,sum(int(s003/2.0) + (2-s003)*(1-s003)/2) as "
    "sum_s003_2,sum(s004*(2-s004)) as sum_s004_1,sum(int(s004/2.0) + (2-s004)*(1-s004)/2) as sum_s004_2  "
    "from "
    "dt_data",
};

struct ClassificationInfo {
    const char* caption;
    const char* templateStem;
    const char* codeSource; // the code rows, as a table or a sub-select named "code"
    const char* label;      // the label column
    const char* key;        // the dt_data column the classes group by
};

const std::array<ClassificationInfo, ClassificationCount> Classifications = {{
    {"所在行业", "2020基层表汇总表", "CT_Industry code", "code.name", "c905"},
    {"单位类别", "2020基层表汇总表", "CT_Economic code", "code.name", "c906"},
    {"组织类型", "2020基层表汇总表", "CT_LevelCode code", "code.name", "c904"},
    {"产业类别", "2020基层表汇总表(按产业类别)",
     "(select * from CT_UnionDomain where Code2<>0 or id='Z00') code",
     "('(' || code.id || ')' || code.name) as name", "c907"},
    {"填报状态", "2020基层表汇总表", "CT_state code", "code.name", "c912"},
    {"分    组", "2020基层表汇总表", nullptr, nullptr, nullptr},
    {"行政区划", "2020基层表汇总表", nullptr, nullptr, nullptr},
}};

// The columns of view_group_item that a stored item order may name.
const QStringList ItemOrderColumns = {
    QStringLiteral("id"),          QStringLiteral("GroupID"),      QStringLiteral("Title"),
    QStringLiteral("LowBoundary"), QStringLiteral("HighBoundary"), QStringLiteral("LowSymbol"),
    QStringLiteral("HighSymbol"),  QStringLiteral("LowValue"),     QStringLiteral("HighValue"),
};

void requireTableSheet(int sheet) {
    if (sheet < 2 || sheet > SummarySheetCount)
        throw Error(QStringLiteral("汇总表号 %1 不在 2 到 16 之间").arg(sheet));
}

bool isPlainOrder(const QString& order) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s+(asc|desc)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(order);
    if (!match.hasMatch())
        return false;
    for (const QString& column : ItemOrderColumns)
        if (column.compare(match.captured(1), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

bool isValidClassification(int classification) {
    return classification >= 0 && classification < ClassificationCount;
}

QString sheetTitle(int k) {
    if (k < 0 || k >= SummarySheetCount)
        return QString();
    return QString::fromUtf8(SheetTitles[size_t(k)]);
}

QString summarySelectList(int k) {
    if (k < 1 || k > SelectListCount)
        return QString();
    return QString::fromUtf8(SelectLists[size_t(k - 1)]);
}

QStringList selectListColumns(int k) {
    const QString list = summarySelectList(k);
    QStringList names;
    // Split at the commas outside parentheses; each expression ends with "as name".
    int depth = 0;
    int start = 0;
    const int end = list.lastIndexOf(QStringLiteral(" from dt_data"));
    auto take = [&](int stop) {
        const QString expression = list.mid(start, stop - start).trimmed();
        names << expression.section(QLatin1Char(' '), -1);
    };
    for (int i = 0; i < end; ++i) {
        const QChar c = list.at(i);
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (c == QLatin1Char(',') && depth == 0) {
            take(i);
            start = i + 1;
        }
    }
    take(end);
    return names;
}

QString classificationCaption(int classification) {
    if (!isValidClassification(classification))
        return QString();
    return QString::fromUtf8(Classifications[size_t(classification)].caption);
}

QString summaryTemplateStem(int classification) {
    if (!isValidClassification(classification))
        return QString();
    return QString::fromUtf8(Classifications[size_t(classification)].templateStem);
}

QString sheetsSelectList(const std::vector<int>& sheets) {
    if (sheets.empty())
        throw Error(QStringLiteral("没有要汇总的表"));
    for (int sheet : sheets)
        requireTableSheet(sheet);
    if (sheets.size() == 1)
        return summarySelectList(sheets.front() - 1);
    // The expressions of every list before their common "from dt_data", so that one pass over the
    // records fills every sheet.
    QStringList expressions;
    for (int sheet : sheets) {
        const QString list = summarySelectList(sheet - 1);
        expressions << list.left(list.lastIndexOf(QLatin1String(" from dt_data"))).trimmed();
    }
    return expressions.join(QLatin1Char(',')) + QStringLiteral(" from dt_data");
}

QString classificationStatement(const std::vector<int>& sheets, int classification) {
    if (classification < 0 || classification >= ByCustomGroup)
        throw Error(QStringLiteral("无效的汇总方式：%1").arg(classification));
    const QString list = sheetsSelectList(sheets);
    const ClassificationInfo& info = Classifications[size_t(classification)];
    const QString key = QString::fromLatin1(info.key);
    return QStringLiteral("select ") + QString::fromUtf8(info.label) + QStringLiteral(",sum_table.*  from ") +
           QString::fromUtf8(info.codeSource) + QStringLiteral(" left join (select ") + key +
           QLatin1Char(',') + list + QStringLiteral(" group by ") + key + QStringLiteral(") sum_table") +
           QStringLiteral(" on code.id = sum_table.") + key + QStringLiteral(" order by code.id desc");
}

QString classificationStatement(int sheet, int classification) {
    return classificationStatement(std::vector<int>{sheet}, classification);
}

QString reversedItemOrder(const QString& orderstr) {
    QString order = orderstr.isEmpty() ? QStringLiteral("id ASC") : orderstr;
    if (order.contains(QLatin1String("DESC")))
        order.replace(QLatin1String("desc"), QLatin1String("asc"), Qt::CaseInsensitive);
    else if (order.contains(QLatin1String("ASC")))
        order.replace(QLatin1String("asc"), QLatin1String("desc"), Qt::CaseInsensitive);
    // The text becomes part of a statement: only a plain column of the view with a direction passes.
    return isPlainOrder(order) ? order : QStringLiteral("id desc");
}

QString groupItemOrder(engine::Connection& connection, qint64 groupId) {
    const QVariant stored =
        connection.scalar(QStringLiteral("select orderstr from ct_group where id=?1"), {QVariant(groupId)});
    return reversedItemOrder(stored.toString());
}

QString groupItemsStatement(const QString& order) {
    return QStringLiteral("select * from view_group_item where groupid=?1 order by ") + order;
}

std::optional<CodeBound> parseCodeBound(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(>=|<=|<>|>|<|=)\\s*(-?\\d{1,18})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return CodeBound{match.captured(1), match.captured(2).toLongLong()};
}

BoundStatement groupItemStatement(const std::vector<int>& sheets, const QString& title, int position,
                                  const QString& lowValue, const QString& highValue) {
    const QString list = sheetsSelectList(sheets);
    const std::optional<CodeBound> low = parseCodeBound(lowValue);
    const std::optional<CodeBound> high = parseCodeBound(highValue);
    if (!low || !high)
        throw Error(QStringLiteral("分组项目“%1”的编号范围无效：%2，%3").arg(title, lowValue, highValue));
    BoundStatement statement;
    statement.sql = QStringLiteral(" select ?1 as ItemName,") + QString::number(position) +
                    QStringLiteral(" as sid,") + list + QStringLiteral(" where c901") + low->symbol +
                    QStringLiteral("?2 and c901") + high->symbol + QStringLiteral("?3");
    statement.params = {title, low->value, high->value};
    return statement;
}

BoundStatement groupItemStatement(int sheet, const QString& title, int position, const QString& lowValue,
                                  const QString& highValue) {
    return groupItemStatement(std::vector<int>{sheet}, title, position, lowValue, highValue);
}

QString withWideSums(const QString& sql) {
    static const QRegularExpression sum(QStringLiteral("\\bsum\\("),
                                        QRegularExpression::CaseInsensitiveOption);
    QString wide = sql;
    return wide.replace(sum, QStringLiteral("widesum("));
}

bool isSumOverflow(const QString& engineText) {
    return engineText.contains(QLatin1String("integer overflow"));
}

} // namespace corvalis::summary
