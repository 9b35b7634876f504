#pragma once

#include "SearchCommands.h"

#include <QDialog>

class QLineEdit;

namespace corvalis {
class CodeNameBox;
class CommandHost;
} // namespace corvalis

namespace corvalis::search {

// The range search (TdlgSearchForm): one or two comparisons on the code, shown in the query result
// list. The dialog stays open for further searches.
class SearchForm : public QDialog {
public:
    explicit SearchForm(CommandHost& window, QWidget* parent = nullptr);
    void setListPresenter(ListPresenter presenter) { m_present = std::move(presenter); }
    // "查  找"; false when refused or rejected by the engine.
    bool search();

private:
    CommandHost& m_window;
    CodeNameBox* m_op1;
    CodeNameBox* m_joiner;
    CodeNameBox* m_op3;
    QLineEdit* m_number1;
    QLineEdit* m_number2;
    ListPresenter m_present;
};

} // namespace corvalis::search
