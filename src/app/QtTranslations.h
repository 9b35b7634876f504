#pragma once

#include <QString>

namespace corvalis {

// Installs Qt's own Chinese texts (qtbase_zh_CN: standard buttons, file dialogs, context menus,
// command-line parser messages) in the running application, from folder or, when folder is empty, from
// Qt's translations folder. False when the file cannot be loaded: Qt then keeps its English texts.
bool installQtChineseTranslations(const QString& folder = QString());

} // namespace corvalis
