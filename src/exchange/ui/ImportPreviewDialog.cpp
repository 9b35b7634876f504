#include "ImportPreviewDialog.h"

#include "ImportHistoryDialog.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "exchange/DataFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace corvalis {

namespace {

// The extension each filter of PreviewFilter adds; the last filter adds none.
const char* const FilterExtensions[] = {".dat", ".mdb", ".csv"};

QTableView* makeTable(const QString& name, QAbstractItemModel* model, QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setObjectName(name);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->setAlternatingRowColors(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setHighlightSections(false);
    return table;
}

QLabel* makeLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

// Sets the wait cursor for the scope of a long step.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString missingFileMessage(const QString& path) {
    return QStringLiteral("您选择的文件名为【%1】的文件并不存在，请选择其它文件。").arg(path);
}

} // namespace

QStringList withFilterExtension(const QStringList& chosen, int filterIndex) {
    if (filterIndex < 1 || filterIndex > int(std::size(FilterExtensions)))
        return chosen;
    const QString extension = QString::fromLatin1(FilterExtensions[filterIndex - 1]);
    QStringList paths;
    for (const QString& name : chosen)
        paths << (name.size() > 4 && !name.endsWith(extension) && !QFileInfo(name).isFile() ? name + extension
                                                                                            : name);
    return paths;
}

ImportPreviewDialog::ImportPreviewDialog(DbSession& session, UiServices& ui, QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui) {
    setObjectName(QStringLiteral("ImportPreviewForm"));
    setWindowTitle(QStringLiteral("导入预览"));
    resize(1120, 660);

    m_fileModel = new FilePreviewModel(this);
    m_conflictModel = new ConflictModel(m_choices, this);
    m_fieldModel = new FieldComparisonModel(this);

    m_choose = makeButton(QStringLiteral("tbChooseFiles"), QStringLiteral("选择文件(&F)..."), this);
    m_files = makeTable(QStringLiteral("FileTable"), m_fileModel, this);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_files->setMaximumHeight(130);
    m_files->horizontalHeader()->setStretchLastSection(true);
    m_conflicts = makeTable(QStringLiteral("ConflictTable"), m_conflictModel, this);
    m_conflicts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_conflicts->horizontalHeader()->setStretchLastSection(true);
    m_fields = makeTable(QStringLiteral("FieldTable"), m_fieldModel, this);
    m_fields->setSelectionMode(QAbstractItemView::SingleSelection);
    // Ours and theirs share the room that the mark, the name and the caption leave.
    QHeaderView* fieldHeader = m_fields->horizontalHeader();
    fieldHeader->setSectionResizeMode(FieldComparisonModel::Mark, QHeaderView::ResizeToContents);
    fieldHeader->setSectionResizeMode(FieldComparisonModel::Field, QHeaderView::ResizeToContents);
    fieldHeader->setSectionResizeMode(FieldComparisonModel::Caption, QHeaderView::Interactive);
    fieldHeader->setSectionResizeMode(FieldComparisonModel::Ours, QHeaderView::Stretch);
    fieldHeader->setSectionResizeMode(FieldComparisonModel::Theirs, QHeaderView::Stretch);
    fieldHeader->resizeSection(FieldComparisonModel::Caption, 170);
    m_fields->setTextElideMode(Qt::ElideRight);

    m_keepOurs = makeButton(QStringLiteral("tbKeepOurs"), QStringLiteral("保留本库(&O)"), this);
    m_takeTheirs = makeButton(QStringLiteral("tbTakeTheirs"), QStringLiteral("采用导入(&T)"), this);
    m_allOurs = makeButton(QStringLiteral("tbAllOurs"), QStringLiteral("全部保留本库(&K)"), this);
    m_allTheirs = makeButton(QStringLiteral("tbAllTheirs"), QStringLiteral("全部采用导入(&A)"), this);
    m_import = makeButton(QStringLiteral("tbImport"), QStringLiteral("导入(&I)"), this);
    m_import->setDefault(true);
    m_history = makeButton(QStringLiteral("tbHistory"), QStringLiteral("导入记录(&H)..."), this);
    m_close = makeButton(QStringLiteral("tbClose"), QStringLiteral("关闭(&C)"), this);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("ResultLabel"));
    m_result->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(makeLabel(QStringLiteral("接收的文件(&L)："), m_files, this));
    top->addStretch();
    top->addWidget(m_choose);

    auto* conflictPane = new QWidget(this);
    auto* conflictLayout = new QVBoxLayout(conflictPane);
    conflictLayout->setContentsMargins(0, 0, 0, 0);
    conflictLayout->addWidget(makeLabel(QStringLiteral("冲突的记录(&R)："), m_conflicts, conflictPane));
    conflictLayout->addWidget(m_conflicts);
    auto* resolve = new QHBoxLayout;
    for (QPushButton* button : {m_keepOurs, m_takeTheirs, m_allOurs, m_allTheirs})
        resolve->addWidget(button);
    conflictLayout->addLayout(resolve);
    auto* fieldPane = new QWidget(this);
    auto* fieldLayout = new QVBoxLayout(fieldPane);
    fieldLayout->setContentsMargins(0, 0, 0, 0);
    fieldLayout->addWidget(makeLabel(
        QStringLiteral("字段对照(&D)：标有 %1 的字段两边不同").arg(FieldComparisonModel::differenceMark()),
        m_fields, fieldPane));
    fieldLayout->addWidget(m_fields);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("PreviewSplitter"));
    split->setChildrenCollapsible(false);
    split->addWidget(conflictPane);
    split->addWidget(fieldPane);
    split->setSizes({520, 600});

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_result, 1);
    bottom->addWidget(m_import);
    bottom->addWidget(m_history);
    bottom->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_files);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);

    QWidget::setTabOrder(m_choose, m_files);
    QWidget::setTabOrder(m_files, m_conflicts);
    QWidget::setTabOrder(m_conflicts, m_keepOurs);
    QWidget::setTabOrder(m_keepOurs, m_takeTheirs);
    QWidget::setTabOrder(m_takeTheirs, m_allOurs);
    QWidget::setTabOrder(m_allOurs, m_allTheirs);
    QWidget::setTabOrder(m_allTheirs, m_fields);
    QWidget::setTabOrder(m_fields, m_import);
    QWidget::setTabOrder(m_import, m_history);
    QWidget::setTabOrder(m_history, m_close);

    connect(m_choose, &QPushButton::clicked, this, [this] { chooseFiles(); });
    connect(m_files->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showFile(current.row()); });
    connect(m_conflicts->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showConflict(current.row()); });
    connect(m_conflicts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateButtons(); });
    connect(m_keepOurs, &QPushButton::clicked, this, [this] { resolveSelected(exchange::Resolution::Ours); });
    connect(m_takeTheirs, &QPushButton::clicked, this,
            [this] { resolveSelected(exchange::Resolution::Theirs); });
    connect(m_allOurs, &QPushButton::clicked, this, [this] { resolveAll(exchange::Resolution::Ours); });
    connect(m_allTheirs, &QPushButton::clicked, this, [this] { resolveAll(exchange::Resolution::Theirs); });
    connect(m_import, &QPushButton::clicked, this, [this] { importChosen(); });
    connect(m_history, &QPushButton::clicked, this, [this] { showHistory(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    updateButtons();
}

ImportPreviewDialog::~ImportPreviewDialog() {
    // The models point into the preview: they let go of it before it goes.
    m_fieldModel->setFields({});
    m_conflictModel->setFile(nullptr);
    m_fileModel->setFiles(nullptr);
}

void ImportPreviewDialog::chooseFiles() {
    const std::optional<FilesChoice> choice = m_ui.chooseOpenFiles(
        FileRequest{exchange::ChooseImportTitle, PreviewFilter, 1, QString(), QString()});
    if (!choice || choice->paths.isEmpty())
        return;
    QStringList paths;
    for (const QString& path : withFilterExtension(choice->paths, choice->filterIndex)) {
        const QString trimmed = path.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (!QFileInfo(trimmed).isFile()) {
            m_ui.showMessage(missingFileMessage(trimmed), QString(), MessageIcon::Warning);
            return;
        }
        paths << trimmed;
    }
    if (!paths.isEmpty())
        previewFiles(paths);
}

void ImportPreviewDialog::previewFiles(const QStringList& paths) {
    clearPreview();
    m_result->clear();
    try {
        WaitCursor wait;
        m_preview =
            std::make_unique<exchange::ImportPreview>(m_session.connection(), m_ui, paths, m_countFailing);
        if (m_clock)
            m_preview->setClock(*m_clock);
        m_paths = paths;
    } catch (const Error& error) {
        m_ui.progress().finish();
        showRunError(m_ui, error.text());
        updateButtons();
        return;
    }
    m_fileModel->setFiles(&m_preview->files());
    m_files->resizeColumnsToContents();
    if (m_fileModel->rowCount() > 0)
        m_files->setCurrentIndex(m_fileModel->index(0, 0));
    m_files->setFocus();
    updateButtons();
}

void ImportPreviewDialog::clearPreview() {
    m_fieldModel->setFields({});
    m_conflictModel->setFile(nullptr);
    m_fileModel->setFiles(nullptr);
    m_preview.reset();
    m_choices.clear();
}

int ImportPreviewDialog::currentFile() const {
    return m_preview ? m_files->currentIndex().row() : -1;
}

void ImportPreviewDialog::showFile(int row) {
    m_fieldModel->setFields({});
    const bool shown = m_preview && row >= 0 && row < int(m_preview->files().size());
    m_conflictModel->setFile(shown ? &m_preview->files()[size_t(row)] : nullptr);
    m_conflicts->resizeColumnsToContents();
    if (m_conflictModel->rowCount() > 0)
        m_conflicts->setCurrentIndex(m_conflictModel->index(0, 0));
    updateButtons();
}

void ImportPreviewDialog::showConflict(int row) {
    const UnionCode code = m_conflictModel->codeAt(row);
    if (!m_preview || code == 0) {
        m_fieldModel->setFields({});
        return;
    }
    try {
        m_fieldModel->setFields(m_preview->compare(currentFile(), code));
    } catch (const Error& error) {
        m_fieldModel->setFields({});
        showRunError(m_ui, error.text());
    }
    // The first differing field comes into view at the top; the view lays out its new rows first,
    // or it would have nothing to scroll.
    const auto& fields = m_fieldModel->fields();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].differs) {
            m_fields->doItemsLayout();
            m_fields->scrollTo(m_fieldModel->index(int(i), 0), QAbstractItemView::PositionAtTop);
            break;
        }
}

void ImportPreviewDialog::resolveSelected(exchange::Resolution resolution) {
    QModelIndexList rows = m_conflicts->selectionModel()->selectedRows();
    if (rows.isEmpty() && m_conflicts->currentIndex().isValid())
        rows << m_conflicts->currentIndex();
    for (const QModelIndex& row : rows)
        if (const UnionCode code = m_conflictModel->codeAt(row.row()))
            m_choices[code] = resolution;
    m_conflictModel->choicesChanged();
}

void ImportPreviewDialog::resolveAll(exchange::Resolution resolution) {
    if (!m_preview)
        return;
    for (const exchange::FilePreview& file : m_preview->files())
        for (const exchange::ConflictingRecord& record : file.conflicts)
            m_choices[record.code] = resolution;
    m_conflictModel->choicesChanged();
}

QString ImportPreviewDialog::importQuestion() const {
    qint64 added = 0, identical = 0, theirs = 0, ours = 0, refused = 0;
    for (const exchange::FilePreview& file : m_preview->files()) {
        if (!file.refusal.isEmpty()) {
            ++refused;
            continue;
        }
        added += file.added;
        identical += file.identical;
        for (const exchange::ConflictingRecord& record : file.conflicts)
            ++(resolutionOf(m_choices, record.code) == exchange::Resolution::Theirs ? theirs : ours);
    }
    QString text =
        QStringLiteral("确认导入么？\n新增 %1 条，采用导入替换 %2 条，保留本库 %3 条，相同而跳过 %4 条。")
            .arg(added)
            .arg(theirs)
            .arg(ours)
            .arg(identical);
    if (refused > 0)
        text += QStringLiteral("\n被拒绝的 %1 个文件不导入。").arg(refused);
    return text;
}

void ImportPreviewDialog::importChosen() {
    if (!m_preview) {
        m_ui.showMessage(QStringLiteral("请先选择要导入的文件。"), QString(), MessageIcon::Warning);
        return;
    }
    if (!m_ui.askYesNo(importQuestion(), QStringLiteral("提示："), MessageIcon::Question, true))
        return;
    qint64 logId = 0;
    try {
        WaitCursor wait;
        logId = m_preview->apply(m_choices, exchange::Resolution::Ours);
    } catch (const Error& error) {
        showRunError(m_ui, error.text());
        return;
    }
    m_changed = true;
    qint64 added = 0, replaced = 0, skipped = 0;
    for (const exchange::ImportLogEntry& entry : exchange::importLog(m_session.connection()))
        if (entry.id == logId) {
            added += entry.added;
            replaced += entry.replaced;
            skipped += entry.skipped;
        }
    const QString done = QStringLiteral("导入完成：新增 %1 条，替换 %2 条，跳过 %3 条。")
                             .arg(added)
                             .arg(replaced)
                             .arg(skipped);
    clearPreview();
    m_result->setText(done + QStringLiteral("可在“导入记录”中撤销这次导入。"));
    updateButtons();
    m_ui.showMessage(done);
}

void ImportPreviewDialog::showHistory() {
    ImportHistoryDialog history(m_session, m_ui, this);
    history.exec();
    if (!history.changedDatabase())
        return;
    m_changed = true;
    // The staged comparison no longer tells the truth about the open database.
    if (m_preview)
        previewFiles(m_paths);
}

void ImportPreviewDialog::updateButtons() {
    const bool hasConflicts = m_conflictModel->rowCount() > 0;
    m_keepOurs->setEnabled(hasConflicts);
    m_takeTheirs->setEnabled(hasConflicts);
    bool anyConflict = false;
    bool anyAccepted = false; // a refused file is never imported
    if (m_preview)
        for (const exchange::FilePreview& file : m_preview->files()) {
            anyConflict = anyConflict || !file.conflicts.empty();
            anyAccepted = anyAccepted || file.refusal.isEmpty();
        }
    m_allOurs->setEnabled(anyConflict);
    m_allTheirs->setEnabled(anyConflict);
    m_import->setEnabled(anyAccepted);
}

} // namespace corvalis
