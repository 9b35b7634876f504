#include "SumDialog.h"

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "summary/CustomGroups.h"
#include "summary/SummaryBuilder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalis::summary {

namespace {

// Radio items by classification; the custom group's item stands last, beside its button.
const char* const TypeCaptions[] = {"行业分类", "单位类别", "组织类型",  "产业类别",
                                    "填报状态", "",         "按行政区划"};
const int TypeOrder[] = {ByIndustry,    ByUnitCategory, ByOrganisationType, ByIndustryCategory,
                         ByFilingState, ByDivision,     ByCustomGroup};
constexpr int EntryRole = Qt::UserRole;

QString tableListPath(const DbSession& session) {
    return session.programFolder().file(TableListFile::fileName());
}

} // namespace

TdlgSumForm::TdlgSumForm(DbSession& session, UiServices& ui, const Clock& clock, QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_clock(clock) {
    setObjectName(QStringLiteral("TdlgSumForm"));
    setWindowTitle(QStringLiteral("数据分类汇总"));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("TableList"));
    auto* tickAllButton = new QPushButton(QStringLiteral("全部选中"), this);
    tickAllButton->setObjectName(QStringLiteral("Button1"));
    auto* untickAllButton = new QPushButton(QStringLiteral("全部不选"), this);
    untickAllButton->setObjectName(QStringLiteral("Button2"));

    auto* sumType = new QGroupBox(QStringLiteral("汇总方式"), this);
    sumType->setObjectName(QStringLiteral("SumType"));
    m_sumType = new QButtonGroup(this);
    auto* types = new QHBoxLayout(sumType);
    m_types.resize(ClassificationCount);
    for (int i : TypeOrder) {
        auto* radio = new QRadioButton(QString::fromUtf8(TypeCaptions[i]), sumType);
        radio->setObjectName(QStringLiteral("SumType%1").arg(i));
        m_sumType->addButton(radio, i);
        m_types[size_t(i)] = radio;
        types->addWidget(radio);
    }
    m_group = new QToolButton(sumType);
    m_group->setObjectName(QStringLiteral("tbGroup"));
    m_group->setText(QStringLiteral("选择自定义分组"));
    m_group->setPopupMode(QToolButton::MenuButtonPopup);
    m_groupMenu = new QMenu(m_group);
    m_groupMenu->setObjectName(QStringLiteral("GroupMenu"));
    m_group->setMenu(m_groupMenu);
    types->addWidget(m_group);
    types->addStretch();
    m_types.front()->setChecked(true);

    auto* sum = new QPushButton(QStringLiteral("汇  总"), this);
    sum->setObjectName(QStringLiteral("tbSum"));
    sum->setToolTip(QStringLiteral("执行汇总"));
    auto* back = new QPushButton(QStringLiteral("返  回"), this);
    back->setObjectName(QStringLiteral("tbReturn"));
    for (QPushButton* b : {tickAllButton, untickAllButton, sum, back})
        b->setAutoDefault(false);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(tickAllButton);
    listButtons->addWidget(untickAllButton);
    listButtons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(sum);
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(listButtons);
    layout->addWidget(sumType);
    layout->addLayout(bottom);
    resize(640, 560);

    connect(tickAllButton, &QPushButton::clicked, this, [this] { tickAll(true); });
    connect(untickAllButton, &QPushButton::clicked, this, [this] { tickAll(false); });
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { tickSection(m_list->row(item)); });
    connect(m_group, &QToolButton::clicked, this, [this] { m_types[ByCustomGroup]->setChecked(true); });
    connect(m_groupMenu, &QMenu::aboutToShow, this, [this] { m_types[ByCustomGroup]->setChecked(true); });
    connect(sum, &QPushButton::clicked, this, &TdlgSumForm::runSummary);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);

    m_loaded = TableListFile::load(tableListPath(m_session));
    fillList(m_loaded);
    try {
        fillGroupMenu();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
}

void TdlgSumForm::fillList(const std::vector<TableListEntry>& entries) {
    m_list->clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        const TableListEntry& entry = entries[i];
        auto* item = new QListWidgetItem(entry.text, m_list);
        item->setData(EntryRole, int(i));
        if (entry.isHeader()) {
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
            item->setFlags(Qt::ItemIsEnabled);
        } else {
            Qt::ItemFlags flags = Qt::ItemIsUserCheckable | Qt::ItemIsSelectable;
            if (entry.enabled)
                flags |= Qt::ItemIsEnabled;
            item->setFlags(flags);
            item->setCheckState(entry.isTicked() ? Qt::Checked : Qt::Unchecked);
        }
    }
}

void TdlgSumForm::fillGroupMenu() {
    m_groupMenu->clear();
    const std::vector<CustomGroup> groups = loadGroups(m_session.connection());
    const bool any = !groups.empty();
    m_group->setEnabled(any);
    m_types[ByCustomGroup]->setEnabled(any);
    for (size_t i = 0; i < groups.size(); ++i) {
        const CustomGroup& group = groups[i];
        if (i == 0)
            chooseGroup(group.id);
        QAction* entry = m_groupMenu->addAction(group.name);
        entry->setObjectName(QStringLiteral("group%1").arg(group.id));
        entry->setEnabled(itemCount(m_session.connection(), group.id) > 0);
        const qint64 id = group.id;
        connect(entry, &QAction::triggered, this, [this, id] {
            try {
                m_types[ByCustomGroup]->setChecked(true);
                chooseGroup(id);
            } catch (const Error& error) {
                showRunError(m_ui, error.text());
            }
        });
    }
}

void TdlgSumForm::chooseGroup(qint64 id) {
    const std::optional<CustomGroup> group = findGroup(m_session.connection(), id);
    if (!group)
        return;
    m_groupId = group->id;
    m_group->setText(group->name);
}

void TdlgSumForm::tickAll(bool ticked) {
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->flags() & Qt::ItemIsUserCheckable)
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void TdlgSumForm::tickSection(int headerRow) {
    QListWidgetItem* header = m_list->item(headerRow);
    if (!header || !header->text().startsWith(QLatin1String("//")))
        return;
    for (int row = headerRow + 1; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->text().startsWith(QLatin1String("//")))
            break;
        item->setCheckState(Qt::Checked);
    }
}

std::vector<TableListEntry> TdlgSumForm::entries() const {
    std::vector<TableListEntry> result = m_loaded;
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem* item = m_list->item(row);
        TableListEntry& entry = result[size_t(item->data(EntryRole).toInt())];
        if (item->flags() & Qt::ItemIsUserCheckable)
            entry.state = item->checkState() == Qt::Checked ? CheckState::Ticked : CheckState::Unticked;
    }
    return result;
}

int TdlgSumForm::classification() const {
    return m_sumType->checkedId();
}

QString TdlgSumForm::runSummary() {
    SummaryRequest request;
    request.classification = classification();
    request.groupId = request.classification == ByCustomGroup ? m_groupId : 0;
    request.sheets = TableListFile::tickedSheets(entries());
    if (checkSheetChoice(request.sheets) == SheetChoice::Nothing)
        return QString();
    const QString path = temporarySummaryPath(summaryTemplateStem(request.classification), m_clock);
    SummaryBuilder builder(m_session.connection(), m_session.programFolder(), m_ui);
    // The window is repainted while the summary runs: nothing here may start a second action.
    const RunningGuard running(*this);
    try {
        if (!builder.build(request, path))
            return QString();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return QString();
    }
    m_ui.openWithShell(path);
    return path;
}

TdlgSumForm::RunningGuard::RunningGuard(TdlgSumForm& form) : m_form(form) {
    m_form.setRunning(true);
}

TdlgSumForm::RunningGuard::~RunningGuard() {
    m_form.setRunning(false);
}

void TdlgSumForm::setRunning(bool running) {
    m_running = running;
    if (running) {
        // Only what is enabled now is disabled, and later enabled again.
        std::vector<QWidget*> controls{m_list};
        for (QAbstractButton* button : findChildren<QAbstractButton*>())
            controls.push_back(button);
        for (QWidget* control : controls)
            if (control->isEnabled()) {
                control->setEnabled(false);
                m_disabledWhileRunning.push_back(control);
            }
    } else {
        for (const QPointer<QWidget>& control : m_disabledWhileRunning)
            if (control)
                control->setEnabled(true);
        m_disabledWhileRunning.clear();
    }
}

void TdlgSumForm::done(int result) {
    // Escape and the close box wait for a running summary.
    if (m_running)
        return;
    try {
        TableListFile::save(tableListPath(m_session), entries());
    } catch (const Error& error) {
        m_ui.showMessage(error.text(), QString(), MessageIcon::Warning);
    }
    QDialog::done(result);
}

} // namespace corvalis::summary
