#include "OptionsDialog.h"

#include "app/InputMethods.h"
#include "app/Settings.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace corvalis {

void RefreshingComboBox::showPopup() {
    if (items) {
        const QString current = currentText();
        clear();
        addItems(items());
        setCurrentIndex(findText(current));
    }
    QComboBox::showPopup();
}

OptionsDialog::OptionsDialog(Settings& settings, QWidget* parent) : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("TdlgOptionSetupForm"));
    setWindowTitle(QStringLiteral("软件参数设置"));
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    page->setObjectName(QStringLiteral("TabSheet2"));
    tabs->addTab(page, QStringLiteral("软件环境"));
    auto* grid = new QGridLayout(page);

    m_ime = new RefreshingComboBox(page);
    m_ime->setObjectName(QStringLiteral("cbIme"));
    m_ime->setEditable(false);
    m_ime->items = [] { return installedInputMethods(); };
    if (!settings.preferredInputMethod.isEmpty())
        m_ime->addItem(settings.preferredInputMethod);
    m_ime->setCurrentIndex(m_ime->findText(settings.preferredInputMethod));
    grid->addWidget(new QLabel(QStringLiteral("选择使用的输入法:"), page), 0, 0);
    grid->addWidget(m_ime, 0, 1);

    // Present but hidden: the input window style and the import principle.
    auto* styleLabel = new QLabel(QStringLiteral("录入窗口风格:"), page);
    auto* classic = new QRadioButton(QStringLiteral("传统"), page);
    classic->setObjectName(QStringLiteral("InputWndStyle"));
    auto* simple = new QRadioButton(QStringLiteral("简约"), page);
    simple->setObjectName(QStringLiteral("InputWndStyle2"));
    (settings.simpleInputWindow ? simple : classic)->setChecked(true);
    connect(classic, &QRadioButton::clicked, this, [this] {
        m_settings.simpleInputWindow = false;
        m_settings.setInteger(Setting::InputWndStyle, 0);
    });
    connect(simple, &QRadioButton::clicked, this, [this] {
        m_settings.simpleInputWindow = true;
        m_settings.setInteger(Setting::InputWndStyle, 1);
    });
    auto* principleLabel = new QLabel(QStringLiteral("导入错误处理方式："), page);
    auto* principleBox = new QWidget(page);
    auto* principleLayout = new QVBoxLayout(principleBox);
    m_cancelAll = new QRadioButton(QStringLiteral("有错就全部放弃"), principleBox);
    m_cancelAll->setObjectName(QStringLiteral("CancelAll"));
    auto* discard = new QRadioButton(QStringLiteral("只放弃出错的数据"), principleBox);
    discard->setObjectName(QStringLiteral("discardWrongItem"));
    principleLayout->addWidget(m_cancelAll);
    principleLayout->addWidget(discard);
    (settings.importPrinciple ? discard : m_cancelAll)->setChecked(true);
    auto* styleBox = new QWidget(page);
    auto* styleLayout = new QHBoxLayout(styleBox);
    styleLayout->addWidget(classic);
    styleLayout->addWidget(simple);
    grid->addWidget(styleLabel, 1, 0);
    grid->addWidget(styleBox, 1, 1);
    grid->addWidget(principleLabel, 2, 0);
    grid->addWidget(principleBox, 2, 1);
    for (QWidget* hidden :
         {static_cast<QWidget*>(styleLabel), styleBox, static_cast<QWidget*>(principleLabel), principleBox})
        hidden->hide();
    grid->setRowStretch(3, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        store();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    resize(440, 220);
}

void OptionsDialog::store() {
    m_settings.preferredInputMethod = m_ime->currentText();
    m_settings.setText(Setting::ImePrefer, m_settings.preferredInputMethod);
    m_settings.setText(Setting::OrganisationName, QString());
    m_settings.importPrinciple = !m_cancelAll->isChecked();
    m_settings.setInteger(Setting::ImportPrinciple, m_settings.importPrinciple ? 1 : 0);
}

} // namespace corvalis
