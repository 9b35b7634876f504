#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

namespace corvalis {

// One entry of a code list: an integer code and its caption.
struct TCode {
    qint64 code = 0;
    QString name;
};
// A code list in ascending code order.
using TMenuItemDataArray = std::vector<TCode>;

} // namespace corvalis
