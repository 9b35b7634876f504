#pragma once

#include <QHash>
#include <QString>
#include <functional>

namespace corvalis {
class UiServices;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::checks {

// Renders an explanation template such as "z002[>]z001": plain field names and bracketed terms go
// through renderTerm, everything else is copied.
QString renderExplanation(const QString& explanationTemplate,
                          const std::function<QString(const QString&)>& renderTerm);

// The operator terms of explanation templates in words ("<=" is "不能大于"); empty for other terms.
QString operatorTermText(const QString& term);

// FieldNameLookup and RenderTerm: the hints of the field dictionary (dt_fieldlist), read on first
// use and kept until marked stale (another database was opened), so that a run renders hundreds of
// thousands of explanations without asking the database again.
class ExplanationRenderer {
public:
    ExplanationRenderer(engine::Connection& connection, UiServices& ui);

    QString render(const QString& explanationTemplate);
    QString renderTerm(const QString& term);
    // The next use reads the dictionary again, from the connection given here.
    void markStale(engine::Connection& connection);
    void markStale() { m_loaded = false; }

private:
    void ensureLoaded();

    engine::Connection* m_connection;
    UiServices& m_ui;
    QHash<QString, QString> m_hints; // by lower-case field name
    bool m_loaded = false;
};

} // namespace corvalis::checks
