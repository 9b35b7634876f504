#include "GroupItemDialog.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/CodePopup.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace corvalis::summary {

namespace {

struct GridColumn {
    const char* field; // the column of view_group_item the sort text names
    const char* title;
};
const GridColumn GridColumns[] = {
    {"title", "数据项目名称"}, {"LowValue", "编号下限"}, {"HighValue", "编号上限"}};
constexpr int GridColumnCount = 3;

const QColor SortedTitleColour(0, 255, 0); // lime green
const QString AscendingArrow = QStringLiteral(" ▲");
const QString DescendingArrow = QStringLiteral(" ▼");

QString lowValue(const GroupItem& item) {
    return item.lowSymbol + QString::number(item.lowBoundary);
}
QString highValue(const GroupItem& item) {
    return item.highSymbol + QString::number(item.highBoundary);
}
QString gridText(const GroupItem& item, int column) {
    return column == 0 ? item.title : column == 1 ? lowValue(item) : highValue(item);
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* created = new QPushButton(text, parent);
    created->setObjectName(QString::fromLatin1(name));
    created->setAutoDefault(false);
    return created;
}

QLineEdit* numberEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d{0,15}")), edit));
    edit->setText(QStringLiteral("0"));
    return edit;
}

CodeNameBox* symbolBox(const char* name, const TMenuItemDataArray& symbols, qint64 code, QWidget* parent) {
    auto* box = new CodeNameBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->showName(code, records::codeName(symbols, code));
    QObject::connect(box, &CodeNameBox::dropDownRequested, box,
                     [box, &symbols] { showCodePopup(box, symbols); });
    return box;
}

void showSymbol(CodeNameBox* box, const TMenuItemDataArray& symbols, const QString& symbol) {
    box->showName(records::codeForText(symbols, symbol), symbol);
}

QString stripArrow(const QString& title) {
    if (title.endsWith(AscendingArrow) || title.endsWith(DescendingArrow))
        return title.chopped(2);
    return title;
}

} // namespace

TdlgGroupItemForm::TdlgGroupItemForm(DbSession& session, UiServices& ui, qint64 groupId,
                                     const QString& groupName, std::function<void()> groupRenamed,
                                     QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_groupId(groupId),
      m_groupRenamed(std::move(groupRenamed)) {
    setObjectName(QStringLiteral("TdlgGroupItemForm"));
    setWindowTitle(QStringLiteral("自定义分组"));

    m_groupName = new QLineEdit(groupName, this);
    m_groupName->setObjectName(QStringLiteral("GroupName"));
    m_save = button(QStringLiteral("保  存"), "tbSave", this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("数据组名："), this));
    top->addWidget(m_groupName, 1);
    top->addWidget(m_save);

    m_grid = new QTableWidget(0, GridColumnCount, this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    for (int column = 0; column < GridColumnCount; ++column)
        m_grid->setHorizontalHeaderItem(column,
                                        new QTableWidgetItem(QString::fromUtf8(GridColumns[column].title)));
    m_grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_grid->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_grid->installEventFilter(this);

    auto* frame = new QGroupBox(QStringLiteral("分组项目定义"), this);
    m_name = new QLineEdit(frame);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setMaxLength(255);
    m_leftSymbol = symbolBox("LeftSymbol", lowerSymbols(), DefaultLowerSymbol, frame);
    m_rightSymbol = symbolBox("RightSymbol", upperSymbols(), DefaultUpperSymbol, frame);
    m_low = numberEdit("LowBoundary", frame);
    m_high = numberEdit("HighBoundary", frame);
    auto* fields = new QGridLayout(frame);
    fields->addWidget(new QLabel(QStringLiteral("数据项目名称："), frame), 0, 0);
    fields->addWidget(m_name, 0, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("编号下限："), frame), 1, 0);
    fields->addWidget(m_leftSymbol, 1, 1);
    fields->addWidget(m_low, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("编号上限："), frame), 2, 0);
    fields->addWidget(m_rightSymbol, 2, 1);
    fields->addWidget(m_high, 2, 2);
    fields->setColumnStretch(2, 1);
    m_leftSymbol->setFixedWidth(80);
    m_rightSymbol->setFixedWidth(80);

    m_add = button(QStringLiteral("增  加"), "tbAdd", this);
    m_remove = button(QStringLiteral("除  去"), "tbRemove", this);
    m_edit = button(QStringLiteral("修  改"), "tbEdit", this);
    auto* back = button(QStringLiteral("返  回"), "tbReturn", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {m_add, m_remove, m_edit, back})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_grid, 1);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    resize(560, 480);

    connect(m_grid, &QTableWidget::currentCellChanged, this, [this] { loadCurrentItem(); });
    connect(m_grid, &QTableWidget::cellClicked, this, [this] { loadCurrentItem(); });
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionClicked, this, &TdlgGroupItemForm::sortByColumn);
    connect(m_add, &QPushButton::clicked, this, [this] { runGuarded([this] { storeItem(true); }); });
    connect(m_edit, &QPushButton::clicked, this, [this] { runGuarded([this] { storeItem(false); }); });
    connect(m_remove, &QPushButton::clicked, this, [this] { runGuarded([this] { removeCurrentItem(); }); });
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_save, &QPushButton::clicked, this, [this] { runGuarded([this] { saveGroupName(); }); });
    connect(m_groupName, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_save->setEnabled(!text.isEmpty()); });
    for (QLineEdit* edit : {m_name, m_low, m_high})
        connect(edit, &QLineEdit::textChanged, this, &TdlgGroupItemForm::updateButtons);

    runGuarded([this] { readItems(); });
    loadCurrentItem();
    m_save->setEnabled(false);
    const bool any = !m_items.empty();
    m_remove->setEnabled(any);
    m_edit->setEnabled(any);
    updateButtons();
}

void TdlgGroupItemForm::readItems() {
    const int keep = std::max(0, m_grid->currentRow());
    m_items = loadItems(m_session.connection(), m_groupId);
    if (m_sortColumn >= 0) {
        const int column = m_sortColumn;
        const bool descending = m_sortState == SortState::Descending;
        std::stable_sort(m_items.begin(), m_items.end(), [&](const GroupItem& a, const GroupItem& b) {
            const int order = QString::compare(gridText(a, column), gridText(b, column));
            return descending ? order > 0 : order < 0;
        });
    }
    const QSignalBlocker block(m_grid);
    m_grid->setRowCount(int(m_items.size()));
    for (int row = 0; row < int(m_items.size()); ++row)
        for (int column = 0; column < GridColumnCount; ++column)
            m_grid->setItem(row, column, new QTableWidgetItem(gridText(m_items[size_t(row)], column)));
    if (!m_items.empty())
        m_grid->setCurrentCell(std::min(keep, int(m_items.size()) - 1), 0);
}

void TdlgGroupItemForm::loadCurrentItem() {
    const int row = m_grid->currentRow();
    if (row < 0 || row >= int(m_items.size()))
        return;
    const GroupItem& item = m_items[size_t(row)];
    m_name->setText(item.title);
    m_low->setText(QString::number(item.lowBoundary));
    m_high->setText(QString::number(item.highBoundary));
    showSymbol(m_leftSymbol, lowerSymbols(), item.lowSymbol);
    showSymbol(m_rightSymbol, upperSymbols(), item.highSymbol);
}

GroupItem TdlgGroupItemForm::itemFromEdits() const {
    GroupItem item;
    item.groupId = m_groupId;
    item.title = m_name->text();
    item.lowBoundary = m_low->text().toLongLong();
    item.highBoundary = m_high->text().toLongLong();
    item.lowSymbol = m_leftSymbol->text();
    item.highSymbol = m_rightSymbol->text();
    return item;
}

void TdlgGroupItemForm::updateButtons() {
    const GroupItem item = itemFromEdits();
    const bool storable = !item.title.isEmpty() && item.lowBoundary < item.highBoundary;
    const bool any = !m_items.empty();
    m_add->setEnabled(storable);
    if (storable) {
        m_edit->setEnabled(any);
        m_remove->setEnabled(any);
    } else {
        m_edit->setEnabled(false);
        m_remove->setEnabled(any);
    }
}

void TdlgGroupItemForm::storeItem(bool asNew) {
    GroupItem item = itemFromEdits();
    if (!asNew) {
        const int row = m_grid->currentRow();
        if (row < 0 || row >= int(m_items.size()))
            return;
        item.id = m_items[size_t(row)].id;
    }
    const QString problem = itemProblem(item);
    if (!problem.isEmpty()) {
        m_ui.showMessage(problem);
        return;
    }
    if (asNew)
        addItem(m_session.connection(), item);
    else
        updateItem(m_session.connection(), item);
    readItems();
}

void TdlgGroupItemForm::removeCurrentItem() {
    const int row = m_grid->currentRow();
    if (row < 0 || row >= int(m_items.size()) || !m_ui.askYesNo(ConfirmDeleteMessage))
        return;
    removeItem(m_session.connection(), m_items[size_t(row)].id);
    readItems();
    loadCurrentItem();
}

void TdlgGroupItemForm::saveGroupName() {
    renameGroup(m_session.connection(), m_groupId, m_groupName->text());
    if (m_groupRenamed)
        m_groupRenamed();
}

void TdlgGroupItemForm::sortByColumn(int column) {
    if (column < 0 || column >= GridColumnCount)
        return;
    m_sortState = nextSortState(m_sortState);
    QTableWidgetItem* title = m_grid->horizontalHeaderItem(column);
    const bool alreadySorted = title->data(Qt::UserRole).toBool();
    if (!alreadySorted) {
        if (m_sortColumn >= 0 && m_sortColumn != column) {
            QTableWidgetItem* previous = m_grid->horizontalHeaderItem(m_sortColumn);
            previous->setText(stripArrow(previous->text()));
            previous->setData(Qt::BackgroundRole, QVariant());
            previous->setData(Qt::UserRole, false);
        }
        title->setBackground(SortedTitleColour);
        title->setData(Qt::UserRole, true);
    }
    title->setText(stripArrow(title->text()) +
                   (m_sortState == SortState::Descending ? DescendingArrow : AscendingArrow));
    m_sortColumn = column;
    runGuarded([&] {
        setItemOrder(m_session.connection(), m_groupId,
                     sortText(QString::fromLatin1(GridColumns[column].field), m_sortState));
        readItems();
    });
}

bool TdlgGroupItemForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid && event->type() == QEvent::KeyRelease) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Delete:
            runGuarded([this] { removeCurrentItem(); });
            updateButtons();
            return true;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            loadCurrentItem();
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TdlgGroupItemForm::runGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
    updateButtons();
}

} // namespace corvalis::summary
