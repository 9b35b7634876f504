#pragma once

#include "SearchCommands.h"

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace corvalis {
class CodeNameBox;
class CommandHost;
namespace engine {
class Connection;
}
} // namespace corvalis

namespace corvalis::search {

// The indicator picker (TDataSearchCodeForm): the pages of the survey on the left, the fields of the
// current page that can be queried on the right.
class DataSearchCodeForm : public QDialog {
public:
    explicit DataSearchCodeForm(engine::Connection& connection, QWidget* parent = nullptr);
    int currentPage() const { return m_page; }
    // The field chosen with "确认" or a double-click, without surrounding blanks.
    QString chosen() const { return m_chosen; }
    void choosePage(int row);
    void confirm();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadIndicators();

    engine::Connection& m_connection;
    QListWidget* m_pages;
    QListWidget* m_fields;
    int m_page = 0;
    QString m_chosen;
};

// The indicator query (TdlgDataSearchForm): a range on one survey field; the matching records are
// shown in the query result list. The dialog stays open for further searches.
class DataSearchForm : public QDialog {
public:
    explicit DataSearchForm(CommandHost& window, QWidget* parent = nullptr);
    void setListPresenter(ListPresenter presenter) { m_present = std::move(presenter); }
    void setIndicator(const QString& field);
    QString indicator() const;
    void pickIndicator();
    // "查  找"; false when the input was refused or the engine rejected it.
    bool search();

private:
    CommandHost& m_window;
    QLineEdit* m_field;
    CodeNameBox* m_op1;
    CodeNameBox* m_op3;
    QLineEdit* m_number1;
    QLineEdit* m_number2;
    ListPresenter m_present;
};

} // namespace corvalis::search
