#pragma once

#include <QString>
#include <vector>

namespace corvalis {
namespace engine {
class Connection;
}

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
    int queryType = -1; // 0 to 3; -1 when the table holds another value
    int sequence = 0;
    int pageId = -1;
};
using TFieldDataArray = std::vector<TFieldData>;

// Reads dt_fieldlist in sequence order; an empty result when the table has no row.
TFieldDataArray loadFieldDictionary(engine::Connection& connection);

// The entry of a field by its column name (ignoring case), or null.
const TFieldData* findField(const TFieldDataArray& dictionary, const QString& fieldName);

} // namespace corvalis
