#pragma once

#include "QueryExport.h"
#include "app/UnionCode.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace corvalis {
class Clock;
class DbSession;
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::search {

// One item of the survey-table list of the list export.
struct ExportTableItem {
    QString caption;
    bool enabled = true;
    int state = 0; // 0 unticked, 1 ticked, 2 greyed
    bool operator==(const ExportTableItem& other) const {
        return caption == other.caption && enabled == other.enabled && state == other.state;
    }
};

// The eight survey tables as the dialog shows them when no list file replaces them.
std::vector<ExportTableItem> builtInExportTables();
// Lines of "exporttable.vq": "&" + e + " " + s + " " + caption, e "1" for enabled, s the tick state
// digit; any other line is a plain caption, enabled and unticked.
std::vector<ExportTableItem> parseExportTables(const QStringList& lines);
// Reads the GBK list file; raises FileError when it cannot be read.
std::vector<ExportTableItem> loadExportTables(const QString& path);
inline const QString ExportTableFileName = QStringLiteral("exporttable.vq");

// The letter that begins the columns of survey table i (from 0): z, b, h, l, f, j, w, s; empty
// past the eighth.
QString tableLetter(int index);
// The letters of the enabled, ticked items, in order.
QString tickedLetters(const std::vector<ExportTableItem>& items);

// The dictionary fields of the survey tables named by their letters, in dictionary order: names
// beginning with a letter, sequence from 7 to 999.
QStringList extraColumns(engine::Connection& connection, const QString& letters);

// One range of a custom group.
struct GroupRange {
    qint64 id = 0;
    QString title;
    UnionCode low = 0;
    UnionCode high = 0;
    QString lowSymbol;
    QString highSymbol;
};
std::vector<GroupRange> loadGroupRanges(engine::Connection& connection);
std::optional<GroupRange> findGroupRange(engine::Connection& connection, qint64 id);

// Which records the list holds.
struct ListChoice {
    enum Kind { All, Range, Group } kind = All;
    QString low;  // the code texts of a range
    QString high; // takes the low text when the low code is greater
    GroupRange group;
};

// The statement of the list: the cover columns, RecordState and the extra columns, in code order.
// A range with an empty or zero code is refused with its message (none is returned); a group range
// whose symbols are not comparison operators is refused too.
std::optional<QuerySource> listQuery(engine::Connection& connection, const QString& letters,
                                     ListChoice& choice, UiServices& ui);

// ExportRecordList's work after the dialog: the list of the chosen records to a workbook named after
// the database label + "数据列表". Returns the written path, empty when nothing was written.
QString exportRecordList(DbSession& session, const QString& letters, ListChoice& choice, UiServices& ui,
                         const Clock& clock);

inline const QString ListRangeMessage = QStringLiteral("请输入单位编号的范围");

} // namespace corvalis::search
