#pragma once

#include "app/UnionCode.h"
#include "search/SearchConditions.h"

#include <functional>

namespace corvalis {
class CommandHost;
}

namespace corvalis::search {

class QueryListForm;

// Attaches the commands of search and query: actConditionSearch, actLocate, actSearch, actDelete and
// actSaveList.
void installSearchCommands(CommandHost& window);

// How a result list is shown; the program shows it modally, tests look at it instead.
using ListPresenter = std::function<void(QueryListForm&)>;

// RunQuery with the condition, then the result list shown (modally by default) and destroyed, then
// the main list re-run at its previous row. False when the engine rejected the condition (the error
// has been shown; no list was shown and the main list was not re-run).
bool showQueryList(CommandHost& window, const Condition& condition, const ListPresenter& present = {});

// Opens the entry form in modify mode on a record: the main list is put on the record and the main
// window's "修改选中的记录" command runs.
void editRecord(CommandHost& window, UnionCode code);

} // namespace corvalis::search
