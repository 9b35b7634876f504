#include "LocateForm.h"

#include "SearchWidgets.h"
#include "app/DbSession.h"
#include "app/UiServices.h"
#include "app/ui/CommandHost.h"
#include "app/ui/RecordList.h"
#include "search/RecordLocator.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvalis::search {

LocateForm::LocateForm(CommandHost& window, QWidget* parent)
    : QDialog(parent ? parent : window.dialogParent()), m_window(window) {
    setObjectName(QStringLiteral("TdlgLocateForm"));
    setWindowTitle(QStringLiteral("定位数据记录"));
    m_byCode = new QRadioButton(QStringLiteral("按编号定位（精确匹配）"), this);
    m_byCode->setObjectName(QStringLiteral("rad901"));
    m_byCode->setChecked(true);
    m_byName = new QRadioButton(QStringLiteral("按名称定位（模糊匹配）"), this);
    m_byName->setObjectName(QStringLiteral("rad902"));
    m_code = digitEdit(QStringLiteral("c901"), this, 12);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("c902"));
    // Apostrophes, double quotes and grave accents are refused, as in every name field.
    m_name->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^'\"`]*")), m_name));
    m_name->installEventFilter(this);

    QPushButton* find = namedButton(QStringLiteral("tbSum"), QStringLiteral("定  位"), this);
    QPushButton* back = namedButton(QStringLiteral("tbReturn"), QStringLiteral("返  回"), this);
    // Enter in either box locates.
    find->setDefault(true);
    auto* grid = new QGridLayout;
    grid->addWidget(m_byCode, 0, 0);
    grid->addWidget(m_code, 0, 1);
    grid->addWidget(m_byName, 1, 0);
    grid->addWidget(m_name, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(find);
    buttons->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_code, &QLineEdit::textEdited, this, [this] { m_byCode->setChecked(true); });
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_byName->setChecked(true); });
    connect(find, &QPushButton::clicked, this, [this] { locate(); });
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

bool LocateForm::eventFilter(QObject* watched, QEvent* event) {
    // The name takes Chinese text: input-method input is on while it has the focus.
    if (watched == m_name && event->type() == QEvent::FocusIn)
        m_name->setAttribute(Qt::WA_InputMethodEnabled, true);
    return QDialog::eventFilter(watched, event);
}

bool LocateForm::showInList(UnionCode code) {
    RecordList& list = m_window.recordList();
    const int row = list.model().rowOfKey(QVariant(code));
    if (row < 0)
        return false;
    list.setCurrentRow(row);
    return true;
}

bool LocateForm::locate() {
    UiServices& ui = m_window.ui();
    if (m_byCode->isChecked()) {
        const auto code = codeForLocate(m_code->text());
        if (!code) {
            ui.showMessage(CodeDigitsMessage);
            m_byCode->setFocus();
            return false;
        }
        if (!showInList(*code)) {
            ui.showMessage(NotFoundMessage);
            return false;
        }
        accept();
        return true;
    }
    const auto code = findCodeByName(m_window.session().connection(), m_name->text());
    if (!code || !showInList(*code)) {
        ui.showMessage(NotFoundMessage);
        return false;
    }
    accept();
    return true;
}

} // namespace corvalis::search
