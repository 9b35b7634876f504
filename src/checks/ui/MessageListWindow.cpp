#include "MessageListWindow.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace corvalis::checks {

namespace {

struct GridColumn {
    const char* caption;
    int width;
    int narrowWidth; // when the window is too narrow for all columns
};
const GridColumn gridColumns[] = {{"逻辑关系", 340, 0}, {"说明", 321, 0}, {"页号", 73, 40}, {"变量", 70, 56}};
constexpr int RowHeaderWidth = 32;
constexpr int DefaultRowHeight = 18;
constexpr int TextMargin = 8;
constexpr int ColumnRule = 0, ColumnExplanation = 1, ColumnPage = 2, ColumnField = 3;
const QPoint ShownAt(150, 500);
const QSize InitialSize(900, 258);
// Smaller than this the list is of no use; it then moves the window it belongs to aside.
const QSize SmallestUsable(360, 150);
// Alone, the list gives up size before it leaves its place, down to this.
const QSize SmallestAlone(200, 80);
// Window frames before the window manager has framed the list once.
const QMargins AssumedFrame(4, 30, 4, 4);

// The grid of messages: Enter on a message acts like a double-click on it.
class MessageGrid : public QTableWidget {
public:
    using QTableWidget::QTableWidget;
    std::function<void(int row)> onEnter;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && onEnter && currentRow() >= 0) {
            onEnter(currentRow());
            event->accept();
            return;
        }
        QTableWidget::keyPressEvent(event);
    }
};

int sumOfWidths() {
    int total = 0;
    for (const GridColumn& column : gridColumns)
        total += column.width;
    return total;
}

// The free bands of the screen around the owner's frame: right, left, below and above it.
std::array<QRect, 4> bandsAround(const QRect& screen, const QRect& owner) {
    return {QRect(QPoint(owner.right() + 1, screen.top()), screen.bottomRight()),
            QRect(screen.topLeft(), QPoint(owner.left() - 1, screen.bottom())),
            QRect(QPoint(screen.left(), owner.bottom() + 1), screen.bottomRight()),
            QRect(screen.topLeft(), QPoint(screen.right(), owner.top() - 1))};
}

// The roomiest band that takes a usable list with its frame; an empty rect when none does.
QRect roomiestBand(const QRect& screen, const QRect& owner, const QMargins& frame) {
    QRect best;
    for (const QRect& band : bandsAround(screen, owner)) {
        const QRect inner = band.marginsRemoved(frame);
        if (inner.width() < SmallestUsable.width() || inner.height() < SmallestUsable.height())
            continue;
        if (best.isNull() || band.width() * band.height() > best.width() * best.height())
            best = band;
    }
    return best;
}

} // namespace

TMessageListWinForm::TMessageListWinForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowCloseButtonHint), m_grid(new MessageGrid(this)) {
    setObjectName(QStringLiteral("TMessageListWinForm"));
    setWindowTitle(QStringLiteral("逻辑错误列表"));
    // Findings appear while the user types in the form; the keys stay there.
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(InitialSize);

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
    static_cast<MessageGrid*>(m_grid)->onEnter = [this](int row) { navigateFromRow(row); };
    // Narrower or wider text columns wrap their texts anew.
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (m_hasMessages && (column == ColumnRule || column == ColumnExplanation))
            for (int row = 0; row < m_grid->rowCount(); ++row)
                fitRow(row);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    clearMessages();
}

void TMessageListWinForm::attachTo(QWidget* owner) {
    QWidget* window = owner ? owner->window() : nullptr;
    if (!window || parentWidget() == window)
        return;
    const bool shown = isVisible();
    setParent(window, windowFlags());
    if (shown)
        showList();
}

void TMessageListWinForm::setText(int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->setItem(row, column, item);
}

// The height of a text wrapped as the grid paints it: within the cell less its grid line and the
// style's text margins on both sides.
int TMessageListWinForm::wrappedHeight(int column, const QString& text) const {
    const int margin = m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 1;
    const int width = std::max(1, m_grid->columnWidth(column) - (m_grid->showGrid() ? 1 : 0) - 2 * margin);
    const QFontMetrics metrics(m_grid->font());
    return metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap | Qt::AlignLeft, text).height();
}

void TMessageListWinForm::fitRow(int row) {
    int height = DefaultRowHeight;
    for (int column : {ColumnRule, ColumnExplanation})
        if (const QTableWidgetItem* item = m_grid->item(row, column))
            height = std::max(height, wrappedHeight(column, item->text()) + TextMargin);
    m_grid->setRowHeight(row, height);
}

void TMessageListWinForm::clearMessages() {
    m_hasMessages = false;
    m_grid->clearContents();
    m_grid->setRowCount(1);
    m_grid->setRowHeight(0, DefaultRowHeight);
    for (int column = 0; column < m_grid->columnCount(); ++column)
        setText(0, column, QString());
    // A double-click refills the list at once; it stays where the user is looking.
    if (!m_navigating)
        hide();
}

void TMessageListWinForm::addMessage(const LogicMessage& message) {
    int row = 0;
    if (!m_hasMessages) {
        m_hasMessages = true;
    } else {
        row = m_grid->rowCount();
        m_grid->insertRow(row);
    }
    setText(row, ColumnRule, message.rule);
    setText(row, ColumnExplanation, message.explanation);
    setText(row, ColumnPage, QString::number(message.page));
    setText(row, ColumnField, message.focus);
    fitRow(row);
}

// In a narrow window the page and field columns narrow and the two text columns share the rest,
// so that every text can be read without scrolling sideways.
void TMessageListWinForm::fitColumnsToWidth() {
    const int scrollBar = m_grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_grid);
    const int room = width() - 2 * m_grid->frameWidth() - RowHeaderWidth - scrollBar;
    const bool narrow = room < sumOfWidths();
    if (!narrow) {
        for (int column = 0; column < int(std::size(gridColumns)); ++column)
            m_grid->setColumnWidth(column, gridColumns[column].width);
        return;
    }
    const int texts =
        std::max(2 * 60, room - gridColumns[ColumnPage].narrowWidth - gridColumns[ColumnField].narrowWidth);
    m_grid->setColumnWidth(ColumnPage, gridColumns[ColumnPage].narrowWidth);
    m_grid->setColumnWidth(ColumnField, gridColumns[ColumnField].narrowWidth);
    m_grid->setColumnWidth(ColumnRule, texts / 2);
    m_grid->setColumnWidth(ColumnExplanation, texts - texts / 2);
}

// Beside or below the owner's window, never over it, and inside the screen. When no side has room
// for a usable list, the owner slides to the far edge of the screen to make room; on a screen too
// small even for that, the list takes the top of the screen, above the owner's tabs and buttons.
void TMessageListWinForm::placeBeside(QWidget* owner) {
    const QRect screen = owner->screen()->availableGeometry();
    const QMargins frame =
        isVisible() && frameGeometry() != geometry()
            ? QMargins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                       frameGeometry().right() - geometry().right(),
                       frameGeometry().bottom() - geometry().bottom())
            : AssumedFrame;
    QRect form = owner->frameGeometry();
    QRect band = roomiestBand(screen, form, frame);
    if (band.isNull() && form.width() <= screen.width()) {
        const bool roomOnRight = form.center().x() >= screen.center().x();
        const int left = roomOnRight ? screen.right() - form.width() + 1 : screen.left();
        owner->move(left, std::max(screen.top(), form.top()));
        form = owner->frameGeometry();
        band = roomiestBand(screen, form, frame);
    }
    if (band.isNull())
        band = QRect(screen.topLeft(),
                     QSize(screen.width(), std::max(SmallestUsable.height(), form.height() / 3)));

    const QRect inner = band.marginsRemoved(frame);
    const bool beside = band.height() == screen.height() && band.width() < screen.width();
    const int wantedHeight =
        beside ? std::max(InitialSize.height(), form.height() - frame.top() - frame.bottom())
               : InitialSize.height();
    const QSize size(std::min(InitialSize.width(), inner.width()), std::min(wantedHeight, inner.height()));
    const int x = std::clamp(form.left() + frame.left(), inner.left(), inner.right() - size.width() + 1);
    const int y = std::clamp(form.top() + frame.top(), inner.top(), inner.bottom() - size.height() + 1);
    setGeometry(QRect(QPoint(x, y), size));
}

void TMessageListWinForm::showList() {
    if (isVisible()) {
        raise();
        return;
    }
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->isVisible()) {
        placeBeside(owner);
    } else {
        // Alone, the list keeps its place and gives up size to stay on the screen.
        const QRect screen = this->screen()->availableGeometry();
        const QPoint at(std::min(ShownAt.x(), screen.right() - SmallestAlone.width()),
                        std::min(ShownAt.y(), screen.bottom() - SmallestAlone.height()));
        const QRect inner = QRect(at, screen.bottomRight()).marginsRemoved(AssumedFrame);
        resize(std::min(InitialSize.width(), inner.width()), std::min(InitialSize.height(), inner.height()));
        move(at);
    }
    fitColumnsToWidth();
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
    if (!m_hasMessages)
        hide();
}

} // namespace corvalis::checks
