#include "SaveListForm.h"

#include "SearchWidgets.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalis::search {

namespace {
const QString GroupButtonCaption = QStringLiteral("     选择自定义分组");

Qt::CheckState checkStateOf(int state) {
    switch (state) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}
} // namespace

SaveListForm::SaveListForm(CommandHost& window, QWidget* parent)
    : QDialog(parent ? parent : window.dialogParent()), m_window(window) {
    setObjectName(QStringLiteral("TdlgSaveListForm"));
    setWindowTitle(QStringLiteral("选择导出数据的方式"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);

    m_tables = new QListWidget(this);
    m_tables->setObjectName(QStringLiteral("TableList"));
    auto* group = new QGroupBox(QStringLiteral("导出的内容"), this);
    m_all = new QRadioButton(QStringLiteral("所有的数据"), group);
    m_all->setObjectName(QStringLiteral("AllRecord"));
    m_all->setChecked(true);
    m_range = new QRadioButton(QStringLiteral("指定单位编号的范围"), group);
    m_range->setObjectName(QStringLiteral("Range"));
    m_from = digitEdit(QStringLiteral("c901_1"), group, 12);
    m_to = digitEdit(QStringLiteral("c901_2"), group, 12);
    m_groupChoice = new QRadioButton(group);
    m_groupChoice->setObjectName(QStringLiteral("radioGroup"));
    m_groupButton = new QToolButton(group);
    m_groupButton->setObjectName(QStringLiteral("tbGroup"));
    m_groupButton->setText(GroupButtonCaption);
    m_groupButton->setPopupMode(QToolButton::InstantPopup);
    m_groupMenu = new QMenu(m_groupButton);
    m_groupMenu->setObjectName(QStringLiteral("GroupMenu"));
    m_groupButton->setMenu(m_groupMenu);
    m_onlyShown = new QCheckBox(QStringLiteral("只导出显示的部分"), this);
    m_onlyShown->setObjectName(QStringLiteral("CheckBox1"));
    m_onlyShown->hide();

    auto* grid = new QGridLayout(group);
    grid->addWidget(m_all, 0, 0, 1, 5);
    grid->addWidget(m_range, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("从"), group), 1, 1);
    grid->addWidget(m_from, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("到"), group), 1, 3);
    grid->addWidget(m_to, 1, 4);
    grid->addWidget(m_groupChoice, 2, 0);
    grid->addWidget(m_groupButton, 2, 1, 1, 4);

    m_save = namedButton(QStringLiteral("tbSave"), QStringLiteral("导  出"), this);
    m_back = namedButton(QStringLiteral("tbReturn"), QStringLiteral("返  回"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tables, 1);
    layout->addWidget(group);
    layout->addWidget(m_onlyShown);
    layout->addLayout(buttons);

    connect(m_save, &QPushButton::clicked, this, [this] { exportList(); });
    connect(m_back, &QPushButton::clicked, this, [this] { finish(); });
}

void SaveListForm::showEvent(QShowEvent* event) {
    if (!m_loaded) {
        m_loaded = true;
        loadTables();
        loadGroups();
    }
    QDialog::showEvent(event);
}

void SaveListForm::loadTables() {
    std::vector<ExportTableItem> items = builtInExportTables();
    try {
        items = loadExportTables(m_window.session().programFolder().file(ExportTableFileName));
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
    }
    m_tables->clear();
    for (const ExportTableItem& entry : items) {
        auto* item = new QListWidgetItem(entry.caption, m_tables);
        Qt::ItemFlags flags = Qt::ItemIsUserCheckable | Qt::ItemIsSelectable;
        if (entry.enabled)
            flags |= Qt::ItemIsEnabled;
        item->setFlags(flags);
        item->setCheckState(checkStateOf(entry.state));
    }
}

void SaveListForm::loadGroups() {
    std::vector<GroupRange> ranges;
    try {
        ranges = loadGroupRanges(m_window.session().connection());
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
    }
    m_groupButton->setEnabled(!ranges.empty());
    m_groupChoice->setEnabled(!ranges.empty());
    if (ranges.empty())
        return;
    m_group = ranges.front();
    m_groupButton->setText(m_group->title);
    for (const GroupRange& range : ranges) {
        QAction* entry = m_groupMenu->addAction(range.title);
        const qint64 id = range.id;
        connect(entry, &QAction::triggered, this, [this, id] { chooseGroupRange(id); });
    }
}

void SaveListForm::chooseGroupRange(qint64 id) {
    if (const auto range = findGroupRange(m_window.session().connection(), id)) {
        m_group = range;
        m_groupButton->setText(range->title);
    }
}

void SaveListForm::setChoicesEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{m_all, m_range, m_groupChoice, m_groupButton})
        control->setEnabled(enabled);
    m_save->setEnabled(enabled);
    m_back->setEnabled(enabled);
}

QString SaveListForm::exportList() {
    if (!m_loaded) {
        m_loaded = true;
        loadTables();
        loadGroups();
    }
    const bool groupsAvailable = m_group.has_value();
    setChoicesEnabled(false);
    m_window.ui().keepResponsive();
    std::vector<ExportTableItem> items;
    for (int i = 0; i < m_tables->count(); ++i) {
        const QListWidgetItem* item = m_tables->item(i);
        items.push_back(
            {item->text(), bool(item->flags() & Qt::ItemIsEnabled),
             item->checkState() == Qt::Checked ? 1 : (item->checkState() == Qt::Unchecked ? 0 : 2)});
    }
    ListChoice choice;
    if (m_range->isChecked()) {
        choice.kind = ListChoice::Range;
        choice.low = m_from->text();
        choice.high = m_to->text();
    } else if (m_groupChoice->isChecked() && m_group) {
        choice.kind = ListChoice::Group;
        choice.group = *m_group;
    }
    QString written;
    try {
        written = exportRecordList(m_window.session(), tickedLetters(items), choice, m_window.ui(),
                                   m_window.clock());
        if (choice.kind == ListChoice::Range)
            m_to->setText(choice.high);
    } catch (const Error& error) {
        showRunError(m_window.ui(), error.text());
    }
    setChoicesEnabled(true);
    m_groupChoice->setEnabled(groupsAvailable);
    m_groupButton->setEnabled(groupsAvailable);
    return written;
}

void SaveListForm::finish() {
    m_window.settings().setFlag(Setting::ListExportOnlyShown, m_onlyShown->isChecked());
    accept();
}

} // namespace corvalis::search
