#include "ImportDialogs.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "exchange/CsvImport.h"
#include "exchange/DataFile.h"
#include "exchange/MultiImport.h"
#include "records/CodeTables.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvalis {

ImportDialogBase::ImportDialogBase(const QString& caption, const QString& prompt, DbSession& session,
                                   UiServices& ui, QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(prompt, this));
    auto* row = new QHBoxLayout;
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("SourcePath"));
    m_path->setReadOnly(true);
    m_path->setMinimumWidth(420);
    m_browse = new QToolButton(this);
    m_browse->setObjectName(QStringLiteral("tbBrowse"));
    m_browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    row->addWidget(m_path);
    row->addWidget(m_browse);
    layout->addLayout(row);
    m_extra = new QVBoxLayout;
    layout->addLayout(m_extra);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_import = new QPushButton(QStringLiteral("导  入"), this);
    m_import->setObjectName(QStringLiteral("tbExport"));
    m_cancel = new QPushButton(QStringLiteral("取  消"), this);
    m_cancel->setObjectName(QStringLiteral("tbReturn"));
    buttons->addWidget(m_import);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    connect(m_browse, &QToolButton::clicked, this, [this] { browse(); });
    connect(m_import, &QPushButton::clicked, this, [this] { importDisablingButtons(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ImportDialogBase::setPercent(int percent) {
    m_bar->setValue(qBound(0, percent, 100));
    m_ui.keepResponsive();
}

void ImportDialogBase::importDisablingButtons() {
    m_import->setEnabled(false);
    m_cancel->setEnabled(false);
    try {
        runImport();
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
    m_import->setEnabled(true);
    m_cancel->setEnabled(true);
}

TdlgImportCSVForm::TdlgImportCSVForm(DbSession& session, UiServices& ui, QWidget* parent)
    : ImportDialogBase(QStringLiteral("导入文件"), QStringLiteral("选择导入的数据文件:"), session, ui,
                       parent),
      m_stamp(records::machineStamp()) {
    setObjectName(QStringLiteral("TdlgImportCSVForm"));
    m_extra->addWidget(new QLabel(QStringLiteral(" 说明：导入的文件必须为csv格式的文件"), this));
}

void TdlgImportCSVForm::browse() {
    const std::optional<FileChoice> choice = m_ui.chooseOpenFile(
        FileRequest{exchange::ChooseImportTitle, exchange::CsvFilter, 1, QString(), QString()});
    if (!choice)
        return;
    const QString path = exchange::checkedCsvPath(choice->path, m_ui);
    if (!path.isEmpty())
        m_path->setText(path);
}

void TdlgImportCSVForm::runImport() {
    m_bar->setValue(0);
    exchange::importCsvFile(m_session, m_ui, m_path->text(), m_stamp,
                            [this](int percent) { setPercent(percent); });
}

TdlgMultiExportForm::TdlgMultiExportForm(DbSession& session, UiServices& ui, QWidget* parent)
    : ImportDialogBase(QStringLiteral("数据批量导入"), QStringLiteral("选择批量导入的数据文件"), session, ui,
                       parent) {
    setObjectName(QStringLiteral("TdlgMultiExportForm"));
    m_labels = new QPlainTextEdit(this);
    m_labels->setObjectName(QStringLiteral("RzMemo1"));
    m_labels->setReadOnly(true);
    m_extra->addWidget(m_labels);
}

void TdlgMultiExportForm::browse() {
    const std::optional<FilesChoice> choice = m_ui.chooseOpenFiles(
        FileRequest{exchange::ChooseImportTitle, exchange::ImportFilter, 1, QString(), QString()});
    if (!choice || choice->paths.isEmpty())
        return;
    const std::optional<exchange::ChosenFiles> files =
        exchange::prepareImportFiles(m_session.programFolder(), choice->paths, choice->filterIndex, m_ui);
    if (!files)
        return;
    m_labels->setPlainText(files->labelText());
    m_path->setText(files->pathText());
}

void TdlgMultiExportForm::runImport() {
    if (m_path->text().isEmpty()) {
        m_ui.showMessage(QStringLiteral("请选择要导入的数据文件。"), QString(), MessageIcon::Warning);
        return;
    }
    m_bar->setValue(0);
    exchange::importMultipleFiles(m_session, m_ui, m_path->text().split(QLatin1Char(';')),
                                  [this](int percent) { setPercent(percent); });
}

} // namespace corvalis
