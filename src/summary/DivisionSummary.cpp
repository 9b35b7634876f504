#include "DivisionSummary.h"

#include <optional>

namespace corvalis::summary {

namespace {

constexpr qint64 FirstDivisionCode = 100000;
constexpr qint64 LastDivisionCode = 999999;

qint64 provinceOf(qint64 code) {
    return code / 10000 * 10000;
}

qint64 prefectureOf(qint64 code) {
    return code / 100 * 100;
}

bool isProvince(qint64 code) {
    return code % 10000 == 0;
}

bool isPrefecture(qint64 code) {
    return !isProvince(code) && code % 100 == 0;
}

// The code a row of sums stands for, when it is a division the code table knows.
std::optional<qint64> divisionCode(const SummaryRow& sums, const DivisionNames& names) {
    bool ok = false;
    const qint64 code = sums.label.toLongLong(&ok);
    if (!ok || code < FirstDivisionCode || code > LastDivisionCode || names.count(code) == 0)
        return std::nullopt;
    return code;
}

QString nameOf(qint64 code, const DivisionNames& names) {
    const auto found = names.find(code);
    // A parent missing from the code table still gets its row, under its code.
    return found == names.end() ? QString::number(code) : found->second;
}

bool isWhole(const QVariant& value) {
    const int type = value.typeId();
    return type == QMetaType::LongLong || type == QMetaType::Int || type == QMetaType::ULongLong ||
           type == QMetaType::UInt;
}

void addInto(std::vector<QVariant>& total, const std::vector<QVariant>& values) {
    if (total.size() < values.size())
        total.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        total[i] = addSums(total[i], values[i]);
}

// percent_z003 divides the records answering z014 with 1 or 2 by the records with women employees
// (count_z003); that numerator is sum_z014_1 + sum_z014_2, whose formulas add up to the one divided.
struct PercentColumns {
    int percent = -1, yes = -1, two = -1, count = -1;

    explicit PercentColumns(const QStringList& columns)
        : percent(int(columns.indexOf(QStringLiteral("percent_z003")))),
          yes(int(columns.indexOf(QStringLiteral("sum_z014_1")))),
          two(int(columns.indexOf(QStringLiteral("sum_z014_2")))),
          count(int(columns.indexOf(QStringLiteral("count_z003")))) {}

    void recompute(std::vector<QVariant>& values) const {
        if (percent < 0 || yes < 0 || two < 0 || count < 0 || size_t(percent) >= values.size())
            return;
        const QVariant numerator = addSums(values[size_t(yes)], values[size_t(two)]);
        const double denominator = values[size_t(count)].toDouble();
        values[size_t(percent)] = denominator > 0 && !numerator.isNull()
                                      ? QVariant(numerator.toDouble() / denominator)
                                      : QVariant();
    }
};

// Collects the rows in their final order; subtotal rows are added to as the rows under them arrive.
class DivisionTree {
public:
    DivisionTree(const DivisionNames& names, size_t width) : m_names(names) {
        m_rows.push_back({DivisionTotalLabel, std::vector<QVariant>(width), TotalLevel});
    }

    void setTotal(int column, const QVariant& value) { m_rows.front().values[size_t(column)] = value; }

    void addDivision(qint64 code, const std::vector<QVariant>& values) {
        const qint64 province = provinceOf(code);
        if (province != m_province) {
            m_provinceRow = openSubtotal(nameOf(province, m_names), ProvinceLevel, values.size());
            m_province = province;
            m_prefecture = 0;
        }
        if (isProvince(code)) {
            addLeaf(nameOf(code, m_names) + OwnLevelSuffix, PrefectureLevel, values, {m_provinceRow});
            return;
        }
        const qint64 prefecture = prefectureOf(code);
        if (prefecture != m_prefecture) {
            m_prefectureRow = openSubtotal(nameOf(prefecture, m_names), PrefectureLevel, values.size());
            m_prefecture = prefecture;
        }
        const QString label =
            isPrefecture(code) ? nameOf(code, m_names) + OwnLevelSuffix : nameOf(code, m_names);
        addLeaf(label, CountyLevel, values, {m_provinceRow, m_prefectureRow});
    }

    void addUnknown(const std::vector<QVariant>& values) {
        if (!m_unknown)
            m_unknown = SummaryRow{UnknownDivisionLabel, {}, ProvinceLevel};
        addInto(m_unknown->values, values);
        addInto(m_rows.front().values, values);
    }

    std::vector<SummaryRow> finish(const PercentColumns& percent) {
        if (m_unknown)
            m_rows.push_back(*m_unknown);
        // Subtotals added the percentages too; a row of one code gets the engine's value again.
        for (SummaryRow& row : m_rows)
            percent.recompute(row.values);
        return std::move(m_rows);
    }

private:
    size_t openSubtotal(const QString& label, int level, size_t width) {
        m_rows.push_back({label, std::vector<QVariant>(width), level});
        return m_rows.size() - 1;
    }

    void addLeaf(const QString& label, int level, const std::vector<QVariant>& values,
                 std::initializer_list<size_t> parents) {
        m_rows.push_back({label, values, level});
        addInto(m_rows.front().values, values);
        for (size_t parent : parents)
            addInto(m_rows[parent].values, values);
    }

    const DivisionNames& m_names;
    std::vector<SummaryRow> m_rows;
    std::optional<SummaryRow> m_unknown;
    qint64 m_province = -1, m_prefecture = -1;
    size_t m_provinceRow = 0, m_prefectureRow = 0;
};

} // namespace

QString divisionStatement(const std::vector<int>& sheets) {
    return QStringLiteral("select c903,c903,") + sheetsSelectList(sheets) + QStringLiteral(" group by c903");
}

QVariant addSums(const QVariant& a, const QVariant& b) {
    if (b.isNull())
        return a;
    if (a.isNull())
        return b;
    if (isWhole(a) && isWhole(b)) {
        qint64 total = 0;
        if (!__builtin_add_overflow(a.toLongLong(), b.toLongLong(), &total))
            return QVariant(total);
    }
    return QVariant(a.toDouble() + b.toDouble());
}

std::vector<SummaryRow> rollUpDivisions(const std::vector<SummaryRow>& sumsByCode, const DivisionNames& names,
                                        const QStringList& columns) {
    // Ordered by code; a code that reached the engine in two forms (whole and real) is one division.
    std::map<qint64, std::vector<QVariant>> known;
    DivisionTree tree(names, size_t(columns.size()));
    // count(*) over no records is 0, where every sum is empty.
    if (const int count = int(columns.indexOf(QStringLiteral("cnt"))); count >= 0)
        tree.setTotal(count, QVariant(qint64(0)));
    for (const SummaryRow& sums : sumsByCode) {
        if (const std::optional<qint64> code = divisionCode(sums, names))
            addInto(known[*code], sums.values);
        else
            tree.addUnknown(sums.values);
    }
    for (const auto& [code, values] : known)
        tree.addDivision(code, values);
    return tree.finish(PercentColumns(columns));
}

} // namespace corvalis::summary
