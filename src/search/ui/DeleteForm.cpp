#include "DeleteForm.h"

#include "ListDeletion.h"
#include "SearchWidgets.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "search/RecordDeletion.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvalis::search {

DeleteForm::DeleteForm(CommandHost& window, QWidget* parent)
    : QDialog(parent ? parent : window.dialogParent()), m_window(window) {
    setObjectName(QStringLiteral("TdlgDeleteForm"));
    setWindowTitle(QStringLiteral("选择删除的方式"));
    auto* group = new QGroupBox(QStringLiteral("删除的内容"), this);
    m_selected = new QRadioButton(QStringLiteral("选中的数据"), group);
    m_selected->setObjectName(QStringLiteral("Selected"));
    m_selected->setChecked(true);
    m_all = new QRadioButton(QStringLiteral("所有的数据"), group);
    m_all->setObjectName(QStringLiteral("AllRecord"));
    m_range = new QRadioButton(QStringLiteral("指定单位编号的范围"), group);
    m_range->setObjectName(QStringLiteral("Range"));
    m_from = digitEdit(QStringLiteral("c901_1"), group, 12);
    m_to = digitEdit(QStringLiteral("c901_2"), group, 12);
    auto* range = new QHBoxLayout;
    range->addWidget(m_range);
    range->addWidget(new QLabel(QStringLiteral("从"), group));
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("到"), group));
    range->addWidget(m_to);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(m_selected);
    inner->addWidget(m_all);
    inner->addLayout(range);

    QPushButton* remove = namedButton(QStringLiteral("tbDelete"), QStringLiteral("删  除"), this);
    QPushButton* back = namedButton(QStringLiteral("tbReturn"), QStringLiteral("返  回"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(remove);
    buttons->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(remove, &QPushButton::clicked, this, [this] {
        try {
            deleteRecords();
        } catch (const Error& error) {
            showRunError(m_window.ui(), error.text());
        }
    });
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

void DeleteForm::deleteRecords() {
    engine::Connection& connection = m_window.session().connection();
    UiServices& ui = m_window.ui();
    if (m_selected->isChecked()) {
        // The deletion re-reads the list itself when it deleted anything.
        RecordListDeletion list(m_window.recordList());
        deleteSelectedRecords(list, connection, QStringLiteral("dt_data"), QStringLiteral("c901"), ui);
    } else if (m_all->isChecked()) {
        if (deleteAllRecords(connection, ui))
            m_window.refreshList();
    } else {
        if (m_from->text().trimmed().isEmpty())
            m_from->setText(QStringLiteral("0"));
        if (m_to->text().trimmed().isEmpty())
            m_to->setText(QStringLiteral("0"));
        QString end = m_to->text();
        const bool deleted = deleteRecordRange(connection, ui, m_from->text(), end);
        m_to->setText(end);
        if (deleted)
            m_window.refreshList();
    }
    m_window.updateCommandStates();
}

} // namespace corvalis::search
