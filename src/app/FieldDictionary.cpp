#include "FieldDictionary.h"

#include "engine/Connection.h"
#include "engine/Statement.h"

namespace corvalis {

TFieldDataArray loadFieldDictionary(engine::Connection& connection) {
    engine::Statement rows(
        connection,
        QStringLiteral("select ID, FieldName, ShowName, Hint, FieldWidth, FieldType, Visible, "
                       "QueryShow, QueryType, sequence, PageID from dt_fieldlist order by sequence, ID"));
    TFieldDataArray dictionary;
    while (rows.step()) {
        TFieldData field;
        field.id = rows.integer(0);
        field.fieldName = rows.text(1);
        field.showName = rows.text(2);
        field.hint = rows.text(3);
        field.fieldWidth = int(rows.integer(4));
        field.fieldType = rows.text(5);
        field.visible = rows.integer(6) != 0;
        field.queryShow = rows.integer(7) != 0;
        const qint64 type = rows.integer(8);
        field.queryType = type >= 0 && type <= 3 ? QueryType(type) : QueryType::Other;
        field.sequence = int(rows.integer(9));
        field.pageId = int(rows.integer(10));
        dictionary.push_back(field);
    }
    return dictionary;
}

const TFieldData* findField(const TFieldDataArray& dictionary, const QString& fieldName) {
    for (const TFieldData& field : dictionary)
        if (field.fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

} // namespace corvalis
