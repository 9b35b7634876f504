#include "ChecksCommands.h"

#include "CheckDialog.h"
#include "CheckResultsForm.h"
#include "MessageListWindow.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "checks/CheckResults.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"
#include "checks/RuleListing.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <memory>

namespace corvalis {

namespace {

// What the commands of the logic checks keep for the life of the main window: the field-name lookup
// (read again after another database was opened) and the logic error list window.
class ChecksState : public QObject {
public:
    explicit ChecksState(CommandHost& window)
        : QObject(window.dialogParent()), m_window(window),
          m_list(new checks::TMessageListWinForm(window.dialogParent())) {
        setObjectName(QStringLiteral("ChecksState"));
    }

    checks::ExplanationRenderer& renderer() {
        DbSession& session = m_window.session();
        if (!m_renderer) {
            m_renderer = std::make_unique<checks::ExplanationRenderer>(session.connection(), m_window.ui());
            m_generation = session.generation();
        } else if (m_generation != session.generation()) {
            m_renderer->markStale(session.connection());
            m_generation = session.generation();
        }
        return *m_renderer;
    }

    // The list goes with the entry form it was attached to; a new one stands in when that form is gone.
    checks::TMessageListWinForm& list() {
        if (!m_list)
            m_list = new checks::TMessageListWinForm(m_window.dialogParent());
        return *m_list;
    }

    void checkSelection(const checks::CheckSelection& selection, checks::CheckControl* control) {
        DbSession& session = m_window.session();
        checks::CheckRunner runner(session.connection(), m_window.ui(), m_window.clock(), renderer());
        checks::CheckResultSet results;
        results.databaseLabel = session.label();
        runner.collectInto(&results);
        try {
            runner.checkRecords(selection, checks::resultFilePath(session.label()), control);
        } catch (const Error& error) {
            showRunError(m_window.ui(), error.text());
            return;
        }
        // A run of the check dialog that found errors shows them beside the result file.
        if (m_dialog && !results.stopped && results.failed > 0)
            showResults(std::move(results));
    }

    // actCheckSelected: the marked records of the list, or the current one.
    void checkSelected(checks::CheckControl* control) {
        if (m_window.recordList().isEmpty())
            return;
        checkSelection(checks::CheckSelection::codes(m_window.recordList().selectedCodes()), control);
    }

    void showCheckDialog() {
        checks::TdlgCheckForm::Actions actions;
        actions.checkSelected = [this](checks::CheckControl* control) { checkSelected(control); };
        actions.checkSelection = [this](const checks::CheckSelection& selection,
                                        checks::CheckControl* control) {
            checkSelection(selection, control);
        };
        actions.refreshList = [this] {
            try {
                m_window.refreshList();
            } catch (const Error&) {
            }
        };
        actions.showMessage = [this](const QString& text) { m_window.ui().showMessage(text); };
        checks::TdlgCheckForm dialog(std::move(actions), m_window.dialogParent());
        m_dialog = &dialog;
        dialog.exec();
        m_dialog = nullptr;
        // The results window shown during the dialog belonged to it, to take input beside it.
        if (m_results && m_results->parentWidget() == &dialog) {
            m_results->setParent(m_window.dialogParent(), Qt::Window);
            m_results->show();
        }
    }

    // The results window, made on first use and kept for the run of the program.
    checks::TCheckResultsForm& resultsWindow() {
        if (!m_results)
            m_results = new checks::TCheckResultsForm(m_window, renderer(), m_window.dialogParent());
        return *m_results;
    }

    void showResults(checks::CheckResultSet results) {
        checks::TCheckResultsForm& window = resultsWindow();
        // Beside a modal dialog only its own windows take input.
        QWidget* owner = m_dialog ? static_cast<QWidget*>(m_dialog) : m_window.dialogParent();
        if (window.parentWidget() != owner)
            window.setParent(owner, Qt::Window);
        window.showResults(std::move(results));
        window.show();
        window.raise();
        window.activateWindow();
    }

    // actCheckResults: the results of the last run on the open database.
    void showLastResults() {
        const auto results = checks::loadCheckResults(checks::lastResultsPath(m_window.session().label()));
        if (!results) {
            m_window.ui().showMessage(checks::ResultsText::NoResultsMessage);
            return;
        }
        try {
            showResults(std::move(*results));
        } catch (const Error& error) {
            showRunError(m_window.ui(), error.text());
        }
    }

    void exportRuleListing() {
        const QString path = checks::ruleListingPath();
        // A fresh account may not have its documents folder yet.
        QDir().mkpath(QFileInfo(path).absolutePath());
        try {
            checks::writeRuleListing(m_window.session().connection(), path);
        } catch (const Error& error) {
            showRunError(m_window.ui(), error.text());
            return;
        }
        m_window.ui().openWithShell(path);
    }

    bool runPageCheck(int page, bool clearFirst, const checks::FieldValueReader& valueOf,
                      const FieldFocuser& focusField) {
        list().setNavigate(focusField);
        checks::PageRuleRunner runner(m_window.session().connection(), m_window.ui(), renderer(), list());
        if (page == AllRulePages)
            return runner.runAllPageRules(valueOf);
        return runner.runPageRules(page, clearFirst, valueOf);
    }

private:
    CommandHost& m_window;
    QPointer<checks::TMessageListWinForm> m_list;
    QPointer<checks::TCheckResultsForm> m_results;
    checks::TdlgCheckForm* m_dialog = nullptr; // the check dialog while it is open
    std::unique_ptr<checks::ExplanationRenderer> m_renderer;
    quint64 m_generation = 0;
};

ChecksState& checksState(CommandHost& window) {
    if (auto* state = window.dialogParent()->findChild<ChecksState*>(QStringLiteral("ChecksState"),
                                                                     Qt::FindDirectChildrenOnly))
        return *state;
    return *new ChecksState(window);
}

} // namespace

void installChecksCommands(CommandHost& window) {
    ChecksState& state = checksState(window);
    window.setHandler(QStringLiteral("actCheck"), [&state] { state.showCheckDialog(); });
    window.setHandler(QStringLiteral("actCheckSelected"), [&state] { state.checkSelected(nullptr); });
    window.setHandler(QStringLiteral("itemExportLogic"), [&state] { state.exportRuleListing(); });
    window.setHandler(QStringLiteral("actCheckResults"), [&state] { state.showLastResults(); });
}

void installPageLogicCheck(CommandHost& window, const std::function<void(PageLogicCheck)>& setHook) {
    ChecksState& state = checksState(window);
    setHook([&state](QWidget*, int page, bool clearFirst, const checks::FieldValueReader& valueOf,
                     const FieldFocuser& focusField) {
        return state.runPageCheck(page, clearFirst, valueOf, focusField);
    });
}

checks::TMessageListWinForm& logicMessageList(CommandHost& window) {
    return checksState(window).list();
}

} // namespace corvalis
