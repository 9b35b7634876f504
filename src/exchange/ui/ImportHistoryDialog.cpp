#include "ImportHistoryDialog.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace corvalis {

ImportHistoryDialog::ImportHistoryDialog(DbSession& session, UiServices& ui, QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui) {
    setObjectName(QStringLiteral("ImportHistoryForm"));
    setWindowTitle(QStringLiteral("导入记录"));
    resize(900, 420);

    m_model = new ImportLogModel(this);
    m_log = new QTableView(this);
    m_log->setObjectName(QStringLiteral("LogTable"));
    m_log->setModel(m_model);
    m_log->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_log->setSelectionMode(QAbstractItemView::SingleSelection);
    m_log->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_log->setTabKeyNavigation(false);
    m_log->verticalHeader()->hide();
    m_log->horizontalHeader()->setStretchLastSection(true);
    auto* caption = new QLabel(QStringLiteral("导入记录(&L)："), this);
    caption->setBuddy(m_log);

    m_undo = new QPushButton(QStringLiteral("撤销导入(&U)"), this);
    m_undo->setObjectName(QStringLiteral("tbUndoImport"));
    m_undo->setDefault(true);
    m_close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    m_close->setObjectName(QStringLiteral("tbClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_undo);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_log, 1);
    layout->addLayout(buttons);
    QWidget::setTabOrder(m_log, m_undo);
    QWidget::setTabOrder(m_undo, m_close);

    connect(m_log->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { updateButtons(); });
    connect(m_undo, &QPushButton::clicked, this, [this] { undoSelected(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    reload();
    m_log->setFocus();
}

void ImportHistoryDialog::reload(qint64 currentId) {
    try {
        m_model->setEntries(exchange::importLog(m_session.connection()));
    } catch (const Error& error) {
        m_model->setEntries({});
        showRunError(m_ui, error.text());
    }
    m_log->resizeColumnsToContents();
    // The log runs oldest first: the latest import is the one a person comes to undo.
    int row = m_model->rowCount() - 1;
    for (int i = 0; i < m_model->rowCount(); ++i)
        if (m_model->entryAt(i)->id == currentId)
            row = i;
    if (m_model->rowCount() > 0)
        m_log->setCurrentIndex(m_model->index(row, 0));
    updateButtons();
}

const exchange::ImportLogEntry* ImportHistoryDialog::currentEntry() const {
    return m_model->entryAt(m_log->currentIndex().row());
}

void ImportHistoryDialog::updateButtons() {
    const exchange::ImportLogEntry* entry = currentEntry();
    m_undo->setEnabled(entry && !entry->undone);
}

void ImportHistoryDialog::undoSelected() {
    const exchange::ImportLogEntry* entry = currentEntry();
    if (!entry)
        return;
    const qint64 id = entry->id;
    const QString question = QStringLiteral("确认撤销 %1 导入的标识为【%2】的数据么？\n新增的 %3 "
                                            "条记录将被删除，替换的 %4 条记录将恢复原样。")
                                 .arg(entry->at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), entry->label)
                                 .arg(entry->added)
                                 .arg(entry->replaced);
    if (!m_ui.askYesNo(question, QStringLiteral("提示："), MessageIcon::Warning, false))
        return;
    try {
        exchange::undoImport(m_session.connection(), id);
    } catch (const Error& error) {
        m_ui.showMessage(error.text(), QString(), MessageIcon::Warning);
        reload(id);
        return;
    }
    m_changed = true;
    reload(id);
    m_ui.showMessage(QStringLiteral("导入已经撤销。"));
}

} // namespace corvalis
