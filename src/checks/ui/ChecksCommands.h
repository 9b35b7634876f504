#pragma once

#include "checks/PageRules.h"

#include <QString>
#include <functional>

class QWidget;

namespace corvalis {
class CommandHost;

namespace checks {
class TMessageListWinForm;
}

// Attaches actCheck "检查数据的逻辑", actCheckSelected "检查选中数据的逻辑" and the hidden item
// itemExportLogic "导出逻辑" to the main window, and creates the logic error list window.
void installChecksCommands(CommandHost& window);

// The page check the entry form calls: the rules of one page (1 to 7; AllRulePages for the
// whole-record check, page 1 clearing the list and pages 2 to 7 adding to it), with the form's
// values, filling the logic error list; true when the list is empty afterwards. focusField takes the
// form to a page and input when the user double-clicks a message.
constexpr int AllRulePages = -1;
using FieldFocuser = std::function<void(int page, const QString& field)>;
using PageLogicCheck =
    std::function<bool(QWidget* form, int page, bool clearFirst, const checks::FieldValueReader& valueOf,
                       const FieldFocuser& focusField)>;

// Hands the page check to the entry form through its hook setter.
void installPageLogicCheck(CommandHost& window, const std::function<void(PageLogicCheck)>& setHook);

// The one logic error list window of the main window (its Navigating flag, hiding it on close).
checks::TMessageListWinForm& logicMessageList(CommandHost& window);

} // namespace corvalis
