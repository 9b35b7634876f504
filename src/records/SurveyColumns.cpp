#include "SurveyColumns.h"

namespace corvalis::records {

const std::vector<SurveyColumn>& surveyColumns() {
    static const std::vector<SurveyColumn> columns = {
        {"z001", 1, ColumnKind::Count, "基层工会涵盖单位(个)", nullptr, nullptr},
        {"z002", 1, ColumnKind::Count, "职工(人)", nullptr, nullptr},
        {"z003", 1, ColumnKind::Count, "女性(人)", nullptr, "z002"},
        {"z004", 1, ColumnKind::Count, "农民工(人)", nullptr, "z002"},
        {"z005", 1, ColumnKind::Count, "女性农民工(人)", nullptr, "z002"},
        {"z006", 1, ColumnKind::Count, "工会会员(人)", nullptr, nullptr},
        {"z007", 1, ColumnKind::Count, "女性(人)", nullptr, "z006"},
        {"z008", 1, ColumnKind::Count, "农民工(人)", nullptr, "z006"},
        {"z009", 1, ColumnKind::Count, "女性农民工(人)", nullptr, "z006"},
        {"z010", 1, ColumnKind::Count, "专职工会工作人员(人)", nullptr, nullptr},
        {"z011", 1, ColumnKind::Count, "女性(人)", nullptr, "z010"},
        {"z012", 1, ColumnKind::Count, "兼职工会工作人员(人)", nullptr, nullptr},
        {"z013", 1, ColumnKind::Count, "女性(人)", nullptr, "z012"},
        {"z014", 1, ColumnKind::Choice,
         "本级工会建立女职工组织1.建立女职工委员会2.仅设立女职工委员（未建立女职工委员会）0.未建立", nullptr,
         nullptr},
        {"z015", 1, ColumnKind::Count, "专职(人)", "本级工会女职工工作人员", nullptr},
        {"z016", 1, ColumnKind::Count, "兼职(人)", "本级工会女职工工作人员", nullptr},
        {"b001", 2, ColumnKind::YesNo, "是否开展创建劳动关系和谐企业活动(1=是；2=否)", nullptr, nullptr},
        {"b002", 2, ColumnKind::Count, "工会所在单位签订劳动合同人数（人）", nullptr, nullptr},
        {"b003", 2, ColumnKind::Count, "农民工(人)", nullptr, "b002"},
        {"b004", 2, ColumnKind::YesNo, "是否单独签订了综合集体合同(1=是；2=否)", nullptr, nullptr},
        {"b005", 2, ColumnKind::YesNo, "其中是否有劳动安全卫生专章或附件(1=是；2=否)", nullptr, "b004"},
        {"b006", 2, ColumnKind::YesNo, "其中是否有女职工权益保护专章或附件(1=是；2=否)", nullptr, "b004"},
        {"b007", 2, ColumnKind::YesNo, "是否单独签订了工资专项集体合同(1=是；2=否)", nullptr, nullptr},
        {"b008", 2, ColumnKind::YesNo, "是否单独签订了劳动安全卫生专项集体合同(1=是；2=否)", nullptr,
         nullptr},
        {"b009", 2, ColumnKind::YesNo, "是否单独签订了女职工权益保护专项集体合同(1=是；2=否)", nullptr,
         nullptr},
        {"b010", 2, ColumnKind::YesNo, "是否建立职工子女托管班(1=是；2=否)", nullptr, nullptr},
        {"b011", 2, ColumnKind::Count, "本年度托管子女人数(人)", nullptr, nullptr},
        {"h001", 3, ColumnKind::Choice,
         "   建立职代会制度情况  1.建立了职代会制度  2.建立了职工大会制度      0.未建立", nullptr, nullptr},
        {"h002", 3, ColumnKind::YesNo, "本年度是否召开过职代会(包括职工大会)(1=是;2=否)", nullptr, nullptr},
        {"h003", 3, ColumnKind::Count, "职代会职工代表(建立职工大会制单位不填)(人)", nullptr, nullptr},
        {"h004", 3, ColumnKind::Count, "女性(人)", nullptr, "h003"},
        {"h005", 3, ColumnKind::YesNo, "工会所在单位是否实行了厂务公开(1=是;2=否)", nullptr, nullptr},
        {"h006", 3, ColumnKind::YesNo, "工会所在单位是否建立了董事会(1=是;2=否)", nullptr, nullptr},
        {"h007", 3, ColumnKind::Count, "董事(人)", nullptr, nullptr},
        {"h008", 3, ColumnKind::Count, "女性(人)", nullptr, "h007"},
        {"h009", 3, ColumnKind::Count, "职工董事(人)", nullptr, "h007"},
        {"h010", 3, ColumnKind::Count, "女性(人)", nullptr, "h009"},
        {"h011", 3, ColumnKind::YesNo, "工会主席或副主席是否进入了董事会(1=是;2=否)", nullptr, nullptr},
        {"h012", 3, ColumnKind::YesNo, "工会所在单位是否建立了监事会(1=是;2=否)", nullptr, nullptr},
        {"h013", 3, ColumnKind::Count, "监事(人)", nullptr, nullptr},
        {"h014", 3, ColumnKind::Count, "女性(人)", nullptr, "h013"},
        {"h015", 3, ColumnKind::Count, "职工监事(人)", nullptr, "h013"},
        {"h016", 3, ColumnKind::Count, "女性(人)", nullptr, "h015"},
        {"h017", 3, ColumnKind::YesNo, "工会主席或副主席是否进入了监事会(1=是;2=否)", nullptr, nullptr},
        {"l001", 4, ColumnKind::YesNo, "工会是否建立了劳动保护监督检查委员会(1=是;2=否)", nullptr, nullptr},
        {"l002", 4, ColumnKind::Count, "工会小组劳动保护检查员(人)", nullptr, nullptr},
        {"l003", 4, ColumnKind::Count, "本年度本级工会劳动保护监督组织受理举报案件(件)", nullptr, nullptr},
        {"l004", 4, ColumnKind::Count, "提请劳动安全卫生监督部门处理案件(件)", nullptr, "l003"},
        {"l005", 4, ColumnKind::Count, "本年度工会参加安全生产检查(次)", nullptr, nullptr},
        {"l006", 4, ColumnKind::Count, "本年度工会组织职工查找事故隐患和职业危害数量(件)", nullptr, nullptr},
        {"l007", 4, ColumnKind::Count, "事故隐患和职业危害整改数(件)", nullptr, "l006"},
        {"l008", 4, ColumnKind::Count, "本年度工会参加处理工伤事故(件)", nullptr, nullptr},
        {"l009", 4, ColumnKind::YesNo, "是否执行女职工禁忌从事劳动的有关规定(1=是；2=否)", "女职工劳动保护",
         nullptr},
        {"l010", 4, ColumnKind::YesNo,
         "是否执行女职工在经期、孕期、产期、哺乳期享有特殊待遇的有关规定(1=是;2=否)", "女职工劳动保护",
         nullptr},
        {"l011", 4, ColumnKind::YesNo, "是否建立女职工哺乳室(1=是;2=否)", "女职工劳动保护", nullptr},
        {"f001", 5, ColumnKind::YesNo, "是否建立了工会劳动法律监督组织(1=是;2=否)", nullptr, nullptr},
        {"f002", 5, ColumnKind::Count, "工会劳动法律监督员(人)", nullptr, nullptr},
        {"f003", 5, ColumnKind::Count, "劳动保障法律监督员(人)", nullptr, nullptr},
        {"f004", 5, ColumnKind::Count, "本年度工会劳动法律监督组织受理违法、违规案件(件)", nullptr, nullptr},
        {"f005", 5, ColumnKind::YesNo, "工会所在单位是否建立了劳动争议调解委员会(1=是;2=否)", nullptr,
         nullptr},
        {"f006", 5, ColumnKind::Count, "劳动争议调解委员会中工会成员（职工代表）(人)", nullptr, nullptr},
        {"f007", 5, ColumnKind::Count, "本年度劳动争议调解委员会受理劳动争议(件)", nullptr, nullptr},
        {"f008", 5, ColumnKind::Count, "本年度劳动争议调解委员会调解成功劳动争议(件)", nullptr, "f007"},
        {"j001", 6, ColumnKind::Count, "技术工人(人)", nullptr, nullptr},
        {"j002", 6, ColumnKind::Count, "女性(人)", nullptr, "j001"},
        {"j003", 6, ColumnKind::Count, "农民工(人)", nullptr, "j001"},
        {"j004", 6, ColumnKind::YesNo, "本年度工会是否开展了劳动和技能竞赛(1=是；2=否)", nullptr, nullptr},
        {"j005", 6, ColumnKind::Count, "本年度参加劳动和技能竞赛职工(人次)", nullptr, nullptr},
        {"j006", 6, ColumnKind::Count, "农民工(人次)", nullptr, "j005"},
        {"j007", 6, ColumnKind::Count, "本年度职工提出合理化建议(件)", nullptr, nullptr},
        {"j008", 6, ColumnKind::Count, "本年度已实施合理化建议(件)", nullptr, "j007"},
        {"j009", 6, ColumnKind::Count, "本年度技术革新项目(项)", nullptr, nullptr},
        {"j010", 6, ColumnKind::Count, "本年度职工发明创造项目(项)", nullptr, nullptr},
        {"j011", 6, ColumnKind::Count, "本年度取得国家专利项目(项)", nullptr, nullptr},
        {"j012", 6, ColumnKind::Count, "本年度推广先进操作法项目(项)", nullptr, nullptr},
        {"j013", 6, ColumnKind::YesNo, "本年度是否开展岗位练兵活动(1=是；2=否)", nullptr, nullptr},
        {"j014", 6, ColumnKind::YesNo, "本年度是否开展选树技能带头人活动(1=是；2=否)", nullptr, nullptr},
        {"j015", 6, ColumnKind::Count, "选树技能带头人（“金牌工人”、“首席技师”、“首席员工”）(人)", nullptr,
         nullptr},
        {"j016", 6, ColumnKind::Count, "技能人才（劳模）师徒结对(对)", nullptr, nullptr},
        {"w001", 7, ColumnKind::YesNo, "是否建立了职工书屋(1=是；2=否)", nullptr, nullptr},
        {"s001", 7, ColumnKind::Choice,
         "工会经费情况1.按工资总额2%拨缴工会经费2.有拨缴，但不足额0.没有拨缴工会经费", nullptr, nullptr},
        {"s002", 7, ColumnKind::Choice,
         "工会经费的预算编制情况1.有规范预算，手续齐全2.有预算但手续不齐0.无预算", nullptr, nullptr},
        {"s003", 7, ColumnKind::YesNo, "建立了经费审查委员会(1=是；2=否)", "是否建立了工会经费审查组织",
         nullptr},
        {"s004", 7, ColumnKind::YesNo, "建立了经费审查委员会办公室(1=是；2=否)", "是否建立了工会经费审查组织",
         nullptr},
    };
    return columns;
}

const std::vector<CoverColumn>& coverColumns() {
    static const std::vector<CoverColumn> columns = {
        {"c901", ColumnKind::Code, "901. 基层工会统计编码："},
        {"c902", ColumnKind::Text, "902. 基层工会名称："},
        {"c903", ColumnKind::CodeNumber, "903. 基层工会所在地行政区划代码："},
        {"c904", ColumnKind::CodeNumber, "904. 基层工会组织类型："},
        {"c905", ColumnKind::CodeNumber, "905. 基层工会所在单位（或单位主体）的国民经济行业分类代码："},
        {"c906", ColumnKind::CodeNumber, "906. 基层工会所在单位（或单位主体）的单位类别："},
        {"c907", ColumnKind::Text, "907. 基层工会所在单位（或单位主体）的产业类别："},
        {"c909", ColumnKind::CodeNumber, "909. 基层工会所在单位（或单位主体）的控股情况："},
        {"c912", ColumnKind::CodeNumber, "912. 基层工会本年度的填报状态："},
        {"c910", ColumnKind::Text, "填 表 人："},
        {"c911", ColumnKind::Text, "联系电话："},
    };
    return columns;
}

const QStringList& dataColumnNames() {
    static const QStringList names = [] {
        QStringList list{QStringLiteral("id"), QStringLiteral("c900")};
        for (const char* cover :
             {"c901", "c902", "c903", "c904", "c905", "c906", "c907", "c909", "c910", "c911", "c912"})
            list << QString::fromLatin1(cover);
        for (const SurveyColumn& column : surveyColumns())
            list << QString::fromLatin1(column.name);
        list << QStringLiteral("RecordState");
        return list;
    }();
    return names;
}

int surveyColumnIndex(const QString& name) {
    const auto& columns = surveyColumns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (name.compare(QLatin1String(columns[i].name), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

ColumnKind columnKind(const QString& name) {
    const int survey = surveyColumnIndex(name);
    if (survey >= 0)
        return surveyColumns()[size_t(survey)].kind;
    for (const CoverColumn& cover : coverColumns())
        if (name.compare(QLatin1String(cover.name), Qt::CaseInsensitive) == 0)
            return cover.kind;
    if (name.compare(QLatin1String("c900"), Qt::CaseInsensitive) == 0)
        return ColumnKind::Stamp;
    if (name.compare(QLatin1String("RecordState"), Qt::CaseInsensitive) == 0)
        return ColumnKind::State;
    return ColumnKind::RowNumber;
}

QueryType queryTypeOf(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Text:
        return QueryType::Text;
    case ColumnKind::Code:
    case ColumnKind::Count:
        return QueryType::Number;
    case ColumnKind::CodeNumber:
    case ColumnKind::State:
        return QueryType::Code;
    case ColumnKind::YesNo:
    case ColumnKind::Choice:
        return QueryType::Answer;
    default:
        return QueryType::Other;
    }
}

namespace {
struct PageText {
    const char* caption;
    const char* hint;
};
const PageText pageTexts[PageCount] = {
    {"封面", "调查表封面"},      {"表1", "工会基层组织建设状况"},
    {"表2", "工会权益保障工作"}, {"表3", "工会民主管理工作"},
    {"表4", "工会劳动保护工作"}, {"表5", "工会法律工作"},
    {"表6", "工会经济技术工作"}, {"表7&&表8", "职工文化体育工作与工会财务和经费审查工作"},
};
} // namespace

QString pageTabCaption(int page) {
    return page >= 0 && page < PageCount ? QString::fromUtf8(pageTexts[page].caption) : QString();
}

QString pageTabHint(int page) {
    return page >= 0 && page < PageCount ? QString::fromUtf8(pageTexts[page].hint) : QString();
}

QStringList pageTableTitles(int page) {
    switch (page) {
    case 1:
        return {QStringLiteral("表1  工会基层组织建设状况")};
    case 2:
        return {
            QStringLiteral("表2  工会权益保障工作(第b001项仅限企业工会填报；第b002、b003项限企事业单位填报；"
                           "第b004-b009项限单独基层企业工会填报)")};
    case 3:
        return {QStringLiteral("表3  工会民主管理工作(限企事业单位填报）")};
    case 4:
        return {QStringLiteral("表4  工会劳动保护工作（限企事业单位填报）")};
    case 5:
        return {QStringLiteral("表5  工会法律工作（限企事业单位填报）")};
    case 6:
        return {QStringLiteral("表6  工会经济技术工作（限企事业单位填报）")};
    case 7:
        return {QStringLiteral("表7  职工文化体育工作"), QStringLiteral("表8  工会财务和经费审查工作")};
    default:
        return {};
    }
}

} // namespace corvalis::records
