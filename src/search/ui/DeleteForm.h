#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace corvalis {
class CommandHost;
}

namespace corvalis::search {

// The deletion dialog (TdlgDeleteForm): the selected records of the main list, all records, or a
// range of codes. It stays open after a deletion until "返  回".
class DeleteForm : public QDialog {
public:
    explicit DeleteForm(CommandHost& window, QWidget* parent = nullptr);
    // "删  除".
    void deleteRecords();

private:
    CommandHost& m_window;
    QRadioButton* m_selected;
    QRadioButton* m_all;
    QRadioButton* m_range;
    QLineEdit* m_from;
    QLineEdit* m_to;
};

} // namespace corvalis::search
