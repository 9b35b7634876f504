#include "UnionTypeForm.h"

#include "PickerGrid.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace corvalis::records {

namespace {
const QString DomainColumns = QStringLiteral("select ID, Code1, Code2, Name, CombName from CT_UnionDomain ");

template <typename Rows> QStringList combNames(const Rows& rows) {
    QStringList names;
    for (const auto& row : rows)
        names << row.combName;
    return names;
}
} // namespace

TUnionTypeForm::TUnionTypeForm(engine::Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    setObjectName(QStringLiteral("TUnionTypeForm"));
    setWindowTitle(QStringLiteral("产业类别"));
    m_categoryGrid = makePickerGrid(QStringLiteral("TypeList1"), QStringLiteral("门类"), this);
    m_entryGrid = makePickerGrid(QStringLiteral("TypeList2"), QStringLiteral("工会产业类别"), this);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_categoryGrid, 1);
    lists->addWidget(m_entryGrid, 1);
    QPushButton* ok =
        layOutPicker(this, lists,
                     QStringLiteral("说明：依据2009年全国总工会基层工会所在单位按产业分类的规定编排，\n"
                                    "工会产业类别按基层工会所在单位的主营业务确定。"));
    resize(760, 480);

    connect(ok, &QPushButton::clicked, this, &TUnionTypeForm::confirm);
    connect(m_categoryGrid, &QTableWidget::currentCellChanged, this,
            [this](int row) { categoryChosen(row); });
    connect(m_entryGrid, &QTableWidget::currentCellChanged, this, [this](int row) { entryChosen(row); });
    connect(m_entryGrid, &QTableWidget::cellDoubleClicked, this, &TUnionTypeForm::confirm);

    m_categories = read(DomainColumns + QStringLiteral("where Code2=0 order by Code1, Code2"), {});
}

TUnionTypeForm::Domains TUnionTypeForm::read(const QString& sql, const QVariantList& params) {
    engine::Statement statement(m_connection, sql);
    statement.bindAll(params);
    Domains rows;
    while (statement.step())
        rows.push_back({statement.text(0), statement.text(1), int(statement.integer(2)), statement.text(3),
                        statement.text(4)});
    return rows;
}

void TUnionTypeForm::showEvent(QShowEvent* event) {
    prepare();
    QDialog::showEvent(event);
}

void TUnionTypeForm::prepare() {
    const DomainParts parts =
        splitDomainCode(m_selectedCode.isEmpty() ? QStringLiteral("A01") : m_selectedCode);
    m_letter = parts.letter;
    m_number = parts.number;
    int current = -1;
    for (size_t i = 0; i < m_categories.size(); ++i)
        if (m_categories[i].code1 == m_letter)
            current = int(i);
    setPickerRows(m_categoryGrid, combNames(m_categories), current);
    fillEntries();
}

void TUnionTypeForm::fillEntries() {
    m_entries = read(DomainColumns + QStringLiteral("where Code1=? and Code2<>0 order by Code2"), {m_letter});
    int current = -1;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].code2 == m_number)
            current = int(i);
    setPickerRows(m_entryGrid, combNames(m_entries), current);
}

void TUnionTypeForm::categoryChosen(int row) {
    if (row < 0 || row >= int(m_categories.size()))
        return;
    m_letter = m_categories[size_t(row)].code1;
    m_number = 1;
    fillEntries();
}

void TUnionTypeForm::entryChosen(int row) {
    if (row < 0 || row >= int(m_entries.size()))
        return;
    const int category = m_categoryGrid->currentRow();
    if (category >= 0 && category < int(m_categories.size()))
        m_letter = m_categories[size_t(category)].code1;
    m_number = m_entries[size_t(row)].code2;
}

void TUnionTypeForm::confirm() {
    const int entry = m_entryGrid->currentRow();
    const int category = m_categoryGrid->currentRow();
    if (entry >= 0 && entry < int(m_entries.size()) && !m_entries[size_t(entry)].id.isEmpty()) {
        m_selectedCode = m_entries[size_t(entry)].id;
        m_selectedName = m_entries[size_t(entry)].name.trimmed();
    } else if (category >= 0 && category < int(m_categories.size())) {
        m_selectedCode = m_categories[size_t(category)].id;
        m_selectedName = m_categories[size_t(category)].name.trimmed();
    }
    accept();
}

} // namespace corvalis::records
