#include "PrintPreview.h"

#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/paint/LayoutPainter.h"

#include <QAction>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

namespace corvalis::records {

PrintPreviewDialog::PrintPreviewDialog(workbook::WorkbookLayout filled, UiServices& ui,
                                       const QString& proposedName, QWidget* parent)
    : PrintPreviewDialog(std::make_unique<QPrinter>(QPrinter::HighResolution), std::move(filled), ui,
                         proposedName, parent) {}

PrintPreviewDialog::PrintPreviewDialog(std::unique_ptr<QPrinter> target, workbook::WorkbookLayout filled,
                                       UiServices& ui, const QString& proposedName, QWidget* parent)
    : QPrintPreviewDialog(target.get(), parent), m_printer(std::move(target)), m_filled(std::move(filled)),
      m_ui(ui), m_proposedName(proposedName) {
    setObjectName(QStringLiteral("PrintPreviewDialog"));
    setWindowTitle(QStringLiteral("打印预览"));
    // The same page as the PDF output: A4 with 12 mm margins.
    printer()->setPageSize(QPageSize(QPageSize::A4));
    printer()->setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    connect(this, &QPrintPreviewDialog::paintRequested, this, &PrintPreviewDialog::paintPages);

    auto* savePdfAction =
        new QAction(QIcon::fromTheme(QStringLiteral("document-save-as")), QStringLiteral("保存为PDF"), this);
    savePdfAction->setObjectName(QStringLiteral("actSavePdf"));
    savePdfAction->setToolTip(QStringLiteral("把打印表保存为PDF文件"));
    connect(savePdfAction, &QAction::triggered, this, [this] { savePdf(); });
    if (auto* bar = findChild<QToolBar*>())
        bar->addAction(savePdfAction);
    else
        addAction(savePdfAction);
}

PrintPreviewDialog::~PrintPreviewDialog() = default;

void PrintPreviewDialog::paintPages(QPrinter* target) {
    try {
        workbook::paintWorkbook(*target, m_filled);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
    }
}

bool PrintPreviewDialog::savePdf() {
    FileRequest request;
    request.title = QStringLiteral("保存为PDF文件");
    request.filter = QStringLiteral("PDF文件(*.pdf)|*.pdf");
    request.folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    request.proposedName = m_proposedName;
    const auto choice = m_ui.chooseSaveFile(request);
    if (!choice)
        return false;
    QString path = choice->path;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    try {
        workbook::writePdf(m_filled, path);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return false;
    }
    return true;
}

} // namespace corvalis::records
