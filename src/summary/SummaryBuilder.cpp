#include "SummaryBuilder.h"

#include "DivisionSummary.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/ProgramFolder.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/ProgressHandler.h"
#include "app/engine/Statement.h"
#include "app/workbook/Workbook.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <map>
#include <thread>

namespace corvalis::summary {

namespace {

constexpr int FirstClassRow = 9;
// Engine steps between looks at the clock, and the time between two repaints, while the rows are
// read by one long statement per classification.
constexpr int StepsBetweenLooks = 20000;
constexpr qint64 RepaintIntervalMs = 50;
constexpr int LabelColumn = 1;
// The width one step of indentation takes, in characters.
constexpr double IndentWidth = 2;

// Rows of the summary by division show their depth by indentation; the rows of the total and of the
// provinces are bold.
workbook::CellStyle labelStyle(int classification, int level) {
    workbook::CellStyle style;
    style.border = true;
    style.align = workbook::HAlign::Left;
    style.indent = level;
    style.bold = classification == ByDivision && level <= ProvinceLevel;
    return style;
}

workbook::CellStyle valueStyle(const QString& column) {
    workbook::CellStyle style;
    style.border = true;
    style.align = workbook::HAlign::Right;
    if (column.startsWith(QLatin1String("percent")))
        style.numberFormat = QStringLiteral("0.00%");
    return style;
}

// The widths of a layout sheet's columns up to its last (at least so many), in characters.
std::vector<double> layoutColumnWidths(const workbook::SheetLayout& layout, int columns) {
    for (const workbook::LayoutCell& cell : layout.cells)
        columns = std::max(columns, cell.range.last.column);
    if (!layout.columnWidths.empty())
        columns = std::max(columns, layout.columnWidths.rbegin()->first);
    std::vector<double> widths;
    for (int column = 1; column <= columns; ++column) {
        const auto set = layout.columnWidths.find(column);
        widths.push_back(set == layout.columnWidths.end() ? workbook::DefaultColumnWidth : set->second);
    }
    return widths;
}

bool widerThanPortrait(const std::vector<double>& widths) {
    return workbook::columnsWidthPoints(widths) > workbook::printableWidthPoints(false);
}

// The cover prints on one page.
workbook::PageSetup coverPageSetup(const workbook::SheetLayout& layout) {
    workbook::PageSetup setup;
    setup.landscape = layout.landscape || widerThanPortrait(layoutColumnWidths(layout, 1));
    setup.fitWide = 1;
    setup.fitTall = 1;
    return setup;
}

// A table sheet prints one page wide, as many down as its classes take, with its title and column
// headings (the rows above the classes) on every page.
workbook::PageSetup tableSheetPageSetup(const workbook::SheetLayout& layout, double labelWidth, int columns) {
    std::vector<double> widths = layoutColumnWidths(layout, columns);
    widths[size_t(LabelColumn - 1)] = labelWidth;
    workbook::PageSetup setup;
    setup.landscape = layout.landscape || widerThanPortrait(widths);
    setup.fitWide = 1;
    setup.titleFirstRow = 1;
    setup.titleLastRow = FirstClassRow - 1;
    return setup;
}

// Result columns from 2 on are the select list's values; column 1 is the grouping key or sid.
SummaryRow readRow(const engine::Statement& statement) {
    SummaryRow row;
    row.label = statement.text(0);
    for (int column = 2; column < statement.columnCount(); ++column)
        row.values.push_back(statement.value(column));
    return row;
}

// Runs a summary statement; when the engine's sum overflows 64 bits (a corrupt or extreme count), runs
// it again with sums that go over to floating point, so that ordinary totals stay exact.
std::vector<SummaryRow> runSummaryStatement(engine::Connection& connection, const QString& sql,
                                            const QVariantList& params = {}) {
    for (const QString& text : {sql, withWideSums(sql)}) {
        try {
            engine::Statement statement(connection, text);
            statement.bindAll(params);
            std::vector<SummaryRow> rows;
            while (statement.step())
                rows.push_back(readRow(statement));
            return rows;
        } catch (const EngineError& error) {
            if (!isSumOverflow(error.text()) || text != sql)
                throw;
        }
    }
    return {};
}

std::vector<SummaryRow> classRows(engine::Connection& connection, const std::vector<int>& sheets,
                                  int classification) {
    return runSummaryStatement(connection, classificationStatement(sheets, classification));
}

DivisionNames divisionNames(engine::Connection& connection) {
    DivisionNames names;
    engine::Statement statement(connection, QStringLiteral("select ID, Name from CT_CityName"));
    while (statement.step())
        names.emplace(statement.value(0).toLongLong(), statement.text(1));
    return names;
}

std::vector<SummaryRow> divisionRows(engine::Connection& connection, const std::vector<int>& sheets) {
    QStringList columns;
    for (int sheet : sheets)
        columns << selectListColumns(sheet - 1);
    return rollUpDivisions(runSummaryStatement(connection, divisionStatement(sheets)),
                           divisionNames(connection), columns);
}

std::vector<SummaryRow> groupRows(engine::Connection& connection, const std::vector<int>& sheets,
                                  qint64 groupId) {
    engine::Statement items(connection, groupItemsStatement(groupItemOrder(connection, groupId)));
    items.bind(1, groupId);
    const int title = items.columnIndex(QStringLiteral("Title"));
    const int low = items.columnIndex(QStringLiteral("LowValue"));
    const int high = items.columnIndex(QStringLiteral("HighValue"));
    std::vector<SummaryRow> rows;
    int position = 0;
    while (items.step()) {
        ++position;
        const BoundStatement item =
            groupItemStatement(sheets, items.text(title), position, items.text(low), items.text(high));
        const std::vector<SummaryRow> sums = runSummaryStatement(connection, item.sql, item.params);
        if (!sums.empty())
            rows.push_back(sums.front());
    }
    return rows;
}

// Two sets of sheets whose select lists are about equally long, which is how long they take.
std::pair<std::vector<int>, std::vector<int>> splitByCost(const std::vector<int>& sheets) {
    std::vector<int> byCost = sheets;
    auto cost = [](int sheet) { return summarySelectList(sheet - 1).size(); };
    std::stable_sort(byCost.begin(), byCost.end(), [&](int a, int b) { return cost(a) > cost(b); });
    std::pair<std::vector<int>, std::vector<int>> halves;
    qsizetype first = 0, second = 0;
    for (int sheet : byCost) {
        if (first <= second) {
            halves.first.push_back(sheet);
            first += cost(sheet);
        } else {
            halves.second.push_back(sheet);
            second += cost(sheet);
        }
    }
    std::sort(halves.first.begin(), halves.first.end());
    std::sort(halves.second.begin(), halves.second.end());
    return halves;
}

} // namespace

SheetChoice checkSheetChoice(const std::vector<int>& sheets) {
    if (sheets.empty())
        return SheetChoice::Nothing;
    if (sheets.size() == 1 && sheets.front() == 1)
        return SheetChoice::OnlyCover;
    return SheetChoice::Usable;
}

std::vector<SummaryRow> summaryRows(engine::Connection& connection, const std::vector<int>& sheets,
                                    int classification, qint64 groupId) {
    if (classification == ByDivision)
        return divisionRows(connection, sheets);
    std::vector<SummaryRow> rows = classification == ByCustomGroup
                                       ? groupRows(connection, sheets, groupId)
                                       : classRows(connection, sheets, classification);
    // The statements read in reverse (descending codes, reversed item order), as the rows used to be
    // inserted one above the other; the sheet shows them the other way round.
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<SummaryRow> summaryRows(engine::Connection& connection, int sheet, int classification,
                                    qint64 groupId) {
    return summaryRows(connection, std::vector<int>{sheet}, classification, groupId);
}

std::map<int, std::vector<SummaryRow>> splitBySheet(const std::vector<SummaryRow>& rows,
                                                    const std::vector<int>& sheets) {
    std::map<int, std::vector<SummaryRow>> bySheet;
    size_t offset = 0;
    for (int sheet : sheets) {
        const size_t width = size_t(selectListColumns(sheet - 1).size());
        std::vector<SummaryRow>& part = bySheet[sheet];
        for (const SummaryRow& row : rows) {
            SummaryRow slice;
            slice.label = row.label;
            slice.level = row.level;
            const auto first = row.values.begin() + qsizetype(std::min(offset, row.values.size()));
            const auto last = row.values.begin() + qsizetype(std::min(offset + width, row.values.size()));
            slice.values.assign(first, last);
            part.push_back(std::move(slice));
        }
        offset += width;
    }
    return bySheet;
}

QString temporarySummaryPath(const QString& stem, const Clock& clock) {
    const QString base = QDir::tempPath() + QLatin1Char('/') + stem + QLatin1Char('-') +
                         clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = base + QStringLiteral(".xlsx");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral("-%1.xlsx").arg(n);
    return path;
}

SummaryBuilder::SummaryBuilder(engine::Connection& connection, const ProgramFolder& folder, UiServices& ui)
    : m_connection(connection), m_folder(folder), m_ui(ui) {}

SummaryBuilder::~SummaryBuilder() = default;

bool SummaryBuilder::build(const SummaryRequest& request, const QString& outputPath) {
    const SheetChoice choice = checkSheetChoice(request.sheets);
    if (choice == SheetChoice::Nothing)
        return false;
    if (choice == SheetChoice::OnlyCover) {
        m_ui.showMessage(OnlyCoverMessage, QString(), MessageIcon::Warning);
        return false;
    }
    if (!prepareSummary(request.classification, outputPath))
        return false;

    ProgressReporter& progress = m_ui.progress();
    progress.startTwoBars();
    progress.initFirst(qint64(request.sheets.size()));
    try {
        std::vector<int> tableSheets;
        for (int sheet : request.sheets)
            if (sheet >= 2 && sheet <= SummarySheetCount)
                tableSheets.push_back(sheet);
        readRowsResponsively(tableSheets, request.classification, request.groupId);
        for (int sheet : request.sheets) {
            fillSummarySheet(sheet, request.classification, request.groupId);
            progress.incFirst();
        }
        finishSummary();
    } catch (const Error& error) {
        progress.finishTwoBars();
        m_book.reset();
        showRunError(m_ui, error.text());
        return false;
    }
    progress.finishTwoBars();
    return true;
}

bool SummaryBuilder::prepareSummary(int classification, const QString& outputPath) {
    if (!isValidClassification(classification))
        throw Error(QStringLiteral("无效的汇总方式：%1").arg(classification));
    m_book.reset();
    m_written.clear();
    try {
        m_layout = workbook::WorkbookLayout::load(
            m_folder.file(summaryTemplateStem(classification) + QStringLiteral(".json")));
        if (int(m_layout.sheets.size()) != SummarySheetCount)
            throw FileError(QStringLiteral("%1: %2").arg(m_layout.name).arg(m_layout.sheets.size()));
        m_book = std::make_unique<workbook::Workbook>(outputPath);
    } catch (const Error&) {
        m_ui.showMessage(TemplateErrorMessage, QString(), MessageIcon::Critical);
        return false;
    }
    return true;
}

void SummaryBuilder::fillSummarySheet(int sheet, int classification, qint64 groupId) {
    if (!m_book || sheet < 1 || sheet > SummarySheetCount)
        return;
    const workbook::SheetLayout& layout = m_layout.sheets[size_t(sheet - 1)];
    workbook::Sheet& target = m_book->addSheet(layout);
    m_written.push_back({layout.name, 0});
    // The cover is never filled.
    if (sheet == 1) {
        target.applyPageSetup(coverPageSetup(layout));
        return;
    }
    const double labelWidth = fillSheet(target, layout, sheet, classification, groupId);
    target.applyPageSetup(
        tableSheetPageSetup(layout, labelWidth, int(selectListColumns(sheet - 1).size()) + 1));
}

void SummaryBuilder::gatherRows(const std::vector<int>& sheets, int classification, qint64 groupId) {
    m_gathered.clear();
    if (sheets.empty())
        return;
    // A caller's uncommitted rows are seen only by this connection: then everything is read here.
    const std::pair<std::vector<int>, std::vector<int>> halves =
        m_connection.inTransaction() || sheets.size() < 2 ? std::make_pair(sheets, std::vector<int>())
                                                          : splitByCost(sheets);
    // The evaluation of the sums, not the reading of the records, is the bulk of the work: the
    // second half of the sheets is summed on a read-only connection of its own, on another thread.
    std::map<int, std::vector<SummaryRow>> other;
    std::exception_ptr otherFailure;
    std::atomic<bool> otherDone{halves.second.empty()};
    std::thread worker;
    if (!halves.second.empty()) {
        engine::Connection twin = m_connection.openReadOnlyTwin();
        worker = std::thread([&, twin = std::move(twin)]() mutable {
            try {
                other =
                    splitBySheet(summaryRows(twin, halves.second, classification, groupId), halves.second);
            } catch (...) {
                otherFailure = std::current_exception();
            }
            otherDone = true;
        });
    }
    struct Joiner {
        std::thread& thread;
        ~Joiner() {
            if (thread.joinable())
                thread.join();
        }
    } joiner{worker};
    m_gathered = splitBySheet(summaryRows(m_connection, halves.first, classification, groupId), halves.first);
    while (!otherDone) {
        m_ui.keepResponsive();
        std::this_thread::sleep_for(std::chrono::milliseconds(RepaintIntervalMs / 2));
    }
    if (worker.joinable())
        worker.join();
    if (otherFailure)
        std::rethrow_exception(otherFailure);
    m_gathered.merge(other);
    m_gatheredFor = {classification, groupId};
}

void SummaryBuilder::readRowsResponsively(const std::vector<int>& sheets, int classification,
                                          qint64 groupId) {
    // One statement per classification runs for seconds on a large database: the second bar turns
    // into a busy bar and the windows are repainted from inside the statement. The caller keeps its
    // commands disabled meanwhile; the connection refuses other statements until it is done.
    m_ui.progress().initSecond(0);
    QElapsedTimer sinceRepaint;
    engine::ProgressHandler responsive(m_connection, StepsBetweenLooks, [this, &sinceRepaint] {
        if (sinceRepaint.isValid() && sinceRepaint.elapsed() < RepaintIntervalMs)
            return;
        m_ui.keepResponsive();
        sinceRepaint.start();
    });
    gatherRows(sheets, classification, groupId);
}

void SummaryBuilder::finishSummary() {
    m_gathered.clear();
    if (!m_book)
        return;
    std::unique_ptr<workbook::Workbook> book = std::move(m_book);
    book->save();
}

double SummaryBuilder::fillSheet(workbook::Sheet& sheet, const workbook::SheetLayout& layout, int sheetNumber,
                                 int classification, qint64 groupId) {
    // The caption names the classes; it goes into A2 unless the layout holds a title there.
    const workbook::LayoutCell* a2 = layout.cellAt(workbook::CellPosition{2, 1});
    const QString captionAddress = a2 && !a2->text.isEmpty() ? QStringLiteral("A3") : QStringLiteral("A2");
    const workbook::LayoutCell* captionCell =
        layout.cellAt(workbook::CellPosition{captionAddress == QLatin1String("A3") ? 3 : 2, 1});
    workbook::CellStyle captionStyle;
    if (captionCell)
        captionStyle = captionCell->style;
    else
        captionStyle.bold = true;
    if (captionStyle.fontSize == 0)
        captionStyle.fontSize = layout.defaultFontSize;
    sheet.writeText(captionAddress, classificationCaption(classification), captionStyle);

    const auto gathered = m_gathered.find(sheetNumber);
    const bool ready =
        gathered != m_gathered.end() && m_gatheredFor == std::make_pair(classification, groupId);
    const std::vector<SummaryRow> rows =
        ready ? gathered->second : summaryRows(m_connection, sheetNumber, classification, groupId);
    const QStringList columns = selectListColumns(sheetNumber - 1);
    std::vector<workbook::CellStyle> styles;
    for (const QString& column : columns)
        styles.push_back(valueStyle(column));

    if (!m_written.empty())
        m_written.back().rows = int(rows.size());
    ProgressReporter& progress = m_ui.progress();
    progress.initSecond(qint64(rows.size()) * (columns.size() + 1));
    double labelWidth = 0;
    int row = FirstClassRow;
    for (const SummaryRow& summaryRow : rows) {
        const workbook::CellStyle label = labelStyle(classification, summaryRow.level);
        sheet.writeText(row, LabelColumn, summaryRow.label, label);
        labelWidth =
            std::max(labelWidth, workbook::displayWidth(summaryRow.label) + IndentWidth * summaryRow.level);
        progress.incSecond();
        for (size_t j = 0; j < summaryRow.values.size(); ++j) {
            const QVariant& value = summaryRow.values[j];
            workbook::CellStyle style = styles[std::min(j, styles.size() - 1)];
            style.bold = style.bold || label.bold;
            if (value.isNull())
                sheet.writeBlank(row, int(j) + 2, style);
            else
                sheet.writeNumber(row, int(j) + 2, value.toDouble(), style);
            progress.incSecond();
        }
        ++row;
        m_ui.keepResponsive();
    }
    // Column A fits its longest label (the layout's width at least).
    const auto set = layout.columnWidths.find(LabelColumn);
    const double layoutWidth = set == layout.columnWidths.end() ? 0 : set->second;
    const double width = std::max(layoutWidth, labelWidth + 2);
    sheet.setColumnWidth(LabelColumn, width);
    return width;
}

} // namespace corvalis::summary
