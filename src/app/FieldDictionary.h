#pragma once

#include <QString>
#include <vector>

namespace corvalis {
namespace engine {
class Connection;
}

// The value class of a dictionary field (dt_fieldlist.QueryType), which decides how its value is read,
// written and limited: integer codes of the code tables and the record state, texts, large numbers
// (the union code and the counts, stored as floating values), and the yes/no and choice answers.
enum class QueryType { Other = -1, Code = 0, Text = 1, Number = 2, Answer = 3 };

// One field of the dictionary table dt_fieldlist. Entry i of the dictionary describes column i of the
// main record list; the same record describes export columns.
struct TFieldData {
    qint64 id = 0;
    QString fieldName; // the dt_data column
    QString showName;  // the view_data column that lists show
    QString hint;      // the caption
    int fieldWidth = 0;
    QString fieldType;
    bool visible = false;
    bool queryShow = true;
    QueryType queryType = QueryType::Other; // Other when the table holds a value outside the classes
    int sequence = 0;
    int pageId = -1;
};
using TFieldDataArray = std::vector<TFieldData>;

// Reads dt_fieldlist in sequence order; an empty result when the table has no row.
TFieldDataArray loadFieldDictionary(engine::Connection& connection);

// The entry of a field by its column name (ignoring case), or null.
const TFieldData* findField(const TFieldDataArray& dictionary, const QString& fieldName);

} // namespace corvalis
