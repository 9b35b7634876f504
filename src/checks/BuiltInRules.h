#pragma once

#include "RuleExpression.h"

#include <QStringList>
#include <vector>

namespace corvalis::checks {

// One consistency rule of the program's own rule set: its place in the evaluation order, the survey
// page it concerns, the condition that must hold (written into the result file as it stands) and
// the explanation template rendered by renderExplanation.
struct BuiltInRule {
    int number;
    int page;
    const char* ruleText;
    const char* explanation;
};

// The 90 rules that the bulk check applies to stored records, in evaluation order.
const std::vector<BuiltInRule>& builtInRules();

// A rule set compiled from its rule texts, so that the table stays the single source of truth. The
// fields the rules name get slots 0, 1, ... in order of first use; a record is checked from an array
// of their values (empty values as 0).
class CompiledRuleSet {
public:
    explicit CompiledRuleSet(const std::vector<BuiltInRule>& rules);
    // The built-in rule set, compiled on first use.
    static const CompiledRuleSet& builtIn();

    // Field names in slot order.
    const QStringList& fields() const { return m_fields; }
    int ruleCount() const { return int(m_rules.size()); }
    const BuiltInRule& rule(int index) const { return m_rules[size_t(index)]; }

    bool holds(int index, const qint64* values) const { return m_expressions[size_t(index)].holds(values); }

    // Calls onViolation(index) for every rule whose text is false for the values, in rule order;
    // returns how many were violated. A record whose values are not all whole numbers of 64 bits
    // passes them as exact as well, and is judged by those.
    template <typename OnViolation>
    int check(const qint64* values, OnViolation&& onViolation, const EngineNumber* exact = nullptr) const {
        int violated = 0;
        const int count = int(m_fields.size());
        for (size_t i = 0; i < m_expressions.size(); ++i) {
            const bool holds =
                exact ? m_expressions[i].holdsExactly(exact) : m_expressions[i].holdsChecked(values, count);
            if (!holds) {
                ++violated;
                onViolation(int(i));
            }
        }
        return violated;
    }

    // A batch of records judged at once: records[i] has the value of slot s in columns[s][i]. Sets
    // doubtful[i] to 1 for every record that may violate a rule (it does, or a step overflowed) and
    // to 0 for the others, which violate none; check() gives the doubtful ones their violations.
    void markDoubtful(const qint64* const* columns, size_t count, RuleExpression::BatchScratch& scratch,
                      std::vector<unsigned char>& doubtful) const {
        doubtful.assign(count, 0);
        for (const RuleExpression& expression : m_expressions)
            expression.markDoubtful(columns, count, scratch, doubtful.data());
    }

private:
    std::vector<BuiltInRule> m_rules;
    std::vector<RuleExpression> m_expressions;
    QStringList m_fields;
};

} // namespace corvalis::checks
