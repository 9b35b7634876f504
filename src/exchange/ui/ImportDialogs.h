#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class QPushButton;
class QVBoxLayout;

namespace corvalis {

class DbSession;
class UiServices;

// The common frame of the two file import dialogs: a read-only path, a browse button, a progress
// bar, "导  入" and "取  消".
class ImportDialogBase : public QDialog {
public:
    ImportDialogBase(const QString& caption, const QString& prompt, DbSession& session, UiServices& ui,
                     QWidget* parent);

protected:
    virtual void browse() = 0;
    virtual void runImport() = 0;
    void setPercent(int percent);

    DbSession& m_session;
    UiServices& m_ui;
    QLineEdit* m_path;
    QToolButton* m_browse;
    QProgressBar* m_bar;
    QPushButton* m_import;
    QPushButton* m_cancel;
    QVBoxLayout* m_extra;

private:
    void importDisablingButtons();
};

// TdlgImportCSVForm: imports a CSV file of the network version's layout.
class TdlgImportCSVForm : public ImportDialogBase {
public:
    TdlgImportCSVForm(DbSession& session, UiServices& ui, QWidget* parent = nullptr);

private:
    void browse() override;
    void runImport() override;
    QString m_stamp;
};

// TdlgMultiExportForm: imports several data or backup files one after the other.
class TdlgMultiExportForm : public ImportDialogBase {
public:
    TdlgMultiExportForm(DbSession& session, UiServices& ui, QWidget* parent = nullptr);

private:
    void browse() override;
    void runImport() override;
    QPlainTextEdit* m_labels;
};

} // namespace corvalis
