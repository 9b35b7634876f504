#pragma once

#include "records/ReceivedValues.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

// One record of a received file whose code the open database already uses.
struct ConflictRow {
    QString code; // c901 as the engine's text form (a whole number without decimals)
    QString name; // c902 as stored
};
using ConflictRows = std::vector<ConflictRow>;

inline const QString ConflictReportName = QStringLiteral("数据导入编号冲突.txt");
inline const QString ConflictHeading =
    QStringLiteral("在准备导入的文件中，如下的记录与现有的记录发生编号冲突");
inline const QString ImportFormatError = QStringLiteral("导入文件格式错误");

// The conflict report in the temporary folder.
QString conflictReportPath();
// The message that points the user at the report; its line breaks are LF CR, as the program has
// always written them.
QString conflictMessage();

// "(code,name)".
QString conflictLine(const ConflictRow& row);
// The lines of the one-file report: heading, 80 hyphens and one line per conflict.
QStringList conflictReportLines(const ConflictRows& rows);
// The block of one file in the multi-file report; the heading and rows only when there are rows,
// the two empty lines always.
QStringList conflictBlockLines(const QString& chosenPath, const ConflictRows& rows);

// Writes the one-file report (GBK, CR LF), replacing the previous one; returns its path.
QString writeConflictReport(const ConflictRows& rows);

// The report of a file refused for its values: a heading, 80 hyphens and one line "(code,columns)"
// per record, the columns separated by blanks; the file named when one is given.
QStringList refusalReportLines(const records::RefusedRecords& records, const QString& chosenPath = QString());
// Writes that report (GBK, CR LF) where the conflict report goes; returns its path.
QString writeRefusalReport(const records::RefusedRecords& records);
// The message that says why nothing was taken and points at the report; what is said of the file
// ("导入", "恢复") names the operation.
QString refusalMessage(const QString& operation);

// Reads c901 and c902 from the scratch table in ascending code order.
ConflictRows readScratchConflicts(engine::Connection& connection);

// Fills the scratch table dt_data_dt_data with the records of an attached file and keeps only those
// whose code the open database already has, or that the file itself holds more than once. Runs in
// its own transaction; raises EngineError when the file's records cannot be copied.
void stageConflicts(engine::Connection& connection, const QString& alias);

} // namespace corvalis::exchange
