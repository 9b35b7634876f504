#include "CompletenessWindow.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "records/Roster.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

namespace corvalis::summary {

namespace {

// The most classes the chart shows side by side; the tree holds them all.
constexpr int ChartedClasses = 40;
constexpr int RowIndexRole = Qt::UserRole + 1;

const QString WorkbookFilter = QStringLiteral("Excel 工作簿(*.xlsx)|*.xlsx");

// The parts of a class's bar, bottom to top, with their colours: the received returns by their
// state, then the missing ones.
struct BarPart {
    const char* caption;
    QColor colour;
    qint64 CompletenessRow::*count;
};
const BarPart BarParts[] = {
    {"审核通过", QColor(0x3c, 0x9a, 0x4c), &CompletenessRow::passed},
    {"有逻辑错误", QColor(0xd0, 0x43, 0x3b), &CompletenessRow::failing},
    {"暂存", QColor(0xe8, 0xa3, 0x2e), &CompletenessRow::held},
    {"未报", QColor(0xb8, 0xbd, 0xc4), &CompletenessRow::missing},
};

QString rowCaption(const CompletenessRow& row) {
    return row.level == 0 ? row.name : row.name + QStringLiteral("（") + row.code + QStringLiteral("）");
}

} // namespace

void MissingUnitsModel::setUnits(std::vector<MissingUnit> units) {
    beginResetModel();
    m_units = std::move(units);
    endResetModel();
}

int MissingUnitsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_units.size());
}

int MissingUnitsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(missingUnitTitles().size());
}

QVariant MissingUnitsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    const MissingUnit& unit = m_units.at(size_t(index.row()));
    switch (index.column()) {
    case 0:
        return unionCodeText(unit.code);
    case 1:
        return unit.name;
    case 2:
        return QString::number(unit.division);
    default:
        return unit.divisionName;
    }
}

QVariant MissingUnitsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return missingUnitTitles().value(section);
}

TdlgCompletenessForm::TdlgCompletenessForm(DbSession& session, UiServices& ui, RosterImporter importer,
                                           QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_importer(std::move(importer)) {
    setObjectName(QStringLiteral("TdlgCompletenessForm"));
    setWindowTitle(QStringLiteral("上报情况"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    build();
    recount();
}

void TdlgCompletenessForm::build() {
    m_byBox = new QComboBox(this);
    m_byBox->setObjectName(QStringLiteral("cbBy"));
    m_byBox->addItems({QStringLiteral("按行政区划"), QStringLiteral("按产业类别")});
    auto* byLabel = new QLabel(QStringLiteral("分类(&B)："), this);
    byLabel->setBuddy(m_byBox);
    m_rosterLabel = new QLabel(this);
    m_rosterLabel->setObjectName(QStringLiteral("lbRoster"));
    auto* importButton = new QPushButton(QStringLiteral("导入应报名单(&I)..."), this);
    importButton->setObjectName(QStringLiteral("tbImportRoster"));
    auto* top = new QHBoxLayout;
    top->addWidget(byLabel);
    top->addWidget(m_byBox);
    top->addSpacing(16);
    top->addWidget(m_rosterLabel, 1);
    top->addWidget(importButton);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvCompleteness"));
    m_tree->setColumnCount(completenessTitles().size() - 1);
    QStringList headings = completenessTitles().mid(1);
    headings[0] = QStringLiteral("名称（代码）");
    m_tree->setHeaderLabels(headings);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    // Opening and closing on activation is done below, once for Enter and double click alike.
    m_tree->setExpandsOnDoubleClick(false);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < m_tree->columnCount(); ++column)
        m_tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setObjectName(QStringLiteral("chartCompleteness"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumWidth(320);
    m_chart->setMargins(QMargins(4, 4, 4, 4));

    m_missingLabel = new QLabel(this);
    m_missingLabel->setObjectName(QStringLiteral("lbMissing"));
    m_missing = new MissingUnitsModel(this);
    m_missingView = new QTableView(this);
    m_missingView->setObjectName(QStringLiteral("lvMissing"));
    m_missingView->setModel(m_missing);
    m_missingView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_missingView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_missingView->verticalHeader()->hide();
    m_missingView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_missingView->horizontalHeader()->setStretchLastSection(true);
    m_missingLabel->setBuddy(m_missingView);

    auto* exportViewButton = new QPushButton(QStringLiteral("导出上报情况(&E)..."), this);
    exportViewButton->setObjectName(QStringLiteral("tbExportView"));
    auto* exportMissingButton = new QPushButton(QStringLiteral("导出未报名单(&M)..."), this);
    exportMissingButton->setObjectName(QStringLiteral("tbExportMissing"));
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setObjectName(QStringLiteral("tbClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exportViewButton);
    buttons->addWidget(exportMissingButton);
    buttons->addStretch(1);
    buttons->addWidget(close);

    // The table and its missing units on the left, the chart over the whole height beside them, so
    // that a province's many counties still get readable bars.
    auto* tables = new QWidget(this);
    auto* tablesLayout = new QVBoxLayout(tables);
    tablesLayout->setContentsMargins(0, 0, 0, 0);
    tablesLayout->addWidget(m_tree, 3);
    tablesLayout->addWidget(m_missingLabel);
    tablesLayout->addWidget(m_missingView, 2);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitCompleteness"));
    splitter->addWidget(tables);
    splitter->addWidget(m_chartView);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    // Enter belongs to the table (it opens a class), so no button may be the default one.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    const QRect screen = this->screen()->availableGeometry();
    const int width = qMin(1280, screen.width() * 95 / 100);
    resize(width, qMin(720, screen.height() * 92 / 100));
    splitter->setSizes({width * 3 / 5, width * 2 / 5});

    connect(m_byBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { setBy(index == 1 ? CompletenessBy::Industry : CompletenessBy::Division); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { showCurrent(); });
    // Enter or a double click on a class opens or closes it: the way down to the counties.
    connect(m_tree, &QTreeWidget::itemActivated, this, [](QTreeWidgetItem* item) {
        if (item->childCount() > 0)
            item->setExpanded(!item->isExpanded());
    });
    connect(importButton, &QPushButton::clicked, this, [this] { importRoster(); });
    connect(exportViewButton, &QPushButton::clicked, this, [this] { exportView(); });
    connect(exportMissingButton, &QPushButton::clicked, this, [this] { exportMissing(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgCompletenessForm::setBy(CompletenessBy by) {
    if (by == m_by)
        return;
    m_by = by;
    m_byBox->setCurrentIndex(by == CompletenessBy::Industry ? 1 : 0);
    recount();
}

void TdlgCompletenessForm::recount() {
    try {
        m_rows = countCompleteness(m_session.connection(), m_by);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        m_rows.clear();
    }
    updateRosterLabel();
    fillTree();
}

void TdlgCompletenessForm::updateRosterLabel() {
    qint64 units = 0;
    try {
        units = records::rosterSize(m_session.connection());
    } catch (const Error&) {
    }
    m_rosterLabel->setText(units > 0 ? QStringLiteral("应报单位名单：%1 个单位").arg(units)
                                     : QStringLiteral("尚未导入应报单位名单：所有已报单位都算作名单外。"));
}

void TdlgCompletenessForm::fillTree() {
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    std::vector<QTreeWidgetItem*> parents; // by level
    for (size_t index = 0; index < m_rows.size(); ++index) {
        const CompletenessRow& row = m_rows[index];
        QStringList texts{rowCaption(row)};
        for (const qint64 value :
             {row.expected, row.received, row.passed, row.failing, row.held, row.missing, row.unexpected})
            texts << QString::number(value);
        parents.resize(size_t(row.level));
        QTreeWidgetItem* parent = nullptr;
        for (auto level = parents.rbegin(); level != parents.rend() && !parent; ++level)
            parent = *level;
        auto* item = parent ? new QTreeWidgetItem(parent, texts) : new QTreeWidgetItem(m_tree, texts);
        item->setData(0, RowIndexRole, qint64(index));
        for (int column = 1; column < texts.size(); ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        parents.push_back(item);
    }
    if (m_tree->topLevelItemCount() > 0) {
        m_tree->topLevelItem(0)->setExpanded(true);
        m_tree->setCurrentItem(m_tree->topLevelItem(0));
    }
    showCurrent();
}

const CompletenessRow& TdlgCompletenessForm::currentRow() const {
    static const CompletenessRow none{WholeDatabaseCode, QStringLiteral("全部"), 0, 0, 0, 0, 0, 0, 0, 0};
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (!item)
        return m_rows.empty() ? none : m_rows.front();
    return m_rows.at(size_t(item->data(0, RowIndexRole).toLongLong()));
}

QStringList TdlgCompletenessForm::chartCategories() const {
    return m_chartCategories;
}

void TdlgCompletenessForm::showCurrent() {
    const CompletenessRow& row = currentRow();
    updateChart(row);
    updateMissing(row);
}

void TdlgCompletenessForm::updateChart(const CompletenessRow& row) {
    m_chart->removeAllSeries();
    // The chart gives up an axis it removes, so the window deletes it.
    for (QAbstractAxis* axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    std::vector<const CompletenessRow*> shown;
    for (const CompletenessRow& child : m_rows)
        if (child.level == row.level + 1 && isUnder(child, row, m_by) && int(shown.size()) < ChartedClasses)
            shown.push_back(&child);
    if (shown.empty() && !m_rows.empty())
        shown.push_back(&row);
    // Bars lie across, so that the names stand readable beside them, the first class on top.
    std::reverse(shown.begin(), shown.end());
    auto* series = new QHorizontalStackedBarSeries;
    for (const BarPart& part : BarParts) {
        auto* set = new QBarSet(QString::fromUtf8(part.caption));
        set->setColor(part.colour);
        set->setBorderColor(part.colour);
        for (const CompletenessRow* child : shown)
            set->append(double(child->*part.count));
        series->append(set);
    }
    QStringList labels; // bottom to top
    for (const CompletenessRow* child : shown)
        labels << child->name;
    m_chartCategories.clear();
    for (auto label = labels.crbegin(); label != labels.crend(); ++label)
        m_chartCategories << *label;
    m_chart->addSeries(series);
    auto* categories = new QBarCategoryAxis;
    categories->append(labels);
    QFont small = categories->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    categories->setLabelsFont(small);
    categories->setTruncateLabels(false);
    m_chart->addAxis(categories, Qt::AlignLeft);
    series->attachAxis(categories);
    auto* counts = new QValueAxis;
    counts->setLabelFormat(QStringLiteral("%d"));
    qint64 highest = 1; // an empty view still gets an axis from 0 to 1
    for (const CompletenessRow* child : shown)
        highest = qMax(highest, child->received + child->missing);
    counts->setRange(0, double(highest));
    m_chart->addAxis(counts, Qt::AlignBottom);
    series->attachAxis(counts);
    counts->applyNiceNumbers();
    m_chart->setTitle(QStringLiteral("%1：已报与应报").arg(rowCaption(row)));
}

void TdlgCompletenessForm::updateMissing(const CompletenessRow& row) {
    std::vector<MissingUnit> units;
    try {
        units = missingUnits(m_session.connection(), m_by, row, ShownMissingUnits + 1);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
    const bool cut = qint64(units.size()) > ShownMissingUnits;
    if (cut)
        units.resize(size_t(ShownMissingUnits));
    m_missingLabel->setText(
        cut ? QStringLiteral("未报单位(&L)：%1，共 %2 个（列出前 %3 个，导出可得全部）")
                  .arg(rowCaption(row))
                  .arg(row.missing)
                  .arg(ShownMissingUnits)
            : QStringLiteral("未报单位(&L)：%1，共 %2 个").arg(rowCaption(row)).arg(row.missing));
    m_missing->setUnits(std::move(units));
    m_missingView->resizeColumnsToContents();
}

void TdlgCompletenessForm::importRoster() {
    const std::optional<FileChoice> choice = m_ui.chooseOpenFile(
        FileRequest{QStringLiteral("选择应报单位名单"),
                    QStringLiteral("名单文件(*.csv *.dat *.mdb)|*.csv;*.dat;*.mdb|所有文件(*)|*"), 1,
                    Settings::documentsFolder(), QString()});
    if (!choice || choice->path.trimmed().isEmpty())
        return;
    try {
        const qint64 units = m_importer(choice->path.trimmed());
        m_ui.showMessage(QStringLiteral("已导入应报单位名单：%1 个单位。").arg(units));
    } catch (const EngineError& error) {
        showRunError(m_ui, error.text());
        return;
    } catch (const Error& error) {
        // A refused roster or an unreadable file: the reasons say what to mend.
        m_ui.showMessage(error.text(), QString(), MessageIcon::Warning);
        return;
    }
    recount();
}

std::optional<QString> TdlgCompletenessForm::chooseWorkbook(const QString& title,
                                                            const QString& proposedName) {
    const std::optional<FileChoice> choice =
        m_ui.chooseSaveFile(FileRequest{title, WorkbookFilter, 1, Settings::documentsFolder(), proposedName});
    if (!choice || choice->path.trimmed().isEmpty())
        return std::nullopt;
    QString path = choice->path.trimmed();
    if (!path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    return path;
}

void TdlgCompletenessForm::exportView() {
    const std::optional<QString> path =
        chooseWorkbook(QStringLiteral("导出上报情况"), QStringLiteral("上报情况.xlsx"));
    if (!path)
        return;
    try {
        exportCompleteness(*path, m_by, m_rows);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return;
    }
    m_ui.openWithShell(*path);
}

void TdlgCompletenessForm::exportMissing() {
    const CompletenessRow row = currentRow();
    const std::optional<QString> path =
        chooseWorkbook(QStringLiteral("导出未报单位名单"), QStringLiteral("未报单位-%1.xlsx").arg(row.name));
    if (!path)
        return;
    try {
        exportMissingUnits(*path, missingUnits(m_session.connection(), m_by, row));
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return;
    }
    m_ui.openWithShell(*path);
}

} // namespace corvalis::summary
