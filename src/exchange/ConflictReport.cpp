#include "ConflictReport.h"

#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QDir>

namespace corvalis::exchange {

namespace {
const QString LineBreak = QStringLiteral("\n\r");
const QString Rule = QString(80, QLatin1Char('-'));
} // namespace

QString conflictReportPath() {
    return tempFolder() + QLatin1Char('/') + ConflictReportName;
}

QString conflictMessage() {
    return QStringLiteral("导入过程中发生错误，准备导入的数据可能与现有的") + LineBreak +
           QStringLiteral("数据有重复的内容，详细的内容请参见文件：") + LineBreak + LineBreak +
           QString(12, QLatin1Char(' ')) + ConflictReportName + QStringLiteral("。") + LineBreak +
           QStringLiteral("（文件所在的文件夹：") + QDir::toNativeSeparators(tempFolder()) +
           QStringLiteral("）");
}

// A line break inside a value would split its line, and a NUL would end the file for some readers.
QString conflictLine(const ConflictRow& row) {
    return QLatin1Char('(') + controlsAsBlanks(row.code) + QLatin1Char(',') + controlsAsBlanks(row.name) +
           QLatin1Char(')');
}

QStringList conflictReportLines(const ConflictRows& rows) {
    QStringList lines{ConflictHeading, Rule};
    for (const ConflictRow& row : rows)
        lines << conflictLine(row);
    return lines;
}

QStringList conflictBlockLines(const QString& chosenPath, const ConflictRows& rows) {
    QStringList lines;
    if (!rows.empty()) {
        lines << QStringLiteral("在准备导入的名为【") + chosenPath +
                     QStringLiteral("】的文件中，如下的记录与现有的记录发生编号冲突")
              << Rule;
        for (const ConflictRow& row : rows)
            lines << conflictLine(row);
    }
    lines << QString() << QString();
    return lines;
}

QStringList refusalReportLines(const records::RefusedRecords& records, const QString& chosenPath) {
    const QString file = chosenPath.isEmpty()
                             ? QStringLiteral("文件")
                             : QStringLiteral("名为【") + chosenPath + QStringLiteral("】的文件");
    QStringList lines{QStringLiteral("在准备导入的") + file +
                          QStringLiteral("中，如下的记录含有录入界面不能产生的值（统计编码，有错的列），"
                                         "没有导入任何记录"),
                      Rule};
    for (const records::RefusedRecord& record : records)
        lines << QLatin1Char('(') + controlsAsBlanks(record.code) + QLatin1Char(',') +
                     record.columns.join(QLatin1Char(' ')) + QLatin1Char(')');
    if (records.size() >= size_t(records::RefusedRecordListLimit))
        lines << QStringLiteral("……只列出了前%1条记录").arg(records::RefusedRecordListLimit);
    return lines;
}

QString writeRefusalReport(const records::RefusedRecords& records) {
    const QString path = conflictReportPath();
    writeGbkTextFile(path, refusalReportLines(records));
    return path;
}

QString refusalMessage(const QString& operation) {
    return QStringLiteral("准备") + operation +
           QStringLiteral("的文件中有记录含有不合法的值（如不是12位整数的统计编码、超出范围的数字、"
                          "过长的文字），没有") +
           operation + QStringLiteral("任何记录，") + LineBreak + QStringLiteral("详细的内容请参见文件：") +
           LineBreak + LineBreak + QString(12, QLatin1Char(' ')) + ConflictReportName + QStringLiteral("。");
}

QString writeConflictReport(const ConflictRows& rows) {
    const QString path = conflictReportPath();
    writeGbkTextFile(path, conflictReportLines(rows));
    return path;
}

ConflictRows readScratchConflicts(engine::Connection& connection) {
    engine::Statement statement(connection,
                                QStringLiteral("select c901,c902 from dt_data_dt_data order by c901"));
    ConflictRows rows;
    while (statement.step())
        rows.push_back({engine::codeTextOf(statement.value(0)), statement.text(1)});
    return rows;
}

void stageConflicts(engine::Connection& connection, const QString& alias) {
    connection.execute(QStringLiteral("delete from dt_data_dt_data"));
    engine::Transaction transaction(connection);
    connection.execute(QStringLiteral("insert into dt_data_dt_data select * from %1.dt_data").arg(alias));
    // A code used twice inside the file blocks the import as surely as one the database has.
    connection.execute(
        QStringLiteral("delete from dt_data_dt_data where c901 not in (select c901 from dt_data) "
                       "and c901 not in (select c901 from dt_data_dt_data group by c901 "
                       "having count(*) > 1)"));
    transaction.commit();
}

} // namespace corvalis::exchange
