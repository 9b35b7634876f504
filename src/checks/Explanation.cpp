#include "Explanation.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Statement.h"

namespace corvalis::checks {

namespace {

enum class ScanState { Out, Word, Bracket };

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool isTermDelimiter(QChar c) {
    return QStringLiteral(" ()*+-/").contains(c);
}

} // namespace

QString renderExplanation(const QString& text, const std::function<QString(const QString&)>& renderTerm) {
    QString output;
    QString term;
    ScanState state = ScanState::Out;
    // Ends the term being read: its rendering, then the character that ended it (if any).
    auto endTerm = [&](const QString& follower) {
        output += renderTerm(term);
        output += follower;
        term.clear();
        state = ScanState::Out;
    };
    for (const QChar c : text) {
        if (isAsciiLetter(c)) {
            term += c;
            state = ScanState::Word;
        } else if (c == QLatin1Char('[')) {
            if (state == ScanState::Word) {
                output += renderTerm(term);
                term.clear();
            }
            state = ScanState::Bracket;
        } else if (isAsciiDigit(c)) {
            if (state == ScanState::Out)
                output += c;
            else
                term += c;
        } else if (c == QLatin1Char(']')) {
            if (state == ScanState::Out)
                output += c;
            else
                endTerm(QString());
        } else if (isTermDelimiter(c)) {
            if (state == ScanState::Out)
                output += c;
            else
                endTerm(QString(c));
        } else {
            // Operators inside brackets belong to the term ("[<=]"); elsewhere they end a name.
            if (state == ScanState::Out)
                output += c;
            else if (state == ScanState::Word)
                endTerm(QString(c));
            else
                term += c;
        }
    }
    if (state != ScanState::Out && !term.isEmpty())
        output += renderTerm(term);
    return output;
}

QString operatorTermText(const QString& term) {
    static const struct {
        const char* term;
        const char* text;
    } words[] = {
        {"<=", "不能大于"}, {">=", "不能小于"}, {"=", "必须等于"}, {">", "必须大于"}, {"<", "必须小于"}};
    for (const auto& word : words)
        if (term == QLatin1String(word.term))
            return QString::fromUtf8(word.text);
    return QString();
}

ExplanationRenderer::ExplanationRenderer(engine::Connection& connection, UiServices& ui)
    : m_connection(&connection), m_ui(ui) {}

void ExplanationRenderer::markStale(engine::Connection& connection) {
    m_connection = &connection;
    m_loaded = false;
}

void ExplanationRenderer::ensureLoaded() {
    if (m_loaded)
        return;
    QHash<QString, QString> hints;
    engine::Statement lookup(*m_connection, QStringLiteral("select FieldName, Hint from DT_FieldList"));
    while (lookup.step())
        hints.insert(lookup.text(0).toLower(), lookup.text(1));
    m_hints = std::move(hints);
    m_loaded = true;
}

QString ExplanationRenderer::renderTerm(const QString& rawTerm) {
    QString term = rawTerm;
    if (term.startsWith(QLatin1Char('[')))
        term.remove(0, 1);
    if (term.endsWith(QLatin1Char(']')))
        term.chop(1);
    if (term.isEmpty())
        return QString();
    const QString words = operatorTermText(term);
    if (!words.isEmpty())
        return words;
    try {
        ensureLoaded();
    } catch (const Error& error) {
        showRunError(m_ui, error.text(), QStringLiteral(",当前的Key为") + term);
        return QString();
    }
    const auto hint = m_hints.constFind(term.toLower());
    return hint == m_hints.constEnd() ? term : QLatin1Char('[') + *hint + QLatin1Char(']');
}

QString ExplanationRenderer::render(const QString& explanationTemplate) {
    return renderExplanation(explanationTemplate, [this](const QString& term) { return renderTerm(term); });
}

} // namespace corvalis::checks
