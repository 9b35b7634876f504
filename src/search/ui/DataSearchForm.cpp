#include "DataSearchForm.h"

#include "SearchWidgets.h"
#include "app/DbSession.h"
#include "app/UiServices.h"
#include "app/engine/Statement.h"
#include "app/ui/CommandHost.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace corvalis::search {

DataSearchCodeForm::DataSearchCodeForm(engine::Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    setObjectName(QStringLiteral("TDataSearchCodeForm"));
    setWindowTitle(QStringLiteral("选择指标"));
    m_pages = new QListWidget(this);
    m_pages->setObjectName(QStringLiteral("TypeList1"));
    m_fields = new QListWidget(this);
    m_fields->setObjectName(QStringLiteral("TypeList2"));
    engine::Statement pages(
        connection,
        QStringLiteral("select CodeID, CodeName from ct_sheetName where CodeID>=0 order by CodeID"));
    while (pages.step()) {
        auto* item = new QListWidgetItem(pages.text(1), m_pages);
        item->setData(Qt::UserRole, pages.integer(0));
    }
    QPushButton* ok = namedButton(QStringLiteral("tbOK"), QStringLiteral("确认"), this);
    QPushButton* cancel = namedButton(QStringLiteral("tbCancel"), QStringLiteral("取消"), this);

    auto* lists = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("表"), this));
    left->addWidget(m_pages);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("指标"), this));
    right->addWidget(m_fields);
    lists->addLayout(left, 3);
    lists->addLayout(right, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(buttons);
    resize(520, 380);

    m_pages->installEventFilter(this);
    connect(m_pages, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { choosePage(m_pages->row(item)); });
    connect(m_fields, &QListWidget::itemDoubleClicked, this, [this] { confirm(); });
    connect(ok, &QPushButton::clicked, this, [this] { confirm(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DataSearchCodeForm::showEvent(QShowEvent* event) {
    // The picker always opens on the cover page, whatever row the left list shows.
    m_page = 0;
    loadIndicators();
    QDialog::showEvent(event);
}

bool DataSearchCodeForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pages && event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_Right || key == Qt::Key_Down)
            choosePage(m_pages->currentRow());
    }
    return QDialog::eventFilter(watched, event);
}

void DataSearchCodeForm::choosePage(int row) {
    QListWidgetItem* item = m_pages->item(row);
    if (!item)
        return;
    m_page = item->data(Qt::UserRole).toInt();
    loadIndicators();
}

void DataSearchCodeForm::loadIndicators() {
    m_fields->clear();
    engine::Statement fields(
        m_connection, QStringLiteral("Select * from view_datasearch where PageID=? order by sequence"));
    fields.bindInt64(1, m_page);
    const int name = fields.columnIndex(QStringLiteral("codename"));
    while (fields.step())
        m_fields->addItem(fields.text(name));
    if (m_fields->count() > 0)
        m_fields->setCurrentRow(0);
}

void DataSearchCodeForm::confirm() {
    if (!m_fields->currentItem())
        return;
    m_chosen = m_fields->currentItem()->text().trimmed();
    accept();
}

DataSearchForm::DataSearchForm(CommandHost& window, QWidget* parent)
    : QDialog(parent ? parent : window.dialogParent()), m_window(window) {
    setObjectName(QStringLiteral("TdlgDataSearchForm"));
    setWindowTitle(QStringLiteral("指标查询"));
    auto* group = new QGroupBox(QStringLiteral("指标范围"), this);
    m_field = new QLineEdit(group);
    m_field->setObjectName(QStringLiteral("DataField"));
    m_field->setReadOnly(true);
    QAction* pick = m_field->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                       QLineEdit::TrailingPosition);
    pick->setObjectName(QStringLiteral("pickIndicator"));
    m_op1 = codeBox(QStringLiteral("lc1"), comparisonOperators(), group);
    m_op3 = codeBox(QStringLiteral("lc3"), comparisonOperators(), group);
    m_number1 = digitEdit(QStringLiteral("Number1"), group);
    m_number2 = digitEdit(QStringLiteral("Number2"), group);
    for (QWidget* narrow : {static_cast<QWidget*>(m_op1), static_cast<QWidget*>(m_op3)})
        narrow->setFixedWidth(64);

    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral(" 指标   "), group));
    row->addWidget(m_field, 2);
    row->addWidget(new QLabel(QStringLiteral("的范围："), group));
    row->addWidget(m_op1);
    row->addWidget(m_number1, 1);
    row->addWidget(new QLabel(QStringLiteral("且"), group));
    row->addWidget(m_op3);
    row->addWidget(m_number2, 1);

    QPushButton* find = namedButton(QStringLiteral("tbSum"), QStringLiteral("查  找"), this);
    QPushButton* back = namedButton(QStringLiteral("tbReturn"), QStringLiteral("返  回"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(find);
    buttons->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(pick, &QAction::triggered, this, [this] { pickIndicator(); });
    connect(find, &QPushButton::clicked, this, [this] { search(); });
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

void DataSearchForm::setIndicator(const QString& field) {
    m_field->setText(field);
}

QString DataSearchForm::indicator() const {
    return m_field->text();
}

void DataSearchForm::pickIndicator() {
    DataSearchCodeForm picker(m_window.session().connection(), this);
    if (picker.exec() == QDialog::Accepted && !picker.chosen().isEmpty())
        m_field->setText(picker.chosen());
}

bool DataSearchForm::search() {
    const ConditionResult result =
        buildIndicatorCondition(m_window.fieldDictionary(), m_field->text(),
                                {m_op1->code(), m_number1->text()}, {m_op3->code(), m_number2->text()});
    if (!result.ok()) {
        m_window.ui().showMessage(result.message);
        if (QWidget* focus = findChild<QWidget*>(result.focus))
            focus->setFocus();
        return false;
    }
    return showQueryList(m_window, *result.condition, m_present);
}

} // namespace corvalis::search
