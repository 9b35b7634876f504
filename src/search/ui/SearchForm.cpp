#include "SearchForm.h"

#include "SearchWidgets.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvalis::search {

SearchForm::SearchForm(CommandHost& window, QWidget* parent)
    : QDialog(parent ? parent : window.dialogParent()), m_window(window) {
    setObjectName(QStringLiteral("TdlgSearchForm"));
    setWindowTitle(QStringLiteral("查询数据"));
    auto* group = new QGroupBox(QStringLiteral("编号范围"), this);
    m_op1 = codeBox(QStringLiteral("lc1"), comparisonOperators(), group);
    m_number1 = digitEdit(QStringLiteral("number1"), group, 12);
    m_joiner = codeBox(QStringLiteral("lc2"), joiners(), group);
    m_op3 = codeBox(QStringLiteral("lc3"), comparisonOperators(), group);
    m_number2 = digitEdit(QStringLiteral("number2"), group, 12);
    m_op1->showName(1, operatorSql(1));
    m_joiner->showName(1, records::codeName(joiners(), 1));
    m_op3->showName(1, operatorSql(1));
    for (CodeNameBox* box : {m_op1, m_joiner, m_op3})
        box->setFixedWidth(64);
    auto* row = new QHBoxLayout(group);
    row->addWidget(m_op1);
    row->addWidget(m_number1, 1);
    row->addWidget(m_joiner);
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

    connect(find, &QPushButton::clicked, this, [this] { search(); });
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

bool SearchForm::search() {
    const ConditionResult result = buildRangeCondition({m_op1->code(), m_number1->text()}, m_joiner->code(),
                                                       {m_op3->code(), m_number2->text()});
    if (!result.ok()) {
        m_window.ui().showMessage(result.message);
        if (QWidget* focus = findChild<QWidget*>(result.focus))
            focus->setFocus();
        return false;
    }
    return showQueryList(m_window, *result.condition, m_present);
}

} // namespace corvalis::search
