#include "PageRules.h"

#include "Explanation.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

namespace corvalis::checks {

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool isNameDelimiter(QChar c) {
    return QStringLiteral(" ()*+-/<=>").contains(c);
}

bool isLogicalWord(const QString& name) {
    const QString upper = name.toUpper();
    return upper == QLatin1String("AND") || upper == QLatin1String("OR") || upper == QLatin1String("NOT");
}

} // namespace

QString substituteValues(const QString& expression,
                         const std::function<QString(const QString&)>& resolveName) {
    QString output;
    QString name;
    bool insideName = false;
    for (const QChar c : expression) {
        if (isNameDelimiter(c)) {
            if (insideName) {
                output += resolveName(name);
                name.clear();
                insideName = false;
            }
            output += c;
        } else if (insideName) {
            name += c;
        } else if (isAsciiLetter(c)) {
            name = c;
            insideName = true;
        } else {
            output += c;
        }
    }
    if (insideName && !name.isEmpty())
        output += resolveName(name);
    return output;
}

QString engineExpression(const QString& substituted) {
    QStringList tokens;
    const int n = substituted.size();
    int i = 0;
    while (i < n) {
        const QChar c = substituted.at(i);
        if (c.isSpace()) {
            ++i;
        } else if (isAsciiDigit(c)) {
            const int start = i;
            while (i < n && isAsciiDigit(substituted.at(i)))
                ++i;
            tokens << substituted.mid(start, i - start);
        } else if (isAsciiLetter(c)) {
            const int start = i;
            while (i < n && isAsciiLetter(substituted.at(i)))
                ++i;
            const QString word = substituted.mid(start, i - start);
            if (!isLogicalWord(word))
                throw Error(QStringLiteral("“%1”不是数值").arg(word));
            tokens << word;
        } else if (c == QLatin1Char('/')) {
            // The rules were written for an engine whose "/" keeps the fraction.
            tokens << QStringLiteral("* 1.0 /");
            ++i;
        } else if (QStringLiteral("+-*()=<>").contains(c)) {
            QString op(c);
            ++i;
            if (i < n && ((c == QLatin1Char('<') && (substituted.at(i) == QLatin1Char('>') ||
                                                     substituted.at(i) == QLatin1Char('='))) ||
                          (c == QLatin1Char('>') && substituted.at(i) == QLatin1Char('='))))
                op += substituted.at(i++);
            tokens << op;
        } else {
            throw Error(QStringLiteral("不能识别的字符“%1”").arg(c));
        }
    }
    if (tokens.isEmpty())
        throw Error(QStringLiteral("表达式为空"));
    return tokens.join(QLatin1Char(' '));
}

PageRuleRunner::PageRuleRunner(engine::Connection& connection, UiServices& ui, ExplanationRenderer& renderer,
                               LogicMessageList& list)
    : m_connection(connection), m_ui(ui), m_renderer(renderer), m_list(list) {}

QString PageRuleRunner::resolveName(const QString& name, const FieldValueReader& valueOf) {
    if (isLogicalWord(name))
        return name;
    const std::optional<qint64> value = valueOf ? valueOf(name) : std::nullopt;
    if (!value) {
        m_ui.showMessage(QStringLiteral("Control name parse error : ") + name);
        return QString();
    }
    // A negative value in parentheses, so "z001-z002" never reads as "5--3".
    return *value < 0 ? QStringLiteral("(%1)").arg(*value) : QString::number(*value);
}

bool PageRuleRunner::evaluateRule(const QString& expression, const FieldValueReader& valueOf) {
    const QString substituted =
        substituteValues(expression, [&](const QString& name) { return resolveName(name, valueOf); });
    engine::Statement statement(m_connection, QStringLiteral("select ") + engineExpression(substituted) +
                                                  QStringLiteral(" as rt"));
    if (!statement.step() || statement.isNull(0))
        throw Error(QStringLiteral("表达式没有值"));
    // The engine's true is 1; any other value, 0 for false included, means the rule holds.
    const QVariant rt = statement.value(0);
    return rt.userType() != QMetaType::QString && rt.toDouble() == 1.0;
}

bool PageRuleRunner::runPageRules(int page, bool clearFirst, const FieldValueReader& valueOf) {
    if (page < FirstRulePage || page > LastRulePage)
        return false;
    if (clearFirst)
        m_list.clearMessages();
    QString current;
    try {
        engine::Statement rules(
            m_connection,
            QStringLiteral("select expression, rule, explain, focus from dt_logic where page_id=?1"));
        rules.bindInt64(1, page);
        while (rules.step()) {
            current = rules.text(0);
            if (evaluateRule(current, valueOf))
                m_list.addMessage({rules.text(1), m_renderer.render(rules.text(2)), page, rules.text(3)});
        }
    } catch (const Error&) {
        // The remaining rules of the page are skipped; what was found so far stays listed.
        m_ui.showMessage(current, QString(), MessageIcon::Warning);
    }
    const bool empty = m_list.messagesEmpty();
    if (!empty)
        m_list.showList();
    return empty;
}

bool PageRuleRunner::runAllPageRules(const FieldValueReader& valueOf) {
    runPageRules(FirstRulePage, true, valueOf);
    for (int page = FirstRulePage + 1; page <= LastRulePage; ++page)
        runPageRules(page, false, valueOf);
    return m_list.messagesEmpty();
}

} // namespace corvalis::checks
