#include "RecordGenerator.h"

#include "CodeTables.h"
#include "FieldRules.h"
#include "SurveyColumns.h"
#include "app/BatchFeed.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/UnionCode.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "app/engine/WritebackAhead.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace corvalis::records {

namespace {

constexpr UnionCode DefaultFirstCode = 110101000001LL;

// A fast, reproducible random source (SplitMix64).
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next() {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A whole number from low to high, both included; low when the range is empty.
    qint64 between(qint64 low, qint64 high) {
        if (high <= low)
            return low;
        return low + qint64(next() % quint64(high - low + 1));
    }
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double within(double low, double high) { return low + (high - low) * unit(); }
    bool chance(double p) { return unit() < p; }
    template <typename T> const T& pick(const std::vector<T>& items) {
        return items[size_t(next() % items.size())];
    }

private:
    quint64 m_state;
};

struct Weighted {
    qint64 code;
    double weight;
};

// How often each unit category occurs among the generated unions.
const Weighted unitCategoryWeights[] = {
    {110, 6}, {120, 3}, {130, 1}, {140, 1}, {151, 4}, {159, 20}, {161, 3}, {169, 6},   {170, 30},  {190, 2},
    {200, 3}, {300, 4}, {401, 4}, {402, 8}, {500, 2}, {600, 2},  {701, 1}, {702, 0.5}, {703, 0.3}, {704, 0.2},
};

const char* const surnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐",
                                "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗", "郑", "梁",
                                "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹", "彭", "曾", "肖",
                                "田", "董", "袁", "潘", "于", "蒋", "蔡", "余", "杜"};
const char* const givenNames[] = {"伟", "芳",   "娜",   "敏", "静", "丽", "强",   "磊",   "军",   "洋",
                                  "勇", "艳",   "杰",   "娟", "涛", "明", "超",   "秀英", "霞",   "平",
                                  "刚", "桂英", "建华", "文", "华", "红", "玉兰", "志强", "海燕", "晓东",
                                  "丹", "萍",   "鹏",   "辉", "玲", "婷", "建国", "春梅", "国庆"};
const char* const brandSyllables[] = {"华", "宏", "鑫", "盛", "达", "兴", "恒", "信", "泰", "瑞",
                                      "丰", "源", "海", "天", "东", "金", "新", "中", "远", "力",
                                      "德", "诚", "嘉", "安", "永", "通", "佳", "美", "润", "博",
                                      "凯", "腾", "祥", "旺", "裕", "广", "升", "荣"};
const char* const trades[] = {"科技",     "机械",     "纺织", "食品", "建设", "物流", "电子",
                              "化工",     "医药",     "建材", "商贸", "能源", "农业", "印刷",
                              "汽车配件", "信息技术", "服装", "家具", "环保", "包装"};
const char* const offices[] = {"财政局",         "教育局", "人力资源和社会保障局", "卫生健康委员会",
                               "市场监督管理局", "税务局", "交通运输局",           "住房和城乡建设局",
                               "自然资源局",     "民政局"};
const char* const institutions[] = {"第一中学", "人民医院",     "实验小学", "疾病预防控制中心",
                                    "图书馆",   "职业技术学校", "中医院",   "妇幼保健院",
                                    "文化馆",   "广播电视台"};
const char* const associations[] = {"律师协会",         "慈善总会",       "红十字会",   "社会工作服务中心",
                                    "青少年发展基金会", "个体劳动者协会", "志愿者协会", "老年大学"};
const char* const areaCodes[] = {"010",  "021",  "022",  "023",  "025",  "027",  "028",  "029",
                                 "0311", "0351", "0371", "0431", "0451", "0471", "0531", "0551",
                                 "0571", "0591", "0731", "0755", "0771", "0791", "0851", "0871",
                                 "0891", "0931", "0951", "0971", "0991", "0898"};

template <size_t N> const char* pickFrom(Random& random, const char* const (&items)[N]) {
    return items[random.next() % N];
}

// Offsets of the survey tables inside the survey columns, in the order of the printed form.
enum Table { Z = 0, B = 16, H = 27, L = 44, F = 55, J = 63, W = 79, S = 80 };
constexpr int SurveyCount = 84;

struct Codes {
    std::vector<qint64> counties;
    std::vector<std::string> countyNames;
    std::vector<qint64> industries;
    std::vector<qint64> levels;
    std::vector<std::string> domains;
    std::vector<Weighted> categories;
    double categoryWeight = 0;
};

Codes readCodes(engine::Connection& connection) {
    Codes codes;
    engine::Statement cities(
        connection,
        QStringLiteral("select ID, Name from CT_CityName where Code2<>0 and Code3<>0 order by ID"));
    while (cities.step()) {
        codes.counties.push_back(cities.integer(0));
        codes.countyNames.push_back(cities.text(1).toStdString());
    }
    for (const TCode& code : loadCodeList(connection, CodeTable::Industry))
        codes.industries.push_back(code.code);
    engine::Statement domains(connection,
                              QStringLiteral("select ID from CT_UnionDomain where Code2<>0 order by ID"));
    while (domains.step())
        codes.domains.push_back(domains.text(0).toStdString());
    QSet<qint64> economic;
    for (const TCode& code : loadCodeList(connection, CodeTable::Economic))
        economic.insert(code.code);
    for (const Weighted& category : unitCategoryWeights) {
        if (economic.contains(category.code)) {
            codes.categories.push_back(category);
            codes.categoryWeight += category.weight;
        }
    }
    if (codes.counties.empty() || codes.industries.empty() || codes.categories.empty())
        throw Error(QStringLiteral("数据库中的代码表不完整，无法生成记录。"));
    return codes;
}

// One generated record: numeric columns and the texts.
struct Record {
    UnionCode code = 0;
    qint64 division = 0, level = 0, industry = 0, category = 0, hold = 0, filing = 1;
    std::string name, domain, filler, telephone;
    std::array<qint64, SurveyCount> v{};

    qint64& at(Table table, int number) { return v[size_t(table + number - 1)]; }
};

class Builder {
public:
    Builder(const Codes& codes, quint64 seed) : m_codes(codes), m_random(seed) {}

    Record build(UnionCode code, bool faulty) {
        Record r;
        r.code = code;
        chooseCover(r);
        fillTable1(r);
        fillTable2(r);
        const bool enterprise = fillsEnterpriseTables(r.category);
        if (enterprise) {
            fillTable3(r);
            fillTable4(r);
            fillTable5(r);
            fillTable6(r);
        }
        fillTables7and8(r);
        if (faulty)
            breakOneRule(r);
        return r;
    }

private:
    qint64 yesNo(double yes) { return m_random.chance(yes) ? 1 : 2; }
    qint64 upTo(qint64 high) { return m_random.between(0, std::max<qint64>(0, high)); }
    qint64 share(qint64 of, double low, double high) {
        return std::min<qint64>(of, qint64(std::floor(double(of) * m_random.within(low, high))));
    }

    qint64 pickCategory() {
        double target = m_random.unit() * m_codes.categoryWeight;
        for (const Weighted& category : m_codes.categories) {
            target -= category.weight;
            if (target < 0)
                return category.code;
        }
        return m_codes.categories.back().code;
    }

    // The holding situation that the unit category fixes, or one that its rule allows.
    qint64 holdingFor(qint64 category) {
        const HoldDecision rule = holdDecision(category, false, false);
        if (!rule.enabled)
            return rule.fixedValue;
        if (rule.value == HoldValue::KeepWhenNamed) // 169: anything but state holding
            return m_random.between(2, 3);
        if (rule.value == HoldValue::Set) // proposed by the category, mostly kept
            return m_random.chance(0.8) ? rule.fixedValue : m_random.between(1, 2);
        return m_random.between(1, 3);
    }

    void chooseCover(Record& r) {
        const size_t county = size_t(m_random.next() % m_codes.counties.size());
        r.division = m_codes.counties[county];
        const double level = m_random.unit();
        r.level = level < 0.78 ? 1 : (level < 0.92 ? 2 : 3);
        r.industry = m_random.pick(m_codes.industries);
        r.category = pickCategory();
        r.hold = holdingFor(r.category);
        r.filing = m_random.chance(0.92) ? 1 : 2;
        r.domain = m_codes.domains.empty() || m_random.chance(0.1) ? std::string("Z00")
                                                                   : m_random.pick(m_codes.domains);
        r.name = unionName(m_codes.countyNames[county], r);
        r.filler = std::string(pickFrom(m_random, surnames)) + pickFrom(m_random, givenNames);
        r.telephone = telephone();
    }

    std::string unionName(const std::string& place, const Record& r) {
        std::string name = place;
        if (r.level != 1) {
            name += brand();
            name += r.level == 2 ? "联合基层工会委员会" : "工业园区工会联合会";
        } else if (r.category == 401) {
            name += pickFrom(m_random, offices);
            name += "机关工会委员会";
        } else if (r.category == 402) {
            name += pickFrom(m_random, institutions);
            name += "工会委员会";
        } else if (!fillsEnterpriseTables(r.category)) {
            name += pickFrom(m_random, associations);
            name += "工会";
        } else if (r.category == 600) {
            name += brand() + "商行工会";
        } else {
            name += brand() + pickFrom(m_random, trades) + companySuffix(r.category) + "工会委员会";
        }
        // The name column holds at most 60 bytes of GBK text.
        return truncateToGbkBytes(QString::fromStdString(name), 60).toStdString();
    }

    std::string brand() {
        return std::string(pickFrom(m_random, brandSyllables)) + pickFrom(m_random, brandSyllables);
    }

    static const char* companySuffix(qint64 category) {
        switch (category) {
        case 110:
            return "厂";
        case 120:
            return "合作社";
        case 161:
        case 169:
            return "股份有限公司";
        case 151:
        case 159:
            return "有限责任公司";
        default:
            return "有限公司";
        }
    }

    std::string telephone() {
        std::string number;
        if (m_random.chance(0.5)) {
            static const char* const prefixes[] = {"13", "15", "17", "18", "19"};
            number = prefixes[m_random.next() % 5];
            for (int i = 0; i < 9; ++i)
                number += char('0' + m_random.next() % 10);
        } else {
            number = pickFrom(m_random, areaCodes);
            number += '-';
            // 7 or 8 digits after the area code, never more than 13 characters in all.
            const int digits = number.size() >= 5 ? 7 + int(m_random.next() % 2) : 8;
            number += char('2' + m_random.next() % 8);
            for (int i = 1; i < digits; ++i)
                number += char('0' + m_random.next() % 10);
        }
        return number;
    }

    void fillTable1(Record& r) {
        qint64& z001 = r.at(Z, 1);
        z001 = r.level == 1 ? 1 : m_random.between(2, 40);
        const double scale = std::exp(m_random.within(std::log(12.0), std::log(8000.0)));
        const qint64 z002 = std::max<qint64>(z001 + 3, qint64(scale) * (r.level == 1 ? 1 : 2));
        r.at(Z, 2) = z002;
        const qint64 z003 = share(z002, 0.15, 0.65);
        const qint64 z004 = share(z002, 0.0, 0.5);
        const qint64 z005 = share(std::min(z003, z004), 0.0, 0.7);
        r.at(Z, 3) = z003;
        r.at(Z, 4) = z004;
        r.at(Z, 5) = z005;
        // Members: all employees (and then every sub-count equal), or fewer than all.
        qint64 z006, z007, z008, z009;
        if (m_random.chance(0.3)) {
            z006 = z002;
            z007 = z003;
            z008 = z004;
            z009 = z005;
        } else {
            z006 = std::clamp<qint64>(share(z002, 0.6, 0.99), z001 + 1, z002 - 1);
            z007 = std::min(z003, share(z006, 0.15, 0.65));
            z008 = std::min(z004, share(z006, 0.0, 0.5));
            z009 = share(std::min({z005, z007, z008}), 0.5, 1.0);
        }
        r.at(Z, 6) = z006;
        r.at(Z, 7) = z007;
        r.at(Z, 8) = z008;
        r.at(Z, 9) = z009;
        // Union staff: at least one person, fewer in all than the members.
        const qint64 staffCap = z006 - 1;
        const qint64 z012 = 1 + upTo(std::min<qint64>(20, staffCap - 1));
        const qint64 z010 = upTo(std::min<qint64>(5, staffCap - z012));
        const qint64 z011 = share(std::min(z010, z007), 0.0, 1.0);
        const qint64 z013 = share(std::min(z012, z007 - z011), 0.0, 1.0);
        r.at(Z, 10) = z010;
        r.at(Z, 11) = z011;
        r.at(Z, 12) = z012;
        r.at(Z, 13) = z013;
        qint64 z014 = 0;
        if (z003 > 0) {
            const double kind = m_random.unit();
            z014 = kind < 0.6 ? 1 : (kind < 0.85 ? 2 : 0);
        }
        r.at(Z, 14) = z014;
        if (z014 != 0) {
            const qint64 z015 = upTo(z010);
            const qint64 least = z015 == 0 ? 1 : 0;
            r.at(Z, 15) = z015;
            r.at(Z, 16) = least + upTo(std::min<qint64>(3, z010 + z012 - z015 - least));
        }
    }

    void fillTable2(Record& r) {
        const bool enterprise = fillsEnterpriseTables(r.category);
        if (answersUnionContracts(r.category))
            r.at(B, 1) = yesNo(0.6);
        if (enterprise) {
            r.at(B, 2) = share(r.at(Z, 2), 0.7, 1.0);
            r.at(B, 3) = share(std::min(r.at(B, 2), r.at(Z, 4)), 0.5, 1.0);
        }
        if (r.level == 1 && answersUnionContracts(r.category)) {
            const qint64 b004 = yesNo(0.6);
            r.at(B, 4) = b004;
            r.at(B, 5) = b004 == 1 ? yesNo(0.5) : 2;
            r.at(B, 6) = b004 == 1 ? yesNo(0.5) : 2;
            r.at(B, 7) = yesNo(0.5);
            r.at(B, 8) = r.at(B, 5) == 1 ? 2 : yesNo(0.4);
            r.at(B, 9) = r.at(B, 6) == 1 ? 2 : yesNo(0.4);
        }
        r.at(B, 10) = yesNo(0.25);
        r.at(B, 11) = r.at(B, 10) == 1 ? m_random.between(1, 60) : 0;
    }

    void fillTable3(Record& r) {
        const qint64 z002 = r.at(Z, 2);
        const double kind = m_random.unit();
        const qint64 h001 = kind < 0.6 ? 1 : (kind < 0.85 ? 2 : 0);
        r.at(H, 1) = h001;
        r.at(H, 2) = h001 == 0 ? 2 : yesNo(0.85);
        if (h001 == 1) {
            r.at(H, 3) = std::clamp<qint64>(share(z002, 0.05, 0.3), 1, z002 - 1);
            r.at(H, 4) = share(std::min(r.at(H, 3), r.at(Z, 3)), 0.2, 0.7);
        }
        r.at(H, 5) = yesNo(0.8);
        if (!answersBoardQuestions(r.category))
            return;
        const qint64 h006 = yesNo(0.3);
        r.at(H, 6) = h006;
        if (h006 == 1) {
            const qint64 h007 = m_random.between(3, 13);
            r.at(H, 7) = h007;
            r.at(H, 8) = upTo(h007 / 2);
            r.at(H, 9) = upTo(std::min<qint64>(3, h007));
            r.at(H, 10) = upTo(std::min(r.at(H, 8), r.at(H, 9)));
        }
        r.at(H, 11) = h006 == 1 ? yesNo(0.6) : 2;
        const qint64 h012 = yesNo(0.3);
        r.at(H, 12) = h012;
        if (h012 == 1) {
            const qint64 h013 = m_random.between(3, 8);
            r.at(H, 13) = h013;
            r.at(H, 14) = upTo(h013 / 2);
            r.at(H, 15) = upTo(std::min<qint64>(3, h013));
            r.at(H, 16) = upTo(std::min(r.at(H, 14), r.at(H, 15)));
        }
        r.at(H, 17) = h012 == 1 ? yesNo(0.6) : 2;
    }

    void fillTable4(Record& r) {
        const qint64 l001 = yesNo(0.7);
        r.at(L, 1) = l001;
        if (l001 == 1) {
            r.at(L, 2) = upTo(std::min<qint64>(20, r.at(Z, 2) - 1));
            r.at(L, 3) = upTo(5);
            r.at(L, 4) = upTo(r.at(L, 3));
        }
        r.at(L, 5) = upTo(12);
        r.at(L, 6) = upTo(30);
        r.at(L, 7) = upTo(r.at(L, 6));
        r.at(L, 8) = upTo(3);
        r.at(L, 9) = yesNo(0.9);
        r.at(L, 10) = yesNo(0.9);
        r.at(L, 11) = yesNo(0.4);
    }

    void fillTable5(Record& r) {
        const qint64 z006 = r.at(Z, 6);
        const qint64 f001 = yesNo(0.6);
        r.at(F, 1) = f001;
        if (f001 == 1) {
            r.at(F, 2) = 1 + upTo(std::min<qint64>(9, z006 - 1));
            r.at(F, 4) = upTo(5);
        }
        r.at(F, 3) = upTo(std::min<qint64>(5, z006));
        const qint64 f005 = yesNo(0.6);
        r.at(F, 5) = f005;
        if (f005 == 1) {
            r.at(F, 6) = 1 + upTo(std::min<qint64>(5, z006 - 2));
            r.at(F, 7) = upTo(10);
            r.at(F, 8) = upTo(r.at(F, 7));
        }
    }

    void fillTable6(Record& r) {
        const qint64 z002 = r.at(Z, 2);
        const qint64 j001 = std::min<qint64>(z002 - 1, share(z002, 0.0, 0.4));
        r.at(J, 1) = j001;
        r.at(J, 2) = std::min(r.at(Z, 3), share(j001, 0.0, 0.6));
        r.at(J, 3) = std::min(r.at(Z, 4), share(j001, 0.0, 0.5));
        const qint64 j004 = yesNo(0.7);
        r.at(J, 4) = j004;
        if (j004 == 1) {
            r.at(J, 5) = 1 + upTo(z002);
            r.at(J, 6) = share(r.at(J, 5), 0.0, 0.5);
        }
        r.at(J, 7) = upTo(100);
        r.at(J, 8) = upTo(r.at(J, 7));
        r.at(J, 9) = upTo(10);
        r.at(J, 10) = upTo(6);
        r.at(J, 11) = upTo(4);
        r.at(J, 12) = upTo(5);
        r.at(J, 13) = j004 == 1 ? yesNo(0.7) : 2;
        const qint64 j014 = yesNo(0.4);
        r.at(J, 14) = j014;
        if (j014 == 1) {
            r.at(J, 15) = 1 + upTo(std::min<qint64>(10, z002 - 2));
            r.at(J, 16) = upTo(std::min<qint64>(10, z002 - 1));
        }
    }

    void fillTables7and8(Record& r) {
        r.at(W, 1) = yesNo(0.6);
        const double funds = m_random.unit();
        r.at(S, 1) = funds < 0.7 ? 1 : (funds < 0.9 ? 2 : 0);
        const double budget = m_random.unit();
        r.at(S, 2) = budget < 0.65 ? 1 : (budget < 0.9 ? 2 : 0);
        r.at(S, 3) = yesNo(0.7);
        r.at(S, 4) = r.at(S, 3) == 1 ? yesNo(0.5) : 2;
    }

    // Each of these breaks at least one consistency rule whatever the rest of the record holds.
    void breakOneRule(Record& r) {
        switch (m_random.next() % 6) {
        case 0:
            r.at(Z, 3) = r.at(Z, 2) + 1 + upTo(10); // more women than employees
            break;
        case 1:
            r.at(Z, 2) = r.at(Z, 1); // no more employees than covered units
            break;
        case 2:
            r.at(J, 1) = r.at(Z, 2); // as many technical workers as employees
            break;
        case 3:
            r.at(S, 3) = 2; // an audit office without an audit committee
            r.at(S, 4) = 1;
            break;
        case 4:
            r.at(B, 10) = 1; // a childcare class without children
            r.at(B, 11) = 0;
            break;
        default:
            r.at(Z, 14) = 3; // an answer outside the three options
            break;
        }
    }

    const Codes& m_codes;
    Random m_random;
};

constexpr int ColumnsPerRow = SurveyCount + 14;
// Records per insert statement: fewer statement runs for the same rows.
constexpr int RowsPerInsert = 32;

// An insert of rows records at once. "or rollback" ends the whole transaction on a failed row,
// which spares SQLite a statement journal per run; it is used only when the generator owns the
// transaction, so a caller's own transaction is never undone by it.
QString insertStatement(int rows, bool ownsTransaction) {
    const QStringList& names = dataColumnNames();
    QStringList tuples;
    for (int row = 0; row < rows; ++row) {
        QStringList marks;
        for (int i = 1; i <= names.size(); ++i)
            marks << QStringLiteral("?%1").arg(row * ColumnsPerRow + i);
        tuples << QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return QStringLiteral("insert %1into dt_data (%2) values %3")
        .arg(ownsTransaction ? QStringLiteral("or rollback ") : QString(), names.join(QLatin1Char(',')),
             tuples.join(QLatin1Char(',')));
}

void bindRecord(engine::Statement& insert, int row, const Record& r, qint64 id, const std::string& stamp) {
    const int base = row * ColumnsPerRow;
    auto text = [&insert, base](int position, const std::string& value) {
        insert.bindBorrowedText(base + position, value.data(), int(value.size()));
    };
    insert.bindInt64(base + 1, id);
    text(2, stamp);
    insert.bindInt64(base + 3, r.code); // c901 is REAL: stored as it always was
    text(4, r.name);
    insert.bindInt64(base + 5, r.division);
    insert.bindInt64(base + 6, r.level);
    insert.bindInt64(base + 7, r.industry);
    insert.bindInt64(base + 8, r.category);
    text(9, r.domain);
    insert.bindInt64(base + 10, r.hold);
    text(11, r.filler);
    text(12, r.telephone);
    insert.bindInt64(base + 13, r.filing);
    for (int i = 0; i < SurveyCount; ++i)
        insert.bindInt64(base + 14 + i, r.v[size_t(i)]);
    insert.bindInt64(base + 14 + SurveyCount, 0); // RecordState: held
}

void checkColumnLayout() {
    const auto& columns = surveyColumns();
    const struct {
        Table table;
        char letter;
    } starts[] = {{Z, 'z'}, {B, 'b'}, {H, 'h'}, {L, 'l'}, {F, 'f'}, {J, 'j'}, {W, 'w'}, {S, 's'}};
    bool ok = columns.size() == size_t(SurveyCount) && dataColumnNames().size() == SurveyCount + 14;
    for (const auto& start : starts)
        ok = ok && columns[size_t(start.table)].name[0] == start.letter &&
             QLatin1String(columns[size_t(start.table)].name + 1) == QLatin1String("001");
    if (!ok)
        throw Error(QStringLiteral("调查表的列布局与记录生成器不一致。"));
}

// The row number after the highest one in dt_data; refused when the new rows' numbers would pass the
// largest whole number a double holds exactly (2^53), which no real table comes near.
qint64 firstRowNumber(engine::Connection& connection, qint64 count) {
    constexpr qint64 LargestRowNumber = (qint64(1) << 53) - 1;
    const QVariant highest = connection.scalar(QStringLiteral("select max(id) from dt_data"));
    const double number = highest.isNull() ? 0.0 : engine::floatOf(highest);
    if (!(number >= 0.0 && number <= double(LargestRowNumber - count)))
        throw Error(QStringLiteral("数据表中的记录行号（id）已超出范围，不能再生成记录。"));
    return qint64(number) + 1;
}

// Drops the record table's schema objects of one kind and returns the statements that create them
// again.
QStringList setAside(engine::Connection& connection, const QString& kind) {
    QStringList names;
    QStringList created;
    engine::Statement list(connection,
                           QStringLiteral("select name, sql from sqlite_master where type=?1 "
                                          "and tbl_name='dt_data' and sql is not null order by name"));
    list.bind(1, kind);
    while (list.step()) {
        names << list.text(0);
        created << list.text(1);
    }
    for (const QString& name : names)
        connection.execute(QStringLiteral("drop %1 \"%2\"")
                               .arg(kind, QString(name).replace(QLatin1Char('"'), QLatin1String("\"\""))));
    return created;
}

struct FedRecord {
    Record record;
    bool faulty = false;
};

// Builds the records on a thread of its own, a batch ahead of the caller, so that making records
// and writing them overlap. The order and content are those of one Builder run with the seed.
class RecordFeed {
public:
    RecordFeed(const Codes& codes, quint64 seed, UnionCode first, qint64 count, double faultyShare)
        : m_builder(codes, seed), m_first(first), m_count(count), m_faultyShare(faultyShare),
          m_feed([this](const BatchFeed<std::vector<FedRecord>>::Hand& hand) { produce(hand); }) {}

    // The next batch in order; empty once every record was handed out.
    std::vector<FedRecord> next() { return m_feed.next(); }

private:
    static constexpr qint64 BatchSize = 2048;

    void produce(const BatchFeed<std::vector<FedRecord>>::Hand& hand) {
        for (qint64 start = 0; start < m_count; start += BatchSize) {
            std::vector<FedRecord> batch;
            const qint64 end = std::min(m_count, start + BatchSize);
            batch.reserve(size_t(end - start));
            for (qint64 i = start; i < end; ++i) {
                const bool faulty = isFaultyRecord(i, m_faultyShare);
                batch.push_back(FedRecord{m_builder.build(m_first + i, faulty), faulty});
            }
            if (!hand(std::move(batch)))
                return;
        }
    }

    Builder m_builder;
    const UnionCode m_first;
    const qint64 m_count;
    const double m_faultyShare;
    BatchFeed<std::vector<FedRecord>> m_feed; // last: its thread uses everything above
};

} // namespace

bool isFaultyRecord(qint64 index, double share) {
    if (share <= 0)
        return false;
    if (share >= 1)
        return true;
    return std::floor(double(index + 1) * share) > std::floor(double(index) * share);
}

GeneratorResult generateRecords(engine::Connection& connection, const GeneratorOptions& options,
                                ProgressReporter* progress) {
    checkColumnLayout();
    if (options.count < 0)
        throw Error(QStringLiteral("记录数不能为负数。"));
    GeneratorResult result;
    const Codes codes = readCodes(connection);
    UnionCode first = options.firstCode;
    if (first == 0) {
        const QVariant highest = connection.scalar(QStringLiteral("select max(c901) from dt_data"));
        // A code past the twelve digits saturates instead of wrapping, and is refused below.
        first = highest.isNull()
                    ? DefaultFirstCode
                    : std::min(saturatedUnionCode(engine::floatOf(highest)), LargestUnionCode) + 1;
    }
    if (first < SmallestUnionCode || first > LargestUnionCode - options.count + 1)
        throw Error(QStringLiteral("生成的编码必须是12位的数字（%1 到 %2）。")
                        .arg(SmallestUnionCode)
                        .arg(LargestUnionCode));
    const qint64 firstId = firstRowNumber(connection, options.count);
    const std::string stamp = machineStamp().toStdString();

    RecordFeed feed(codes, options.seed, first, options.count, options.faultyShare);
    // A bigger page cache keeps the right edges of the growing table and indexes in memory.
    const engine::ScopedCacheSize cache(connection, 32768);
    const bool ownsTransaction = !connection.inTransaction();
    engine::Transaction transaction(connection);
    const engine::WritebackAhead writeback(connection);
    // The generator numbers its rows itself, so the numbering trigger (which would run a
    // sub-program and a statement journal per row) is set aside inside the same transaction.
    const QStringList triggers = setAside(connection, QStringLiteral("trigger"));
    engine::Statement single(connection, insertStatement(1, ownsTransaction));
    engine::Statement multiple(connection, insertStatement(RowsPerInsert, ownsTransaction));
    if (progress)
        progress->start(QStringLiteral("正在生成记录..."), options.count, 0, true);
    qint64 i = 0;
    auto writeRows = [&](engine::Statement& insert, const FedRecord* fed, int rows) {
        for (int row = 0; row < rows; ++row)
            bindRecord(insert, row, fed[row].record, firstId + i + row, stamp);
        insert.run();
        insert.reset();
        for (int row = 0; row < rows; ++row)
            result.faulty += fed[row].faulty ? 1 : 0;
        const qint64 before = i;
        i += rows;
        if (progress && i / 10000 != before / 10000)
            progress->setDone(i);
    };
    for (std::vector<FedRecord> batch = feed.next(); !batch.empty(); batch = feed.next()) {
        size_t at = 0;
        for (; at + size_t(RowsPerInsert) <= batch.size(); at += size_t(RowsPerInsert))
            writeRows(multiple, &batch[at], RowsPerInsert);
        for (; at < batch.size(); ++at)
            writeRows(single, &batch[at], 1);
    }
    for (const QString& trigger : triggers)
        connection.execute(trigger);
    transaction.commit();
    if (progress)
        progress->finish();
    result.written = options.count;
    result.firstCode = first;
    result.lastCode = first + options.count - 1;
    return result;
}

} // namespace corvalis::records
