#pragma once

#include <QComboBox>
#include <QDialog>
#include <functional>

class QRadioButton;

namespace corvalis {

class Settings;

// A drop-down list whose items are read anew every time it drops down.
class RefreshingComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<QStringList()> items;
    void showPopup() override;
};

// The options dialog "软件参数设置" (TdlgOptionSetupForm): the preferred input method, and the hidden
// input window style and import principle.
class OptionsDialog : public QDialog {
public:
    OptionsDialog(Settings& settings, QWidget* parent = nullptr);

private:
    void store();

    Settings& m_settings;
    RefreshingComboBox* m_ime;
    QRadioButton* m_cancelAll;
};

} // namespace corvalis
