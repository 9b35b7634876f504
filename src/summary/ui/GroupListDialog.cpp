#include "GroupListDialog.h"

#include "GroupItemDialog.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "summary/GroupTransfer.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace corvalis::summary {

namespace {
QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* created = new QPushButton(text, parent);
    created->setObjectName(QString::fromLatin1(name));
    created->setAutoDefault(false);
    return created;
}
} // namespace

TdlgGroupListForm::TdlgGroupListForm(DbSession& session, UiServices& ui, const QStringList& groupTables,
                                     QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_groupTables(groupTables) {
    setObjectName(QStringLiteral("TdlgGroupListForm"));
    setWindowTitle(QStringLiteral("自定义分组列表"));
    m_editItems = [this](qint64 groupId, const QString& name) {
        TdlgGroupItemForm items(
            m_session, m_ui, groupId, name, [this] { readGroups(); }, this);
        items.exec();
    };

    m_grid = new QTableWidget(0, 1, this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("名称")});
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);

    auto* add = button(QStringLiteral("增  加"), "tbAdd", this);
    m_remove = button(QStringLiteral("除  去"), "tbRemove", this);
    m_edit = button(QStringLiteral("修  改"), "tbEdit", this);
    auto* import = button(QStringLiteral("导  入"), "btnImport", this);
    auto* exportButton = button(QStringLiteral("导  出"), "btnExport", this);
    auto* back = button(QStringLiteral("返  回"), "btnReturn", this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, m_remove, m_edit, import, exportButton, back})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(420, 320);

    connect(add, &QPushButton::clicked, this, [this] { runGuarded([this] { addNewGroup(); }); });
    connect(m_edit, &QPushButton::clicked, this, [this] { runGuarded([this] { editCurrentGroup(); }); });
    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
            [this] { runGuarded([this] { editCurrentGroup(); }); });
    connect(m_remove, &QPushButton::clicked, this, [this] { runGuarded([this] { removeCurrentGroup(); }); });
    connect(import, &QPushButton::clicked, this, [this] {
        importGroupTables(m_session.connection(), m_groupTables, m_ui);
        runGuarded([this] { readGroups(); });
    });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        exportGroupTables(m_session.programFolder().defaultDatabase(), m_groupTables, m_ui);
        updateButtons();
    });
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
    runGuarded([this] { readGroups(); });
}

void TdlgGroupListForm::readGroups() {
    const int keep = std::max(0, m_grid->currentRow());
    m_groups = loadGroups(m_session.connection());
    m_grid->setRowCount(int(m_groups.size()));
    for (int row = 0; row < int(m_groups.size()); ++row)
        m_grid->setItem(row, 0, new QTableWidgetItem(m_groups[size_t(row)].name));
    if (!m_groups.empty())
        m_grid->setCurrentCell(std::min(keep, int(m_groups.size()) - 1), 0);
    updateButtons();
}

const CustomGroup* TdlgGroupListForm::currentGroup() const {
    const int row = m_grid->currentRow();
    return row >= 0 && row < int(m_groups.size()) ? &m_groups[size_t(row)] : nullptr;
}

void TdlgGroupListForm::addNewGroup() {
    std::optional<QString> name;
    do {
        name = m_ui.promptText(QStringLiteral("自定义分组"), QStringLiteral("输入本种分组方式的名称"),
                               QString());
        if (!name)
            return;
    } while (name->isEmpty());
    const qint64 id = addGroup(m_session.connection(), *name);
    readGroups();
    for (int row = 0; row < int(m_groups.size()); ++row)
        if (m_groups[size_t(row)].id == id)
            m_grid->setCurrentCell(row, 0);
    m_editItems(id, *name);
    readGroups();
}

void TdlgGroupListForm::editCurrentGroup() {
    const CustomGroup* group = currentGroup();
    if (!group)
        return;
    const CustomGroup chosen = *group;
    m_editItems(chosen.id, chosen.name);
    readGroups();
}

void TdlgGroupListForm::removeCurrentGroup() {
    const CustomGroup* group = currentGroup();
    if (!group || !m_ui.askYesNo(ConfirmDeleteMessage))
        return;
    removeGroup(m_session.connection(), group->id);
    readGroups();
}

void TdlgGroupListForm::updateButtons() {
    const bool any = !m_groups.empty();
    m_remove->setEnabled(any);
    m_edit->setEnabled(any);
}

void TdlgGroupListForm::runGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
    updateButtons();
}

} // namespace corvalis::summary
