#pragma once

#include <QByteArray>

namespace corvalis::checks {

struct CheckResultSet;
class ExplanationRenderer;

// The machine-readable forms of a run's results, in UTF-8. Rule texts and explanations are exactly
// those of the text result file; codes are texts, as the file writes them.

// {"checked":N,"failed":N,"violations":[{"c901":"…","rule":N,"page":N,"field":"…","rule_text":"…",
// "explanation":"…"},…]} with one violation per line.
QByteArray checkResultsJson(const CheckResultSet& results, ExplanationRenderer& renderer);

// A header line, then one line per violation: c901, c902, c903, rule, page, field, rule_text,
// explanation. Fields are quoted as RFC 4180 asks (those holding a comma, a quote or a line break,
// with quotes doubled); lines end in CR LF.
QByteArray checkResultsCsv(const CheckResultSet& results, ExplanationRenderer& renderer);

} // namespace corvalis::checks
