#pragma once

#include "app/UnionCode.h"

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace corvalis {
class CommandHost;
}

namespace corvalis::search {

// The locate dialog (TdlgLocateForm): puts the main list on one record, found by its exact code or
// by part of its name (the first match in code order).
class LocateForm : public QDialog {
public:
    explicit LocateForm(CommandHost& window, QWidget* parent = nullptr);
    // "定  位": true (and the dialog closes) when the list stands on the record.
    bool locate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool showInList(UnionCode code);

    CommandHost& m_window;
    QRadioButton* m_byCode;
    QRadioButton* m_byName;
    QLineEdit* m_code;
    QLineEdit* m_name;
};

} // namespace corvalis::search
