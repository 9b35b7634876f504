#include "ImportPreviewModels.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <cmath>

namespace corvalis {

namespace {

QVariant headerText(const char* const* titles, int count, int section, Qt::Orientation orientation,
                    int role) {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= count)
        return {};
    return QString::fromUtf8(titles[section]);
}

QVariant countOrBlank(qint64 value, bool refused) {
    return refused ? QVariant() : QVariant(value);
}

QColor refusedColor() {
    return QColor(250, 218, 218);
}

// The names without their folders of the files of one import, which the log keeps joined by "; ".
QString fileNames(const QString& files) {
    QStringList names;
    for (const QString& path : files.split(QStringLiteral("; ")))
        names << QFileInfo(path).fileName();
    return names.join(QStringLiteral("; "));
}

QColor theirsColor() {
    return QColor(214, 234, 248);
}

} // namespace

exchange::Resolution resolutionOf(const ResolutionChoices& choices, UnionCode code) {
    const auto found = choices.find(code);
    return found == choices.end() ? exchange::Resolution::Ours : found->second;
}

QString resolutionText(exchange::Resolution resolution) {
    return resolution == exchange::Resolution::Theirs ? QStringLiteral("采用导入")
                                                      : QStringLiteral("保留本库");
}

QString valueText(const QVariant& value) {
    if (value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
            return QString::number(qint64(number));
        return QString::number(number, 'g', 15);
    }
    return value.toString();
}

// ---------------------------------------------------------------------------------------------

void FilePreviewModel::setFiles(const std::vector<exchange::FilePreview>* files) {
    beginResetModel();
    m_files = files;
    endResetModel();
}

int FilePreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_files ? 0 : int(m_files->size());
}

int FilePreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FilePreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_files || index.row() >= int(m_files->size()))
        return {};
    const exchange::FilePreview& file = (*m_files)[size_t(index.row())];
    const bool refused = !file.refusal.isEmpty();
    if (role == Qt::BackgroundRole && refused)
        return QBrush(refusedColor());
    if (role == Qt::ToolTipRole)
        return index.column() == Note && refused ? file.refusal : file.file;
    if (role == Qt::TextAlignmentRole && index.column() >= Records && index.column() <= FailingCheck)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case File:
        return QFileInfo(file.file).fileName();
    case Label:
        return file.label;
    case Records:
        return countOrBlank(file.records, refused);
    case Added:
        return countOrBlank(file.added, refused);
    case Identical:
        return countOrBlank(file.identical, refused);
    case Conflicting:
        return countOrBlank(file.conflicting, refused);
    case Repeated:
        return countOrBlank(file.repeated, refused);
    case FailingCheck:
        return countOrBlank(file.failingCheck, refused || file.failingCheck < 0);
    case Note:
        return refused ? QStringLiteral("拒绝：") + file.refusal : QString();
    default:
        return {};
    }
}

QVariant FilePreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"文件", "标识", "记录",       "新增", "相同",
                                         "冲突", "重复", "未通过检查", "说明"};
    return headerText(titles, ColumnCount, section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

ConflictModel::ConflictModel(const ResolutionChoices& choices, QObject* parent)
    : QAbstractTableModel(parent), m_choices(choices) {}

void ConflictModel::setFile(const exchange::FilePreview* file) {
    beginResetModel();
    m_file = file;
    endResetModel();
}

void ConflictModel::choicesChanged() {
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

UnionCode ConflictModel::codeAt(int row) const {
    if (!m_file || row < 0 || row >= int(m_file->conflicts.size()))
        return 0;
    return m_file->conflicts[size_t(row)].code;
}

int ConflictModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_file ? 0 : int(m_file->conflicts.size());
}

int ConflictModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConflictModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_file || index.row() >= int(m_file->conflicts.size()))
        return {};
    const exchange::ConflictingRecord& record = m_file->conflicts[size_t(index.row())];
    const exchange::Resolution resolution = resolutionOf(m_choices, record.code);
    if (role == Qt::BackgroundRole && resolution == exchange::Resolution::Theirs)
        return QBrush(theirsColor());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Code:
        return unionCodeText(record.code);
    case Name:
        return record.name;
    case Fields: {
        QStringList names;
        for (const exchange::FieldDifference& difference : record.fields)
            names << difference.field;
        return names.join(QStringLiteral(", "));
    }
    case Choice:
        return resolutionText(resolution);
    default:
        return {};
    }
}

QVariant ConflictModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"编号", "单位名称", "不同的字段", "处理"};
    return headerText(titles, ColumnCount, section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

QColor FieldComparisonModel::differenceColor() {
    return QColor(255, 221, 153);
}

void FieldComparisonModel::setFields(std::vector<exchange::FieldComparison> fields) {
    beginResetModel();
    m_fields = std::move(fields);
    endResetModel();
}

int FieldComparisonModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_fields.size());
}

int FieldComparisonModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FieldComparisonModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_fields.size()))
        return {};
    const exchange::FieldComparison& field = m_fields[size_t(index.row())];
    if (field.differs) {
        if (role == Qt::BackgroundRole)
            return QBrush(differenceColor());
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        if (role == Qt::AccessibleDescriptionRole || (role == Qt::ToolTipRole && index.column() == Mark))
            return QStringLiteral("两边的值不同");
    }
    if (role == Qt::TextAlignmentRole && index.column() == Mark)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Mark:
        return field.differs ? differenceMark() : QString();
    case Field:
        return field.field;
    case Caption:
        return field.caption;
    case Ours:
        return valueText(field.ours);
    case Theirs:
        return valueText(field.theirs);
    default:
        return {};
    }
}

QVariant FieldComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"", "字段", "名称", "本库", "导入"};
    return headerText(titles, ColumnCount, section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

void ImportLogModel::setEntries(std::vector<exchange::ImportLogEntry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

const exchange::ImportLogEntry* ImportLogModel::entryAt(int row) const {
    return row >= 0 && row < int(m_entries.size()) ? &m_entries[size_t(row)] : nullptr;
}

int ImportLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int ImportLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImportLogModel::data(const QModelIndex& index, int role) const {
    const exchange::ImportLogEntry* entry = entryAt(index.row());
    if (!index.isValid() || !entry)
        return {};
    if (role == Qt::ForegroundRole && entry->undone)
        return QBrush(QColor(128, 128, 128));
    if (role == Qt::ToolTipRole && index.column() == File)
        return entry->file;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Id:
        return entry->id;
    case At:
        return entry->at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case File:
        return fileNames(entry->file);
    case Label:
        return entry->label;
    case Added:
        return entry->added;
    case Replaced:
        return entry->replaced;
    case Skipped:
        return entry->skipped;
    case State:
        return entry->undone ? QStringLiteral("已撤销") : QStringLiteral("有效");
    default:
        return {};
    }
}

QVariant ImportLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"序号", "时间", "文件", "标识", "新增", "替换", "跳过", "状态"};
    return headerText(titles, ColumnCount, section, orientation, role);
}

} // namespace corvalis
