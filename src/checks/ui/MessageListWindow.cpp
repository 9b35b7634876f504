#include "MessageListWindow.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace corvalis::checks {

namespace {

struct GridColumn {
    const char* caption;
    int width;
};
const GridColumn gridColumns[] = {{"逻辑关系", 340}, {"说明", 321}, {"页号", 73}, {"变量", 70}};
constexpr int RowHeaderWidth = 32;
constexpr int DefaultRowHeight = 18;
constexpr int TextMargin = 8;
constexpr int ColumnRule = 0, ColumnExplanation = 1, ColumnPage = 2, ColumnField = 3;
const QPoint ShownAt(150, 500);

} // namespace

TMessageListWinForm::TMessageListWinForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint),
      m_grid(new QTableWidget(this)) {
    setObjectName(QStringLiteral("TMessageListWinForm"));
    setWindowTitle(QStringLiteral("逻辑错误列表"));
    resize(900, 258);

    m_grid->setObjectName(QStringLiteral("MessageGrid"));
    m_grid->setColumnCount(int(std::size(gridColumns)));
    QStringList captions;
    for (int column = 0; column < int(std::size(gridColumns)); ++column) {
        captions << QString::fromUtf8(gridColumns[column].caption);
        m_grid->setColumnWidth(column, gridColumns[column].width);
    }
    m_grid->setHorizontalHeaderLabels(captions);
    m_grid->verticalHeader()->setFixedWidth(RowHeaderWidth);
    m_grid->verticalHeader()->setDefaultSectionSize(DefaultRowHeight);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->setShowGrid(true);
    m_grid->setWordWrap(true);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { navigateFromRow(row); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    clearMessages();
}

void TMessageListWinForm::setText(int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->setItem(row, column, item);
}

void TMessageListWinForm::fitRowTo(int row, int column, const QString& text) {
    const QFontMetrics metrics(m_grid->font());
    const QRect wrapped = metrics.boundingRect(QRect(0, 0, m_grid->columnWidth(column), 1 << 20),
                                               Qt::TextWordWrap | Qt::AlignLeft, text);
    m_grid->setRowHeight(row, std::max(m_grid->rowHeight(row), wrapped.height() + TextMargin));
}

void TMessageListWinForm::clearMessages() {
    m_hasMessages = false;
    m_grid->clearContents();
    m_grid->setRowCount(1);
    m_grid->setRowHeight(0, DefaultRowHeight);
    for (int column = 0; column < m_grid->columnCount(); ++column)
        setText(0, column, QString());
    hide();
}

void TMessageListWinForm::addMessage(const LogicMessage& message) {
    int row = 0;
    if (!m_hasMessages) {
        m_hasMessages = true;
    } else {
        row = m_grid->rowCount();
        m_grid->insertRow(row);
        m_grid->setRowHeight(row, DefaultRowHeight);
    }
    fitRowTo(row, ColumnRule, message.rule);
    setText(row, ColumnRule, message.rule);
    fitRowTo(row, ColumnExplanation, message.explanation);
    setText(row, ColumnExplanation, message.explanation);
    setText(row, ColumnPage, QString::number(message.page));
    setText(row, ColumnField, message.focus);
}

void TMessageListWinForm::showList() {
    move(ShownAt);
    show();
    raise();
}

void TMessageListWinForm::navigateFromRow(int row) {
    if (m_navigating || !m_hasMessages || row < 0 || row >= m_grid->rowCount())
        return;
    m_navigating = true;
    const int page = m_grid->item(row, ColumnPage)->text().toInt();
    const QString field = m_grid->item(row, ColumnField)->text();
    if (m_navigate)
        m_navigate(page, field);
    // The page change has usually refilled the list: land on its first message.
    if (m_grid->rowCount() > 0)
        m_grid->setCurrentCell(0, 0);
    m_navigating = false;
}

} // namespace corvalis::checks
