#pragma once

#include "checks/PageRules.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QTableWidget;

namespace corvalis::checks {

// The logic error list "逻辑错误列表": a tool window of the entry form that lists the violations of
// the page rules, one per row. A double-click (or Enter) on a message takes the entry form to the
// page and input of the message (through the navigation callback). Created once, shown and hidden.
class TMessageListWinForm : public QWidget, public LogicMessageList {
public:
    // Takes the entry form to a page (1 to 7) and focuses the named input if it exists and is enabled.
    using Navigate = std::function<void(int page, const QString& field)>;

    explicit TMessageListWinForm(QWidget* parent = nullptr);

    void clearMessages() override;
    void addMessage(const LogicMessage& message) override;
    bool messagesEmpty() const override { return !m_hasMessages; }
    // Shows the window inside the screen: beside or below the window it belongs to, never over it;
    // without one at its place (150, 500).
    void showList() override;

    // Makes the list a tool window of this window (the entry form), so that it stays above it and
    // takes clicks while that window is modal.
    void attachTo(QWidget* owner);

    void setNavigate(Navigate navigate) { m_navigate = std::move(navigate); }
    // Set while a double-click is being handled, so that the entry form can tell a page change made
    // from this list from one made by the user.
    bool navigating() const { return m_navigating; }

    QTableWidget* grid() const { return m_grid; }
    // The double-click on a data row.
    void navigateFromRow(int row);

private:
    void setText(int row, int column, const QString& text);
    int wrappedHeight(int column, const QString& text) const;
    void fitRow(int row);
    void fitColumnsToWidth();
    void placeBeside(QWidget* owner);

    QTableWidget* m_grid;
    Navigate m_navigate;
    bool m_hasMessages = false;
    bool m_navigating = false;
};

} // namespace corvalis::checks
