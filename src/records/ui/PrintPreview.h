#pragma once

#include "app/workbook/WorkbookLayout.h"

#include <QPrintPreviewDialog>
#include <memory>

class QPrinter;

namespace corvalis {
class UiServices;
}

namespace corvalis::records {

// "打印预览": the filled print form on A4 pages, painted from the same layout as the workbook. From
// here the user prints, or saves the pages as a PDF file ("保存为PDF", actSavePdf).
class PrintPreviewDialog : public QPrintPreviewDialog {
    Q_OBJECT

public:
    PrintPreviewDialog(workbook::WorkbookLayout filled, UiServices& ui, const QString& proposedName,
                       QWidget* parent = nullptr);
    ~PrintPreviewDialog() override;

    // Asks for a file name and writes the pages there; true when a file was written.
    bool savePdf();

private:
    PrintPreviewDialog(std::unique_ptr<QPrinter> target, workbook::WorkbookLayout filled, UiServices& ui,
                       const QString& proposedName, QWidget* parent);
    void paintPages(QPrinter* printer);

    std::unique_ptr<QPrinter> m_printer; // printing from the preview goes to it at printer resolution

    workbook::WorkbookLayout m_filled;
    UiServices& m_ui;
    QString m_proposedName;
};

} // namespace corvalis::records
