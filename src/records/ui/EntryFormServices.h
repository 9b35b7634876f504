#pragma once

#include "app/UnionCode.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace corvalis::records {

// A request to check one page (1 to 7) of the entry form with the logic rules: the rules read the
// form's values through valueOf (empty for a field the form does not have) and turn a finding
// back into a position with focusField. clearFirst empties the error list before the page's
// findings are added.
struct PageCheckRequest {
    QWidget* form;
    int page;
    std::function<std::optional<qint64>(const QString& field)> valueOf;
    std::function<void(int page, const QString& field)> focusField;
    bool clearFirst = true;
};

// The error list that the page checks fill, as the entry form needs it: clear (empties the list
// and hides its window), whether it is empty, show and hide its window, and whether it is moving
// the form to a finding (its Navigating flag). attach makes its window belong to the form, so that
// it can be used while the form is modal. Unset parts behave as an empty, idle list.
struct LogicListHooks {
    std::function<void(QWidget* form)> attach;
    std::function<void()> clear;
    std::function<bool()> isEmpty;
    std::function<void()> show;
    std::function<void()> hide;
    std::function<bool()> navigating;
};

// What the entry form uses from the subsystems above it: the page check of the logic rules, their
// error list, and printing and previewing the record shown. The shell fills them; a form made
// without them (tests, the screenshot) checks nothing, keeps an empty list and prints nothing.
struct EntryFormServices {
    std::function<void(const PageCheckRequest&)> pageCheck;
    LogicListHooks logicList;
    std::function<void(QWidget* form, UnionCode code)> print;
    std::function<void(QWidget* form, UnionCode code)> printPreview;
};

} // namespace corvalis::records
