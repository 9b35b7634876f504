#pragma once

namespace corvalis {

// The direction a list is sorted in by a click on a column title. A click on a list in no order or
// in descending order sorts ascending; one on an ascending list sorts descending.
enum class SortState { None, Ascending, Descending };

inline SortState nextSortState(SortState state) {
    return state == SortState::Ascending ? SortState::Descending : SortState::Ascending;
}

} // namespace corvalis
