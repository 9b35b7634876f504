#include "QueryExport.h"

#include "SearchConditions.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/workbook/CellAddress.h"
#include "app/workbook/SheetRows.h"
#include "app/workbook/StreamedWorkbook.h"
#include "records/SurveyColumns.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace corvalis::search {

namespace {
using engine::ColumnType;

const QString ExportTitle = QStringLiteral("导出文件存放为");
// Records start in this row of the sheet; the rows above (date and column titles) head every
// printed page, and the first column (the record's code in a list) every page across.
constexpr int FirstRecordRow = 5;
constexpr int PrintedKeyColumns = 1;

// Columns that hold codes or answers rather than amounts: their numbers are shown as written, with
// no thousands separators (a division code 520111 is not "520,111").
bool isCodeColumn(const QString& column) {
    switch (records::columnKind(column)) {
    case records::ColumnKind::Code:
    case records::ColumnKind::CodeNumber:
    case records::ColumnKind::State:
    case records::ColumnKind::YesNo:
    case records::ColumnKind::Choice:
        return true;
    default:
        return false;
    }
}

// How an exported column is formatted in the sheet, by the kind of the query's column.
QString excelFormat(ColumnType type, const QString& column) {
    // A code is a number of 12 digits, not an amount of money.
    if (column.compare(QLatin1String("c901"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("0");
    if ((type == ColumnType::Integer || type == ColumnType::Float) && isCodeColumn(column))
        return QStringLiteral("0");
    switch (type) {
    case ColumnType::DateTime:
        return QStringLiteral("yyyy-mm");
    case ColumnType::Text:
    case ColumnType::Boolean:
    case ColumnType::Blob:
        return QStringLiteral("@");
    case ColumnType::Float:
        return QStringLiteral("￥#,##0.00;￥-#,##0.00");
    case ColumnType::Integer:
        return QStringLiteral("#,##0_ ");
    case ColumnType::Unknown:
        break;
    }
    return QString();
}

// A date-time value as the engine may hold it: text in ISO form, or days since 1899-12-30.
QDateTime dateTimeOf(const QVariant& value) {
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QString) {
        QDateTime parsed = QDateTime::fromString(value.toString(), Qt::ISODate);
        if (!parsed.isValid())
            parsed = QDateTime(QDate::fromString(value.toString(), Qt::ISODate), QTime(0, 0));
        return parsed;
    }
    const double days = value.toDouble();
    if (days == 0)
        return {};
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addMSecs(qint64(days * 86400000.0));
}

std::optional<FileChoice> askExportFile(UiServices& ui, const Clock& clock, const QString& name,
                                        const QString& filter) {
    const QString folder = Settings::documentsFolder();
    QDir().mkpath(folder);
    FileRequest request;
    request.title = ExportTitle;
    request.filter = filter;
    request.folder = folder;
    request.proposedName = name + QStringLiteral("-") + clock.today().toString(QStringLiteral("yyyy-MM-dd"));
    std::optional<FileChoice> choice = ui.chooseSaveFile(request);
    if (!choice || choice->path.trimmed().isEmpty())
        return std::nullopt;
    return choice;
}

// The number of rows; -1 (after the error has been shown) when the engine rejects the query.
qint64 rowCount(engine::Connection& connection, const QuerySource& query, UiServices& ui) {
    try {
        return engine::integerOf(
            connection.scalar(QStringLiteral("select count(*) from (%1)").arg(query.sql), query.params));
    } catch (const Error& error) {
        showRunError(ui, error.text(), ExportFailureSuffix);
        return -1;
    }
}

void showProgress(UiServices& ui) {
    ProgressReporter& progress = ui.progress();
    progress.setCaption(ExportProgressCaption + QString::number(progress.percent()) + QStringLiteral("%"));
    ui.keepResponsive();
}

void reportFailure(UiServices& ui, const QString& text) {
    ui.progress().finish();
    showRunError(ui, text, ExportFailureSuffix);
}

// How the cells of an exported column are written, settled once per column instead of once per cell.
enum class CellKind { AsText, Boolean, DateTime, Number };

CellKind cellKindOf(ColumnType type, const QString& name) {
    // A cid is an identifier: its digits are kept as they are written, leading zeros and all.
    if (name.compare(QLatin1String("cid"), Qt::CaseInsensitive) == 0)
        return CellKind::AsText;
    switch (type) {
    case ColumnType::Boolean:
        return CellKind::Boolean;
    case ColumnType::DateTime:
        return CellKind::DateTime;
    case ColumnType::Integer:
    case ColumnType::Float:
        return CellKind::Number;
    default:
        return CellKind::AsText;
    }
}

// One value of any storage class, through a QVariant.
void addExcelValue(workbook::SheetRows& cells, int column, const QVariant& value, CellKind kind) {
    if (value.isNull())
        return;
    switch (kind) {
    case CellKind::Boolean:
        cells.addText(column, engine::integerOf(value) != 0 ? QStringLiteral("是") : QStringLiteral("不是"));
        return;
    case CellKind::DateTime: {
        const QDateTime at = dateTimeOf(value);
        if (at.isValid())
            cells.addText(column, at.toString(QStringLiteral("yyyy-MM")));
        return;
    }
    case CellKind::Number: {
        bool numeric = false;
        const double number = value.toDouble(&numeric);
        if (numeric && value.typeId() != QMetaType::QString) {
            cells.addNumber(column, number);
            return;
        }
        break;
    }
    case CellKind::AsText:
        break;
    }
    cells.addText(column, engine::textOf(value));
}

// The cell of the current row: whole numbers in number columns, the bulk of every export, and texts
// are copied straight from the statement; other values take the general way above.
void addExcelCell(workbook::SheetRows& cells, int column, const engine::Statement& rows, int source,
                  CellKind kind) {
    qint64 number = 0;
    if (kind == CellKind::Number && rows.storedInteger(source, number)) {
        cells.addInteger(column, number);
        return;
    }
    if (rows.isNull(source))
        return;
    const char* utf8 = nullptr;
    int size = 0;
    if (kind == CellKind::AsText && rows.storedText(source, utf8, size)) {
        cells.addText(column, utf8, size);
        return;
    }
    addExcelValue(cells, column, rows.value(source), kind);
}

QString accessType(ColumnType type, int size, const QString& declared) {
    switch (type) {
    case ColumnType::Text:
        return QStringLiteral("VARCHAR(%1)").arg(size > 0 ? size : 255);
    case ColumnType::Integer:
        return QStringLiteral("INTEGER");
    case ColumnType::Float:
        return QStringLiteral("DOUBLE");
    case ColumnType::DateTime:
        return QStringLiteral("DATE");
    case ColumnType::Boolean:
        return QStringLiteral("BOOLEAN");
    case ColumnType::Blob:
        return QStringLiteral("BLOB");
    case ColumnType::Unknown:
        break;
    }
    // A computed column without a declared type keeps none: the engine then stores values as given.
    return isColumnName(declared) ? declared : QString();
}

// The value a column receives: blank dates become null and blank numbers 0, as the export always did.
QVariant accessValue(const QVariant& value, ColumnType type) {
    const bool blank = value.isNull() || engine::textOf(value).trimmed().isEmpty();
    switch (type) {
    case ColumnType::DateTime:
        return blank ? QVariant() : value;
    case ColumnType::Integer:
    case ColumnType::Float:
    case ColumnType::Boolean:
        return blank ? QVariant(0) : value;
    case ColumnType::Text:
        return value.isNull() ? QVariant(QString()) : value;
    default:
        return value;
    }
}

// The statement as a person reads it, values written in, for the error report.
QString readableStatement(const QString& head, const QVariantList& values) {
    QStringList parts;
    for (const QVariant& value : values) {
        if (value.isNull())
            parts << QStringLiteral("null");
        else if (value.typeId() == QMetaType::QString)
            parts << QStringLiteral("'") + value.toString() + QStringLiteral("'");
        else
            parts << engine::textOf(value);
    }
    return head + QStringLiteral(" Values(") + parts.join(QLatin1Char(',')) + QStringLiteral(")");
}
} // namespace

QString withExtension(const QString& fileName, const QString& extension) {
    if (fileName.size() > 4 && !fileName.endsWith(extension, Qt::CaseInsensitive))
        return fileName + extension;
    return fileName;
}

QString saveQueryAsExcel(engine::Connection& connection, const QuerySource& query, const QString& name,
                         const TFieldDataArray& columns, UiServices& ui, const Clock& clock) {
    const qint64 total = rowCount(connection, query, ui);
    if (total < 0)
        return QString();
    if (total == 0) {
        ui.showMessage(ExcelEmptyMessage);
        return QString();
    }
    // Said before any file is asked for, rather than after writing a sheet's worth of rows.
    const qint64 capacity = workbook::MaxRows - FirstRecordRow + 1;
    if (total > capacity) {
        ui.showMessage(ExcelTooManyMessage.arg(total).arg(capacity), QString(), MessageIcon::Warning);
        return QString();
    }
    const auto choice = askExportFile(ui, clock, name, QStringLiteral("Excel 文件(*.xlsx)|*.xlsx"));
    if (!choice)
        return QString();
    const QString path = withExtension(choice->path.trimmed(), QStringLiteral(".xlsx"));
    try {
        engine::Statement rows(connection, query.sql);
        rows.bindAll(query.params);
        workbook::StreamedWorkbook sheet(path, workbook::fittedSheetName(name));
        // Rows go out in ascending order: the date in row 2, the titles in row 3, the records from row 5.
        workbook::CellStyle heading;
        heading.fontSize = 12;
        heading.bold = true;
        sheet.writeText(2, 1, QStringLiteral("导出日期:"), heading);
        workbook::CellStyle textCell;
        textCell.numberFormat = QStringLiteral("@");
        sheet.writeText(
            2, 2, QLocale(QLocale::Chinese, QLocale::China).toString(clock.today(), QLocale::ShortFormat),
            textCell);

        struct Exported {
            int source;
            CellKind kind;
        };
        std::vector<Exported> exported;
        for (const TFieldData& field : columns) {
            if (!field.queryShow)
                continue;
            const int source = rows.columnIndex(field.showName);
            const ColumnType type = source >= 0 ? rows.columnType(source) : ColumnType::Unknown;
            exported.push_back({source, cellKindOf(type, field.showName)});
            const int column = int(exported.size());
            // A column's format goes before its cells, the title among them.
            const QString format = excelFormat(type, field.showName);
            if (!format.isEmpty()) {
                workbook::CellStyle style;
                style.numberFormat = format;
                sheet.setColumnFormat(column, style);
            }
            sheet.writeText(3, column, field.hint);
        }

        ProgressReporter& progress = ui.progress();
        progress.start(ExportProgressCaption, total, 1, false);
        int row = FirstRecordRow;
        int shownPercent = -1;
        // The records go to the workbook a block of rows at a time: their XML is made and compressed
        // on other threads while this one reads on.
        workbook::SheetRows block;
        while (rows.step()) {
            progress.step();
            // The caption changes only with the percentage; between changes the window is kept
            // responsive every few rows rather than after each one.
            if (progress.percent() != shownPercent) {
                shownPercent = progress.percent();
                showProgress(ui);
            } else if ((row & 63) == 0) {
                ui.keepResponsive();
            }
            block.beginRow(row);
            for (size_t i = 0; i < exported.size(); ++i) {
                if (exported[i].source >= 0)
                    addExcelCell(block, int(i + 1), rows, exported[i].source, exported[i].kind);
            }
            ++row;
            if (block.isFull())
                sheet.writeRows(block);
        }
        sheet.writeRows(block);
        sheet.fitColumns();
        sheet.setPageSetup(
            workbook::tablePageSetup(sheet.columnWidths(), FirstRecordRow - 1, PrintedKeyColumns));
        progress.finish();
        sheet.save();
    } catch (const Error& error) {
        reportFailure(ui, error.text());
        return QString();
    }
    ui.showMessage(QStringLiteral("Excel文件已经正确导出到：'") + path);
    return path;
}

QString saveQueryAsAccess(engine::Connection& connection, const QuerySource& query, const QString& name,
                          UiServices& ui, const Clock& clock) {
    const qint64 total = rowCount(connection, query, ui);
    if (total < 0)
        return QString();
    if (total == 0) {
        ui.showMessage(AccessEmptyMessage);
        return QString();
    }
    const auto choice = askExportFile(ui, clock, name, QStringLiteral("Access文件(*.mdb)|*.mdb"));
    if (!choice)
        return QString();
    const QString path = withExtension(choice->path.trimmed(), QStringLiteral(".mdb"));
    QString lastStatement;
    try {
        engine::Statement rows(connection, query.sql);
        rows.bindAll(query.params);
        if (!QFileInfo::exists(path))
            engine::Connection::createDatabase(path);
        engine::Connection target(path);
        engine::Transaction transaction(target);
        const QString table = quoteIdentifier(name);
        if (target.tableExists(name))
            target.execute(QStringLiteral("drop table ") + table);

        QStringList definitions;
        QStringList names;
        QStringList marks;
        std::vector<ColumnType> types;
        for (int i = 0; i < rows.columnCount(); ++i) {
            const QString column = quoteIdentifier(rows.columnName(i));
            const QString declared = rows.declaredType(i);
            types.push_back(rows.columnType(i));
            const QString type =
                accessType(types.back(), engine::columnSizeFromDeclaration(declared), declared);
            definitions << (type.isEmpty() ? column : column + QLatin1Char(' ') + type);
            names << column;
            marks << QStringLiteral("?");
        }
        target.execute(QStringLiteral("Create Table %1 (%2)").arg(table, definitions.join(QLatin1Char(','))));

        const QString head = QStringLiteral("INSERT INTO %1  (%2)").arg(table, names.join(QLatin1Char(',')));
        engine::Statement insert(target, head + QStringLiteral(" Values(") + marks.join(QLatin1Char(',')) +
                                             QStringLiteral(")"));
        ProgressReporter& progress = ui.progress();
        progress.start(ExportProgressCaption, total, 0, false);
        while (rows.step()) {
            QVariantList values;
            for (int i = 0; i < rows.columnCount(); ++i)
                values << accessValue(rows.value(i), types[size_t(i)]);
            lastStatement = readableStatement(head, values);
            insert.reset();
            insert.bindAll(values);
            insert.run();
            progress.step();
            showProgress(ui);
        }
        transaction.commit();
    } catch (const Error& error) {
        reportFailure(ui, error.text());
        ui.showMessage(lastStatement, QString(), MessageIcon::Critical);
        return QString();
    }
    ui.progress().finish();
    ui.showMessage(QStringLiteral("Access文件已经正确导出到：'") + path + QStringLiteral("'！"));
    return path;
}

} // namespace corvalis::search
