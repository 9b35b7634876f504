#pragma once

#include "app/UnionCode.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace corvalis::engine {
class Connection;
}

namespace corvalis::checks {

class ExplanationRenderer;

// One violation of a built-in rule by one stored record.
struct Violation {
    UnionCode code = 0; // c901
    QString codeText;   // c901 as the result file writes it
    QString unionName;  // c902
    QString division;   // c903 (6-digit division code), for filtering by province and division
    int rule = 0;       // index into CompiledRuleSet::builtIn(); the rule's number is rule + 1

    bool operator==(const Violation& other) const {
        return code == other.code && codeText == other.codeText && unionName == other.unionName &&
               division == other.division && rule == other.rule;
    }
};

// The rule's number in the built-in set (1 to 90).
inline int ruleNumberOf(int rule) {
    return rule + 1;
}
// The survey page the rule concerns (1 to 7).
int pageOfRule(int rule);
// The field the entry form focuses for the rule: the first field its text names.
QString focusFieldOfRule(int rule);
// The rule text exactly as the result file writes it after "判断规则：".
QString ruleTextOf(int rule);
// The explanation exactly as the result file writes it after "规则说明：".
QString explanationOf(ExplanationRenderer& renderer, int rule);

// The outcome of one bulk run, kept for the results window and the command-line formats.
struct CheckResultSet {
    QDateTime checkedAt;
    QString databaseLabel;
    qint64 checked = 0;                // records examined
    qint64 failed = 0;                 // records with at least one violation
    bool stopped = false;              // the run was stopped before it examined every selected record
    std::vector<Violation> violations; // in c901 order, then rule order, as the result file
};

// Where the last run on a database label is kept: beside its text result file in the temporary
// folder, with the extension ".results".
QString lastResultsPath(const QString& databaseLabel);
// Writes the set in a compact binary form, replacing the file in one step. Raises FileError.
void saveCheckResults(const CheckResultSet& results, const QString& path);
// Nothing when the file is absent, unreadable, truncated or of another format.
std::optional<CheckResultSet> loadCheckResults(const QString& path);

// Judges the stored record now, stores its state (1 or 2) as the bulk check does, and returns its
// violations in rule order: empty when it passed, is gone, or does not file this year (c912 above
// 2, which a bulk check never examines and whose state it leaves alone).
std::vector<Violation> recheckRecord(engine::Connection& connection, UnionCode code);

} // namespace corvalis::checks
