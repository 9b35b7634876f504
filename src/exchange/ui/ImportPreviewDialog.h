#pragma once

#include "ImportPreviewModels.h"

#include <QDialog>
#include <QStringList>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace corvalis {

class Clock;
class DbSession;
class UiServices;

// "导入预览": stages received files, shows per file what an import would do, lists the conflicting
// records with their fields side by side, takes a resolution per record or for all, and imports in
// one transaction. Nothing is written before "导入".
class ImportPreviewDialog : public QDialog {
public:
    ImportPreviewDialog(DbSession& session, UiServices& ui, QWidget* parent = nullptr);
    ~ImportPreviewDialog() override;

    // How the preview counts the incoming records that fail the built-in check; none leaves the
    // column empty.
    void setFailingCounter(exchange::FailingRecordCounter counter) { m_countFailing = std::move(counter); }
    // The clock that dates the import in the log (it must outlive the window).
    void setClock(const Clock& clock) { m_clock = &clock; }

    // Stages the given files and shows them (what choosing files does after the dialog).
    void previewFiles(const QStringList& paths);
    // Whether the open database changed while the window was shown (an import or an undo).
    bool changedDatabase() const { return m_changed; }
    const ResolutionChoices& choices() const { return m_choices; }

private:
    void chooseFiles();
    void showFile(int row);
    void showConflict(int row);
    void resolveSelected(exchange::Resolution resolution);
    void resolveAll(exchange::Resolution resolution);
    void importChosen();
    void showHistory();
    void clearPreview();
    void updateButtons();
    int currentFile() const;
    QString importQuestion() const;

    DbSession& m_session;
    UiServices& m_ui;
    exchange::FailingRecordCounter m_countFailing;
    const Clock* m_clock = nullptr;
    std::unique_ptr<exchange::ImportPreview> m_preview;
    QStringList m_paths; // the files the preview shows
    ResolutionChoices m_choices;
    bool m_changed = false;

    FilePreviewModel* m_fileModel;
    ConflictModel* m_conflictModel;
    FieldComparisonModel* m_fieldModel;
    QTableView* m_files;
    QTableView* m_conflicts;
    QTableView* m_fields;
    QLabel* m_result;
    QPushButton* m_choose;
    QPushButton* m_keepOurs;
    QPushButton* m_takeTheirs;
    QPushButton* m_allOurs;
    QPushButton* m_allTheirs;
    QPushButton* m_import;
    QPushButton* m_history;
    QPushButton* m_close;
};

// The files a person may preview, as the data, backup and CSV imports choose them, and any file.
inline const QString PreviewFilter =
    QStringLiteral("数据加密文件(*.dat)|*.dat|数据备份文件(*.mdb)|*.mdb|csv文件(*.csv)|*.csv|所有文件(*)|*");

// The chosen names with the extension of the dialog's filter added where the name lacks it and names
// no file as it stands (a typed "x.mdb" under the data-file filter stays x.mdb); the fourth filter
// takes any name as it is.
QStringList withFilterExtension(const QStringList& chosen, int filterIndex);

} // namespace corvalis
