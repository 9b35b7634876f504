#include "QueryListForm.h"

#include "ListDeletion.h"
#include "SearchWidgets.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/RecordList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalis::search {

QueryListForm::QueryListForm(DbSession& session, UiServices& ui, const Clock& clock, QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_clock(clock) {
    setObjectName(QStringLiteral("TdlgQueryListForm"));
    setWindowTitle(QStringLiteral("查询结果列表"));
    resize(900, 560);

    m_list = new RecordList(session, this);
    m_list->setObjectName(QStringLiteral("DBGrid1"));
    auto* countTitle = new QLabel(QStringLiteral("符合条件的数据总数："), this);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("CountLabel"));

    QPushButton* edit = namedButton(QStringLiteral("tbEdit"), QStringLiteral("修改数据信息"), this);
    QPushButton* remove = namedButton(QStringLiteral("tbDelete"), QStringLiteral("删除数据信息"), this);
    auto* exportButton = new QToolButton(this);
    exportButton->setObjectName(QStringLiteral("tbDataExport"));
    exportButton->setText(QStringLiteral("导出查询结果"));
    exportButton->setPopupMode(QToolButton::InstantPopup);
    auto* exportMenu = new QMenu(exportButton);
    QAction* toAccess = exportMenu->addAction(QStringLiteral("导出详细数据为Access文件"));
    toAccess->setObjectName(QStringLiteral("mnSaveAsAccess"));
    QAction* toExcel = exportMenu->addAction(QStringLiteral("导出结果列表为Excel文件"));
    toExcel->setObjectName(QStringLiteral("mnSaveAsExecel"));
    exportButton->setMenu(exportMenu);
    QPushButton* back = namedButton(QStringLiteral("tbReturn"), QStringLiteral("返  回"), this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(countTitle);
    bar->addWidget(m_count);
    bar->addStretch(1);
    bar->addWidget(edit);
    bar->addWidget(remove);
    bar->addWidget(exportButton);
    bar->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(bar);

    connect(edit, &QPushButton::clicked, this, [this] { runGuarded([this] { editCurrent(); }); });
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this] { runGuarded([this] { editCurrent(); }); });
    connect(m_list, &RecordList::enterReleased, this, [this] { runGuarded([this] { editCurrent(); }); });
    connect(remove, &QPushButton::clicked, this, [this] { runGuarded([this] { deleteSelected(); }); });
    connect(m_list, &RecordList::deleteReleased, this, [this] { runGuarded([this] { deleteSelected(); }); });
    connect(toAccess, &QAction::triggered, this, [this] { runGuarded([this] { saveAsAccess(); }); });
    connect(toExcel, &QAction::triggered, this, [this] { runGuarded([this] { saveAsExcel(); }); });
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
}

void QueryListForm::runGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
}

void QueryListForm::loadColumns() {
    // The visible fields of the dictionary, in its order; RecordState centred by its field name.
    TFieldDataArray visible;
    for (const TFieldData& field : loadFieldDictionary(m_session.connection()))
        if (field.visible)
            visible.push_back(field);
    m_list->setDictionary(visible, true);
    if (!visible.empty())
        m_list->markSorted(0, SortState::Ascending);
}

void QueryListForm::runQuery(const Condition& condition) {
    m_condition = condition;
    m_list->setSource(QStringLiteral("view_data"), condition.sql, condition.params);
    loadColumns();
    m_count->setText(QString::number(m_list->recordCount()));
}

int QueryListForm::resultCount() const {
    return m_count->text().toInt();
}

QuerySource QueryListForm::resultQuery() const {
    // The workbook lists the records in the order the list shows them.
    return {QStringLiteral("SELECT * from view_data ") + m_condition.sql + QStringLiteral(" order by ") +
                m_list->model().orderBy(),
            m_condition.params};
}

QuerySource QueryListForm::detailQuery() const {
    return {QStringLiteral("SELECT * from dt_data ") + m_condition.sql + QStringLiteral(" order by c901 asc"),
            m_condition.params};
}

void QueryListForm::editCurrent() {
    if (m_list->isEmpty() || !m_edit)
        return;
    const auto code = m_list->currentCode();
    if (!code)
        return;
    m_edit(*code);
    m_list->refreshKeepingPosition();
}

void QueryListForm::deleteSelected() {
    RecordListDeletion access(*m_list);
    deleteSelectedRecords(access, m_session.connection(), QStringLiteral("dt_data"), QStringLiteral("c901"),
                          m_ui);
}

TFieldDataArray QueryListForm::buildExportColumns() const {
    TFieldDataArray columns;
    const RecordListModel& model = m_list->model();
    for (int i = 0; i < model.columnCount(); ++i) {
        TFieldData field = model.columns()[size_t(i)];
        QString title = model.title(i);
        if (title.contains(SortUpMark) || title.contains(SortDownMark))
            title.chop(1);
        field.hint = title;
        field.queryShow = true;
        columns.push_back(field);
    }
    return columns;
}

void QueryListForm::saveAsExcel() {
    saveQueryAsExcel(m_session.connection(), resultQuery(), exportName(), buildExportColumns(), m_ui,
                     m_clock);
}

void QueryListForm::saveAsAccess() {
    saveQueryAsAccess(m_session.connection(), detailQuery(), exportName(), m_ui, m_clock);
}

} // namespace corvalis::search
