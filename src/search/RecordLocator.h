#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <optional>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::search {

// The code typed into the locate dialog: exactly 12 characters, all digits; otherwise none.
std::optional<UnionCode> codeForLocate(const QString& text);

// The code of the first record (in code order) whose name contains the text; none without a match.
// The characters % and _ keep their meaning as wildcards of the engine's pattern match.
std::optional<UnionCode> findCodeByName(engine::Connection& connection, const QString& name);

inline const QString CodeDigitsMessage = QStringLiteral("编码必须为12位");
inline const QString NotFoundMessage = QStringLiteral("没有找到满足条件的数据");

} // namespace corvalis::search
