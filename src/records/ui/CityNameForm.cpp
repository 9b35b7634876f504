#include "CityNameForm.h"

#include "PickerGrid.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace corvalis::records {

namespace {
const QString DivisionColumns =
    QStringLiteral("select ID, Code1, Code2, Code3, Name, CombName from CT_CityName ");
}

TCityNameForm::TCityNameForm(engine::Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    setObjectName(QStringLiteral("TCityNameForm"));
    setWindowTitle(QStringLiteral("中华人民共和国行政区划"));
    m_provinceGrid = makePickerGrid(QStringLiteral("CityName1"), QStringLiteral("省级地区"), this);
    m_prefectureGrid =
        makePickerGrid(QStringLiteral("CityName2"), QStringLiteral("地市及直辖市所属区县"), this);
    m_countyGrid =
        makePickerGrid(QStringLiteral("CityName3"), QStringLiteral("县、市辖区、县级市、旗"), this);

    auto* lists = new QHBoxLayout;
    for (QTableWidget* grid : {m_provinceGrid, m_prefectureGrid, m_countyGrid})
        lists->addWidget(grid);
    QPushButton* ok = layOutPicker(
        this, lists,
        QStringLiteral("说明：基于民政部公布的《2018年7月中华人民共和国县以上行政区划代码》编排"));
    setFixedSize(720, 480);

    connect(ok, &QPushButton::clicked, this, &TCityNameForm::confirm);
    connect(m_provinceGrid, &QTableWidget::currentCellChanged, this,
            [this](int row) { provinceChosen(row); });
    connect(m_prefectureGrid, &QTableWidget::currentCellChanged, this,
            [this](int row) { prefectureChosen(row); });
    connect(m_countyGrid, &QTableWidget::currentCellChanged, this, [this](int row) { countyChosen(row); });
    connect(m_countyGrid, &QTableWidget::cellDoubleClicked, this, &TCityNameForm::countyDoubleClicked);

    m_provinces = read(DivisionColumns + QStringLiteral("where Code2=0 order by Code1, Code2, Code3"), {});
}

TCityNameForm::Divisions TCityNameForm::read(const QString& sql, const QVariantList& params) {
    engine::Statement statement(m_connection, sql);
    statement.bindAll(params);
    Divisions rows;
    while (statement.step())
        rows.push_back({statement.integer(0), int(statement.integer(1)), int(statement.integer(2)),
                        int(statement.integer(3)), statement.text(4), statement.text(5)});
    return rows;
}

void TCityNameForm::fill(QTableWidget* grid, Divisions& rows, const Divisions& source, int current) {
    rows = source;
    QStringList names;
    for (const Division& row : rows)
        names << row.name;
    setPickerRows(grid, names, current);
}

void TCityNameForm::showEvent(QShowEvent* event) {
    prepare();
    QDialog::showEvent(event);
}

void TCityNameForm::prepare() {
    const DivisionParts parts = splitDivisionCode(m_selectedId);
    m_province = parts.province;
    m_prefecture = parts.prefecture;
    m_county = parts.county;
    int current = -1;
    for (size_t i = 0; i < m_provinces.size(); ++i)
        if (m_provinces[i].code1 == m_province)
            current = int(i);
    fill(m_provinceGrid, m_provinces, Divisions(m_provinces), current);
    fillPrefectures();
    fillCounties();
}

void TCityNameForm::fillPrefectures() {
    const Divisions rows =
        read(DivisionColumns + QStringLiteral("where Code1=? and Code2<>0 and Code3=0 order by Code2"),
             {m_province});
    int current = -1;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].code2 == m_prefecture)
            current = int(i);
    fill(m_prefectureGrid, m_prefectures, rows, current);
}

void TCityNameForm::fillCounties() {
    const Divisions rows = read(DivisionColumns + QStringLiteral("where Code1=? and Code2=? order by Code3"),
                                {m_province, m_prefecture});
    int current = -1;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].code3 == m_county)
            current = int(i);
    fill(m_countyGrid, m_counties, rows, current);
}

void TCityNameForm::provinceChosen(int row) {
    if (row < 0 || row >= int(m_provinces.size()))
        return;
    m_province = m_provinces[size_t(row)].code1;
    m_prefecture = 1;
    m_county = 0;
    fillPrefectures();
    fillCounties();
}

void TCityNameForm::prefectureChosen(int row) {
    if (row < 0 || row >= int(m_prefectures.size()))
        return;
    if (const Division* province = currentOf(m_provinceGrid, m_provinces))
        m_province = province->code1;
    m_prefecture = m_prefectures[size_t(row)].code2;
    m_county = 0;
    fillCounties();
}

void TCityNameForm::countyChosen(int row) {
    if (row >= 0 && row < int(m_counties.size()))
        m_county = m_counties[size_t(row)].code3;
}

const TCityNameForm::Division* TCityNameForm::currentOf(QTableWidget* grid, const Divisions& rows) const {
    const int row = grid->currentRow();
    return row >= 0 && row < int(rows.size()) ? &rows[size_t(row)] : nullptr;
}

void TCityNameForm::confirm() {
    const Division* county = currentOf(m_countyGrid, m_counties);
    QString name = county ? county->combName.trimmed() : QString();
    if (!name.isEmpty()) {
        m_selectedId = county->id;
        m_selectedName = name;
    } else if (const Division* province = currentOf(m_provinceGrid, m_provinces)) {
        m_selectedId = province->id;
        m_selectedName = province->combName.trimmed();
    }
    accept();
}

void TCityNameForm::countyDoubleClicked() {
    const Division* county = currentOf(m_countyGrid, m_counties);
    if (!county)
        return;
    m_selectedId = county->id;
    m_selectedName = county->combName.trimmed();
    accept();
}

} // namespace corvalis::records
