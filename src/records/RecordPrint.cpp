#include "RecordPrint.h"

#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "app/workbook/Workbook.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

namespace corvalis::records {

using workbook::CellPosition;
using workbook::LayoutCell;
using workbook::SheetLayout;
using workbook::WorkbookLayout;

namespace {

// The record's values by column name (lower case, as the engine compares names). Without a row
// every column is known but empty.
class PrintedRecord {
public:
    PrintedRecord(engine::Connection& connection, const QString& code) {
        engine::Statement statement(connection, QStringLiteral("select * from view_data where c901=?"));
        // A whole number is bound exactly; a code that is no number matches no record and must not
        // reach the comparison as text.
        bool numeric = false;
        const double value = code.trimmed().toDouble(&numeric);
        if (const std::optional<UnionCode> whole = engine::codeOf(QVariant(code.trimmed())))
            statement.bindInt64(1, *whole);
        else
            statement.bind(1, numeric ? QVariant(value) : QVariant());
        const bool found = statement.step();
        for (int column = 0; column < statement.columnCount(); ++column)
            m_values.insert(statement.columnName(column).toLower(),
                            found ? engine::textOf(statement.value(column)) : QString());
    }

    bool has(const QString& column) const { return m_values.contains(column.toLower()); }
    QString value(const QString& column) const {
        const auto found = m_values.constFind(column.toLower());
        if (found == m_values.cend())
            throw Error(QStringLiteral("记录中没有字段“%1”。").arg(column));
        return *found;
    }

private:
    QHash<QString, QString> m_values;
};

struct PrintedField {
    QString name;
    QString place;
};

std::vector<int> printedPages(engine::Connection& connection) {
    std::vector<int> pages;
    engine::Statement statement(
        connection,
        QStringLiteral("select distinct printPageID from dt_fieldlist where pageid>=0 order by printPageID"));
    while (statement.step())
        pages.push_back(int(statement.integer(0)));
    return pages;
}

std::vector<PrintedField> pageFields(engine::Connection& connection, int page) {
    std::vector<PrintedField> fields;
    engine::Statement statement(
        connection, QStringLiteral("select FieldName, printplace from dt_fieldlist where printPageID=?"));
    statement.bind(1, page);
    while (statement.step())
        fields.push_back({statement.text(0).trimmed(), statement.text(1).trimmed()});
    return fields;
}

// Puts a value into the cell at a position: into the fixed cell that starts there (keeping its
// frame and alignment), else into a plain cell of its own.
void placeValue(SheetLayout& sheet, const CellPosition& position, const QString& text) {
    for (LayoutCell& cell : sheet.cells) {
        if (cell.range.first == position) {
            cell.text = text;
            return;
        }
    }
    sheet.cells.push_back(LayoutCell{{position, position}, text, workbook::CellStyle()});
}

// Replaces "{column}" in the fixed texts with the record's values; names the record lacks stay.
void fillPlaceholders(WorkbookLayout& layout, const PrintedRecord& record) {
    static const QRegularExpression placeholder(QStringLiteral("\\{([A-Za-z][A-Za-z0-9_]*)\\}"));
    for (SheetLayout& sheet : layout.sheets) {
        for (LayoutCell& cell : sheet.cells) {
            if (!cell.text.contains(QLatin1Char('{')))
                continue;
            QString filled;
            qsizetype from = 0;
            for (auto it = placeholder.globalMatch(cell.text); it.hasNext();) {
                const auto match = it.next();
                filled += cell.text.mid(from, match.capturedStart() - from);
                const QString column = match.captured(1);
                filled += record.has(column) ? record.value(column) : match.captured(0);
                from = match.capturedEnd();
            }
            cell.text = filled + cell.text.mid(from);
        }
    }
}

// Closes the progress window however the printing ends.
class ProgressGuard {
public:
    explicit ProgressGuard(ProgressReporter& progress) : m_progress(progress) {}
    ~ProgressGuard() { m_progress.finish(); }
    ProgressGuard(const ProgressGuard&) = delete;
    ProgressGuard& operator=(const ProgressGuard&) = delete;

private:
    ProgressReporter& m_progress;
};

void showFailure(UiServices& ui, const Error& error) {
    showRunError(ui, error.text());
}

} // namespace

QString printLayoutPath(const ProgramFolder& folder) {
    return folder.file(PrintLayoutStem + QStringLiteral(".json"));
}

std::optional<WorkbookLayout> loadPrintLayout(const ProgramFolder& folder, UiServices& ui) {
    try {
        return WorkbookLayout::load(printLayoutPath(folder));
    } catch (const FileError&) {
        ui.showMessage(PrintLayoutOpenFailed, QString(), MessageIcon::Warning);
        return std::nullopt;
    }
}

WorkbookLayout fillPrintLayout(engine::Connection& connection, const WorkbookLayout& layout,
                               const QString& code, ProgressReporter& progress) {
    WorkbookLayout filled = layout;
    const PrintedRecord record(connection, code);
    const std::vector<int> pages = printedPages(connection);
    fillPlaceholders(filled, record);

    ProgressGuard guard(progress);
    progress.start(QStringLiteral("正在填写打印表"), qint64(pages.size()));
    for (int page : pages) {
        if (page < 1 || page > int(filled.sheets.size()))
            throw Error(QStringLiteral("打印表“%1”没有第%2页。").arg(layout.name).arg(page));
        SheetLayout& sheet = filled.sheets[size_t(page - 1)];
        for (const PrintedField& field : pageFields(connection, page)) {
            if (field.place.isEmpty())
                continue; // a field without a cell is not printed
            const auto position = workbook::parseCellAddress(field.place);
            if (!position)
                throw Error(QStringLiteral("字段%1的打印位置“%2”不是有效的单元格地址。")
                                .arg(field.name, field.place));
            placeValue(sheet, *position, record.value(field.name));
        }
        progress.step();
    }
    return filled;
}

void writePrintWorkbook(const WorkbookLayout& filled, const QString& path) {
    workbook::Workbook book(path);
    for (const SheetLayout& sheet : filled.sheets)
        book.addSheet(sheet).fitToPage(1, 1);
    book.save();
}

QString printWorkbookPath(const QString& code) {
    QString safe = code.trimmed();
    safe.remove(QRegularExpression(QStringLiteral("[^0-9A-Za-z]")));
    return QDir(QDir::tempPath())
        .filePath(PrintLayoutStem + QLatin1Char('_') + safe + QStringLiteral(".xlsx"));
}

std::optional<WorkbookLayout> filledPrintLayout(engine::Connection& connection, const ProgramFolder& folder,
                                                UiServices& ui, const QString& code) {
    const auto layout = loadPrintLayout(folder, ui);
    if (!layout)
        return std::nullopt;
    try {
        return fillPrintLayout(connection, *layout, code, ui.progress());
    } catch (const Error& error) {
        showFailure(ui, error);
        return std::nullopt;
    }
}

std::optional<QString> printRecord(engine::Connection& connection, const ProgramFolder& folder,
                                   UiServices& ui, const QString& code) {
    const auto filled = filledPrintLayout(connection, folder, ui, code);
    if (!filled)
        return std::nullopt;
    const QString path = printWorkbookPath(code);
    try {
        writePrintWorkbook(*filled, path);
    } catch (const Error& error) {
        showFailure(ui, error);
        return std::nullopt;
    }
    ui.openWithShell(path);
    return path;
}

QString codeText(UnionCode code) {
    return unionCodeText(code);
}

} // namespace corvalis::records
