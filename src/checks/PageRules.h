#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::checks {

class ExplanationRenderer;

// One violation of a page rule as the logic error list shows it.
struct LogicMessage {
    QString rule;
    QString explanation;
    int page = 0;
    QString focus;
};

// The logic error list the page rules fill (the list window; a plain list in tests).
class LogicMessageList {
public:
    virtual ~LogicMessageList() = default;
    // Empties the list and hides its window.
    virtual void clearMessages() = 0;
    virtual void addMessage(const LogicMessage& message) = 0;
    virtual bool messagesEmpty() const = 0;
    virtual void showList() = 0;
};

// The current whole-number value of the entry form's numeric input of that name (empty inputs give
// their blank value); no value when the form has no such numeric input.
using FieldValueReader = std::function<std::optional<qint64>(const QString& field)>;

// The first and last survey page that page rules belong to.
constexpr int FirstRulePage = 1;
constexpr int LastRulePage = 7;

// SubstituteValues: replaces every field name of a dt_logic expression by the value resolveName
// gives for it; AND, OR and NOT (in any case) stay. A name starts with a letter and runs to the next
// space ( ) * + - / < = >.
QString substituteValues(const QString& expression,
                         const std::function<QString(const QString&)>& resolveName);

// Turns a substituted expression into the text handed to the engine, or raises Error when it holds
// anything but whole numbers, + - * /, comparisons, AND, OR, NOT and parentheses, so that neither a
// rule nor a value can carry SQL of its own. Tokens are re-joined with single spaces (no "--"
// comment can form) and "/" divides as a fraction, as the rules were written for.
QString engineExpression(const QString& substituted);

// The page rules of dt_logic, evaluated on the open database against the entry form's values.
class PageRuleRunner {
public:
    PageRuleRunner(engine::Connection& connection, UiServices& ui, ExplanationRenderer& renderer,
                   LogicMessageList& list);

    // RunPageRules: every rule of one page; true when the list is empty afterwards. Pages outside
    // 1 to 7 return false and change nothing.
    bool runPageRules(int page, bool clearFirst, const FieldValueReader& valueOf);
    // RunAllPageRules: page 1 clearing the list, then pages 2 to 7 adding to it.
    bool runAllPageRules(const FieldValueReader& valueOf);

    // ResolveName: the value of a field in decimal (negative values in parentheses), AND/OR/NOT
    // unchanged; for an unknown name "Control name parse error : " + name and empty text.
    QString resolveName(const QString& name, const FieldValueReader& valueOf);
    // EvaluateRule: true when the expression is true (the rule is violated). Raises Error when the
    // engine rejects it or it has no value (a division by zero).
    bool evaluateRule(const QString& expression, const FieldValueReader& valueOf);

private:
    engine::Connection& m_connection;
    UiServices& m_ui;
    ExplanationRenderer& m_renderer;
    LogicMessageList& m_list;
};

} // namespace corvalis::checks
