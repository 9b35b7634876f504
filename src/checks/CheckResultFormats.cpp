#include "CheckResultFormats.h"

#include "CheckResults.h"
#include "Explanation.h"

#include <QStringList>
#include <vector>

namespace corvalis::checks {

namespace {

// A JSON string literal: quotes, backslashes and control characters escaped, the rest as UTF-8.
QByteArray jsonText(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped.append(QLatin1Char('"'));
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            escaped.append(QLatin1Char('\\')).append(c);
        else if (c.unicode() < 0x20)
            escaped.append(QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0')));
        else
            escaped.append(c);
    }
    escaped.append(QLatin1Char('"'));
    return escaped.toUtf8();
}

QByteArray csvField(const QString& text) {
    const bool quoted = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!quoted)
        return text.toUtf8();
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return '"' + doubled.toUtf8() + '"';
}

// The rule texts and explanations of the rules the results name, rendered once.
class RuleTexts {
public:
    explicit RuleTexts(ExplanationRenderer& renderer) : m_renderer(renderer) {}
    const QString& explanation(int rule) {
        if (size_t(rule) >= m_explanations.size())
            m_explanations.resize(size_t(rule) + 1);
        QString& text = m_explanations[size_t(rule)];
        if (text.isNull())
            text = explanationOf(m_renderer, rule);
        return text;
    }

private:
    ExplanationRenderer& m_renderer;
    std::vector<QString> m_explanations;
};

} // namespace

QByteArray checkResultsJson(const CheckResultSet& results, ExplanationRenderer& renderer) {
    RuleTexts texts(renderer);
    QByteArray out;
    out.append("{\"checked\":")
        .append(QByteArray::number(results.checked))
        .append(",\"failed\":")
        .append(QByteArray::number(results.failed))
        .append(",\"violations\":[");
    bool first = true;
    for (const Violation& v : results.violations) {
        out.append(first ? "\n" : ",\n");
        first = false;
        out.append("{\"c901\":")
            .append(jsonText(v.codeText))
            .append(",\"rule\":")
            .append(QByteArray::number(ruleNumberOf(v.rule)))
            .append(",\"page\":")
            .append(QByteArray::number(pageOfRule(v.rule)))
            .append(",\"field\":")
            .append(jsonText(focusFieldOfRule(v.rule)))
            .append(",\"rule_text\":")
            .append(jsonText(ruleTextOf(v.rule)))
            .append(",\"explanation\":")
            .append(jsonText(texts.explanation(v.rule)))
            .append('}');
    }
    out.append(first ? "]}\n" : "\n]}\n");
    return out;
}

QByteArray checkResultsCsv(const CheckResultSet& results, ExplanationRenderer& renderer) {
    RuleTexts texts(renderer);
    QByteArray out("c901,c902,c903,rule,page,field,rule_text,explanation\r\n");
    for (const Violation& v : results.violations) {
        const QList<QByteArray> fields{csvField(v.codeText),
                                       csvField(v.unionName),
                                       csvField(v.division),
                                       QByteArray::number(ruleNumberOf(v.rule)),
                                       QByteArray::number(pageOfRule(v.rule)),
                                       csvField(focusFieldOfRule(v.rule)),
                                       csvField(ruleTextOf(v.rule)),
                                       csvField(texts.explanation(v.rule))};
        out.append(fields.join(',')).append("\r\n");
    }
    return out;
}

} // namespace corvalis::checks
