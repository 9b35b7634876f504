#pragma once

#include <QString>
#include <functional>

namespace corvalis {
class DbSession;
class UiServices;
} // namespace corvalis

namespace corvalis::engine {
class Connection;
}

namespace corvalis::exchange {

enum class CsvImportOutcome {
    Imported,  // every record was added
    Conflicts, // codes already present (or twice in the file): the report lists them, nothing added
    Refused,   // no file, a wrong header or a bad line: nothing added
};

// The CSV import ("导入网络版数据"): reads records in the layout of the network version's plain
// text, stages them in dt_data_dt_data with the machine stamp in c900, and adds them to dt_data
// when none of their codes is already there. Values are bound, never pasted into the statement.
// The header must name columns of dt_data, c901 among them; each line holds one value per column.
// percent reports the progress from 0 to 100.
CsvImportOutcome importCsvFile(DbSession& session, UiServices& ui, const QString& path,
                               const QString& machineStamp, const std::function<void(int)>& percent = {});

// Reads a text in the network version's layout (GBK; a header naming columns of dt_data, c901 among
// them; one value per column on each line, each followed by ",") into a table with dt_data's
// columns, with machineStamp in c900, in one transaction and in constant memory. False when the
// header is not acceptable; EngineError naming the line when a line is not.
bool stageCsvFile(engine::Connection& db, const QString& table, const QString& path,
                  const QString& machineStamp, const std::function<void(int)>& percent = {});

// The file chosen in the dialog with ".csv" appended unless it ends so; empty after a message when
// it does not exist.
QString checkedCsvPath(const QString& chosen, UiServices& ui);

inline const QString CsvFilter = QStringLiteral("csv文件(*.csv)|*.csv");
inline const QString CsvFormatRefusal = QStringLiteral("文件格式不对");

} // namespace corvalis::exchange
