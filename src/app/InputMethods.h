#pragma once

#include <QStringList>

namespace corvalis {

// The input-method engines of the running input-method framework (ibus or fcitx5), in the
// framework's order; empty when none can be asked.
QStringList installedInputMethods();

} // namespace corvalis
