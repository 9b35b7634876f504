#include "FieldChoiceDialog.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Statement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace corvalis {

namespace {
constexpr int ColumnWidth = 438;
constexpr int RowHeight = 30;

QWidget* addPage(QTabWidget* pages, const QString& caption) {
    auto* scroll = new QScrollArea(pages);
    auto* page = new QWidget(scroll);
    page->setMinimumSize(2 * ColumnWidth + 20, RowHeight);
    scroll->setWidget(page);
    scroll->setWidgetResizable(false);
    pages->addTab(scroll, caption);
    return page;
}
} // namespace

FieldChoiceDialog::FieldChoiceDialog(DbSession& session, UiServices& ui, std::function<void()> reloadList,
                                     QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_reloadList(std::move(reloadList)) {
    setObjectName(QStringLiteral("TdlgShowForm"));
    setWindowTitle(QStringLiteral("自定义列表项"));
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("DataPage"));
    std::vector<QWidget*> pages{addPage(m_pages, QStringLiteral("封面"))};
    std::vector<int> placed{0};

    engine::Statement fields(session.connection(),
                             QStringLiteral("select * from view_FieldList where PageID >=0 "
                                            "order by PageID,sequence"));
    const int pageColumn = fields.columnIndex(QStringLiteral("PageID"));
    const int idColumn = fields.columnIndex(QStringLiteral("id"));
    const int nameColumn = fields.columnIndex(QStringLiteral("FieldName"));
    const int hintColumn = fields.columnIndex(QStringLiteral("Hint"));
    const int visibleColumn = fields.columnIndex(QStringLiteral("visible"));
    const int sheetColumn = fields.columnIndex(QStringLiteral("SheetName"));
    while (fields.step()) {
        const int page = int(fields.integer(pageColumn));
        if (page == int(pages.size())) {
            pages.push_back(addPage(m_pages, fields.text(sheetColumn)));
            placed.push_back(0);
        }
        // A page number that skips one has no page here; its fields are not offered.
        if (page < 0 || page >= int(pages.size()))
            continue;
        QWidget* target = pages[size_t(page)];
        const int k = placed[size_t(page)]++;
        auto* box =
            new QCheckBox(fields.text(nameColumn) + QStringLiteral("--") + fields.text(hintColumn), target);
        box->setObjectName(QStringLiteral("field_") + fields.text(nameColumn));
        box->setChecked(fields.integer(visibleColumn) != 0);
        box->setProperty("fieldId", fields.integer(idColumn));
        box->setGeometry(8 + (k % 2) * ColumnWidth, 8 + (k / 2) * RowHeight, ColumnWidth - 16, RowHeight - 4);
        target->setMinimumHeight(std::max(target->minimumHeight(), 8 + (k / 2 + 1) * RowHeight));
        target->resize(target->minimumSize());
    }

    m_save = new QPushButton(QStringLiteral("确  定"), this);
    m_save->setObjectName(QStringLiteral("tbSave"));
    auto* close = new QPushButton(QStringLiteral("关  闭"), this);
    close->setObjectName(QStringLiteral("tbReturn"));
    connect(m_save, &QPushButton::clicked, this, &FieldChoiceDialog::save);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);
    resize(2 * ColumnWidth + 60, 520);
}

void FieldChoiceDialog::save() {
    try {
        engine::Transaction transaction(m_session.connection());
        // Only the fields offered here change: those of no page (序号, 记录状态) keep their state.
        const QList<QCheckBox*> boxes = m_pages->findChildren<QCheckBox*>();
        for (QCheckBox* box : boxes)
            m_session.connection().execute(QStringLiteral("update view_fieldlist set visible=?1 where id=?2"),
                                           {box->isChecked() ? 1 : 0, box->property("fieldId")});
        transaction.commit();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return;
    }
    if (m_reloadList)
        m_reloadList();
    m_ui.showMessage(QStringLiteral("保存成功"));
    m_save->setEnabled(false);
}

} // namespace corvalis
