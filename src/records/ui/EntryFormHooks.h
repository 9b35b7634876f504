#pragma once

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

// The page check of the logic rules; does nothing while none is set.
void setPageLogicCheck(std::function<void(const PageCheckRequest&)> check);
void runPageLogicCheck(const PageCheckRequest& request);

// The error list that the page checks fill, as the entry form needs it: clear (empties the list
// and hides its window), whether it is empty, show and hide its window, and whether it is moving
// the form to a finding (its Navigating flag). Unset parts behave as an empty, idle list.
struct LogicListHooks {
    std::function<void()> clear;
    std::function<bool()> isEmpty;
    std::function<void()> show;
    std::function<void()> hide;
    std::function<bool()> navigating;
};
void setLogicListHooks(LogicListHooks hooks);
const LogicListHooks& logicListHooks();

// Printing of the record shown in the entry form; does nothing while none is set.
void setPrintHook(std::function<void(QWidget* form, double code)> print);
void runPrintHook(QWidget* form, double code);

// The print preview of the record shown in the entry form; does nothing while none is set.
void setPrintPreviewHook(std::function<void(QWidget* form, double code)> preview);
void runPrintPreviewHook(QWidget* form, double code);

} // namespace corvalis::records
