// The page reader over any bytes at all, read as tables and as indexes: a received file reaches it only after
// the engine's own check, but the reader must not rely on that. Every walk must end, never read outside what
// it loaded, and hand the visitor only fields that lie inside their record.
#include "records/ReceivedIndexes.h"
#include "records/TablePages.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <cstdlib>

using corvalis::records::IndexesMatchRows;
using corvalis::records::PageRecord;
using corvalis::records::StoredField;
using corvalis::records::TablePages;

namespace {

// Touches every byte a field claims, so that the sanitizer sees a read outside the record.
unsigned touch(const StoredField& field) {
    unsigned sum = unsigned(field.type);
    if (field.type == StoredField::Type::Text || field.type == StoredField::Type::Blob) {
        if (field.size < 0)
            std::abort();
        for (qint64 i = 0; i < field.size; ++i)
            sum += field.bytes[i];
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pages.mdb"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    // Columns 1 and 3 of REAL affinity, as the tables of the survey mix them.
    const std::vector<bool> realColumns{false, true, false, true};
    const std::atomic<bool> stop{false};
    volatile unsigned sink = 0;
    const auto visit = [&sink](const PageRecord& record) {
        for (int i = 0; i < record.fieldCount(); ++i) {
            const StoredField field = record.decoded(i);
            sink = sink + touch(field);
            // The whole-number reading agrees with the decoding.
            const PageRecord::WholeForm form = record.wholeForm(i);
            if (form.null != (field.type == StoredField::Type::Null) ||
                (field.type == StoredField::Type::Integer && !form.whole) ||
                (form.whole && field.type != StoredField::Type::Integer &&
                 field.type != StoredField::Type::Float) ||
                (form.whole && form.value != field.integer))
                std::abort();
        }
        if (record.field(record.fieldCount()).has_value())
            std::abort();
        return true;
    };
    TablePages pages(path);
    for (qint64 root = 2; root <= 32; ++root) {
        pages.walk(root, realColumns, visit, stop);
        pages.walkIndex(root, visit, stop);
    }
    // The comparison of a table's indexes with its rows, as a received file's are compared.
    IndexesMatchRows indexes({{3, 1, true}, {4, 0, false}});
    pages.walk(
        2, realColumns,
        [&indexes](const PageRecord& record) {
            indexes.addRow(record);
            return true;
        },
        stop);
    sink = sink + (indexes.indexesMatch(pages, stop) ? 1u : 0u);
    return 0;
}
