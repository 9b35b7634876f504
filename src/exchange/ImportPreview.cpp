#include "ImportPreview.h"

#include "ConflictReport.h"
#include "CsvImport.h"
#include "DataFile.h"
#include "DataImport.h"
#include "ImportHistory.h"
#include "NetworkExport.h"
#include "PreviewStaging.h"

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FieldDictionary.h"
#include "app/FileOps.h"
#include "app/ReceivedFile.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "records/ReceivedValues.h"
#include "records/RowNumbering.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

namespace corvalis::exchange {

namespace {

const QString StageAlias = QStringLiteral("preview_stage");
const QString IncomingAlias = QStringLiteral("preview_in");

QString stagedTable(int index) {
    return QStringLiteral("%1.f%2").arg(StageAlias).arg(index);
}

// The columns compared between a received record and ours: all but the row number and the machine
// stamp, which differ between installations without the record being different.
bool isCompared(const QString& column) {
    return column.compare(QLatin1String("id"), Qt::CaseInsensitive) != 0 &&
           column.compare(QLatin1String("c900"), Qt::CaseInsensitive) != 0;
}

// One text per record pair naming the compared columns whose values differ, each followed by ",";
// empty for identical records. "is not" compares as the engine stores: 245 equals 245.0.
QString differingColumnsExpression(const QStringList& columns) {
    QStringList parts;
    for (const QString& column : columns) {
        if (isCompared(column))
            parts << QStringLiteral("iif(s.%1 is not d.%1, '%2,', '')")
                         .arg(engine::quotedIdentifier(column), column);
    }
    return parts.join(QStringLiteral("||"));
}

QString sameRecordCondition(const QStringList& columns) {
    QStringList parts;
    for (const QString& column : columns) {
        if (isCompared(column))
            parts << QStringLiteral("s.%1 is d.%1").arg(engine::quotedIdentifier(column));
    }
    return parts.join(QStringLiteral(" and "));
}

// Records of a staged table whose code the table holds once only.
QString singleCodeCondition(const QString& table) {
    return QStringLiteral("s.c901 not in (select c901 from %1 group by c901 having count(*) > 1)").arg(table);
}

// The value of a column as the preview hands it on: null for empty.
QVariant shownValue(const engine::Statement& statement, int column) {
    return statement.isNull(column) ? QVariant() : statement.value(column);
}

enum class ReceivedKind { DataFile, Csv, NetworkText };

bool startsWithDatabaseHeader(const QByteArray& head, bool scrambled) {
    static const QByteArray signature("SQLite format 3", 16);
    if (head.size() < signature.size())
        return false;
    for (int i = 0; i < signature.size(); ++i) {
        const auto byte = static_cast<unsigned char>(head[i]);
        if ((scrambled ? unscrambleByte(byte) : byte) != static_cast<unsigned char>(signature[i]))
            return false;
    }
    return true;
}

// The network-version file: an 8-byte length, then the blocks that hold exactly that many bytes.
bool hasNetworkLayout(const QString& path, const QByteArray& head) {
    if (head.size() < 8)
        return false;
    qint64 length = 0;
    for (int i = 7; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(head[i]);
    const qint64 blocks = QFileInfo(path).size() - 8;
    return length >= 0 && blocks % 16 == 0 && length <= blocks && blocks - length < 16;
}

// A file is told by its content: a database (plain or scrambled head) is a data file, the
// network layout is the encrypted text, and a ".csv" name is the plain text. Anything else goes
// the data file's way and is refused as unreadable there, as the data import does.
ReceivedKind kindOf(const QString& path) {
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ReceivedKind::Csv;
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(16) : QByteArray();
    if (startsWithDatabaseHeader(head, false) || startsWithDatabaseHeader(head, true) ||
        firstByteOf(path) == SignatureFormFirstByte)
        return ReceivedKind::DataFile;
    return hasNetworkLayout(path, head) ? ReceivedKind::NetworkText : ReceivedKind::DataFile;
}

// The refusal of a file: its message is the one the user reads.
struct Refused {
    QString message;
};

// A refused file keeps its name and label, and no counts.
FilePreview refusedPreview(const QString& file, const QString& label, const QString& message) {
    FilePreview preview;
    preview.file = file;
    preview.label = label;
    preview.refusal = message;
    return preview;
}

} // namespace

ImportPreview::ImportPreview(engine::Connection& connection, UiServices& ui, const QStringList& files,
                             FailingRecordCounter countFailing)
    : m_connection(connection), m_ui(ui), m_countFailing(std::move(countFailing)) {
    m_folder = std::make_unique<QTemporaryDir>(tempFolder() + QStringLiteral("/preview-XXXXXX"));
    if (!m_folder->isValid())
        throw FileError(QStringLiteral("无法在临时文件夹中创建文件：%1").arg(m_folder->errorString()));
    m_stagePath = m_folder->filePath(QStringLiteral("staged.db"));
    engine::Connection::createDatabase(m_stagePath);
    m_columns = tableColumns(connection, QStringLiteral("dt_data"));
    const TFieldDataArray dictionary = loadFieldDictionary(connection);
    for (const QString& column : m_columns) {
        const TFieldData* field = findField(dictionary, column);
        m_captions.push_back(field && !field->hint.isEmpty() ? field->hint : column);
    }

    ProgressReporter& progress = m_ui.progress();
    progress.start(QStringLiteral("正在预览准备导入的文件..."), qint64(files.size()));
    engine::Attachment stage(m_connection, m_stagePath, StageAlias);
    const engine::ScopedCacheSize cache(m_connection, 65536);
    // The staged copies are thrown away after use: no journal, no waiting for the disk.
    m_connection.execute(QStringLiteral("pragma %1.journal_mode = off").arg(StageAlias));
    m_connection.execute(QStringLiteral("pragma %1.synchronous = off").arg(StageAlias));
    for (int i = 0; i < files.size(); ++i) {
        FilePreview preview;
        preview.file = files[i];
        try {
            stageFile(i, preview);
            compareFile(i, preview);
        } catch (const Refused& refused) {
            preview = refusedPreview(files[i], preview.label, refused.message);
        } catch (const Error& error) {
            preview = refusedPreview(files[i], preview.label, RunErrorPrefix + error.text() + ContactSuffix);
        }
        if (!preview.refusal.isEmpty())
            m_connection.execute(QStringLiteral("drop table if exists %1").arg(stagedTable(i)));
        m_files.push_back(std::move(preview));
        progress.step();
        m_ui.keepResponsive();
    }
    progress.finish();
}

ImportPreview::~ImportPreview() = default;

void ImportPreview::stageFile(int index, FilePreview& preview) {
    const QString& path = preview.file;
    if (!QFileInfo(path).isFile())
        throw Refused{FileMissingMessage};
    const QString table = stagedTable(index);
    createStagedTable(m_connection, table);
    switch (kindOf(path)) {
    case ReceivedKind::Csv:
        preview.label = QFileInfo(path).fileName();
        if (!stageCsvText(m_connection, table, path))
            throw Refused{CsvFormatRefusal};
        break;
    case ReceivedKind::NetworkText: {
        preview.label = QFileInfo(path).fileName();
        const QString plain = m_folder->filePath(QStringLiteral("in-%1.csv").arg(index));
        decryptFileAes128(path, plain, deriveExportKey());
        const bool staged = stageCsvText(m_connection, table, plain);
        QFile::remove(plain);
        if (!staged)
            throw Refused{CsvFormatRefusal};
        break;
    }
    case ReceivedKind::DataFile:
        stageDataFile(index, preview);
        return;
    }
    const records::RefusedRecords refused = records::refusedRecords(m_connection, table);
    if (!refused.empty())
        throw Refused{refusalMessage(QStringLiteral("导入"))};
}

void ImportPreview::stageDataFile(int index, FilePreview& preview) {
    const QString& path = preview.file;
    if (tooShortForDataFile(path))
        throw Refused{UnreadableFileMessage};
    // The staged copy is always a copy: the chosen file is never opened for writing, and may
    // change while the window shows it.
    const QString copy = m_folder->filePath(QStringLiteral("in-%1.dat").arg(index));
    if (prepareDataFileCopy(path, copy) == path)
        copyFileContents(path, copy);
    struct CopyRemoval {
        QString path;
        ~CopyRemoval() { QFile::remove(path); }
    } removal{copy};

    std::optional<engine::Attachment> attachment;
    if (!attachReceivedFile(m_connection, copy, IncomingAlias, attachment))
        throw Refused{UnreadableFileMessage};
    try {
        vetReceivedDatabase(m_connection, IncomingAlias, path);
    } catch (const EngineError& error) {
        throw Refused{error.text()};
    }
    if (!m_connection.tableExists(QStringLiteral("dt_data"), IncomingAlias))
        throw Refused{FileHasNoDataTable};
    preview.label = readLabelOf(m_connection, IncomingAlias);
    if (!sameRecordLayout(m_connection, IncomingAlias))
        throw Refused{ImportFormatError};
    const QString source = IncomingAlias + QStringLiteral(".dt_data");
    underWorkLimit(m_connection, copy, path, [&] {
        // The value rules ride along with the copy, so the file is read once; a record left out
        // refuses the file.
        const qint64 sent =
            m_connection.scalar(QStringLiteral("select count(*) from %1").arg(source)).toLongLong();
        const qint64 taken = m_connection.execute(
            QStringLiteral("insert into %1 select * from %2 where %3")
                .arg(stagedTable(index), source, records::receivedRecordCondition(m_connection)));
        if (taken != sent)
            throw Refused{refusalMessage(QStringLiteral("导入"))};
    });
}

void ImportPreview::compareFile(int index, FilePreview& preview) {
    const QString table = stagedTable(index);
    m_connection.execute(
        QStringLiteral("create index %1_code on f%2 (c901)").arg(stagedTable(index)).arg(index));
    preview.records = m_connection.scalar(QStringLiteral("select count(*) from %1").arg(table)).toLongLong();

    engine::Statement repeated(
        m_connection,
        QStringLiteral("select c901 from %1 group by c901 having count(*) > 1 order by c901").arg(table));
    while (repeated.step())
        preview.repeatedCodes << repeated.code(0).value_or(0);
    preview.repeated = preview.repeatedCodes.size();

    engine::Statement pairs(
        m_connection,
        QStringLiteral("select s.c901, s.c902, d.rowid is not null, case when d.rowid is null or (%1) "
                       "then '' else %2 end from %3 s left join main.dt_data d on d.c901 = s.c901 "
                       "where %4 order by s.c901")
            .arg(sameRecordCondition(m_columns), differingColumnsExpression(m_columns), table,
                 singleCodeCondition(table)));
    QStringList selected;
    for (const QString& column : m_columns)
        selected << QStringLiteral("d.%1, s.%1").arg(engine::quotedIdentifier(column));
    engine::Statement values(m_connection,
                             QStringLiteral("select %1 from %2 s join main.dt_data d on d.c901 = s.c901 "
                                            "where s.c901 = ?1 limit 1")
                                 .arg(selected.join(QLatin1Char(',')), table));
    while (pairs.step()) {
        if (pairs.integer(2) == 0) {
            ++preview.added;
            continue;
        }
        const QString differing = pairs.text(3);
        if (differing.isEmpty()) {
            ++preview.identical;
            continue;
        }
        ++preview.conflicting;
        ConflictingRecord conflict{pairs.code(0).value_or(0), pairs.text(1), {}};
        values.reset();
        values.bind(1, pairs.value(0));
        if (values.step()) {
            const QStringList fields = differing.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString& field : fields) {
                const int column = int(m_columns.indexOf(field));
                conflict.fields.push_back(
                    {field, shownValue(values, 2 * column), shownValue(values, 2 * column + 1)});
            }
        }
        preview.conflicts.push_back(std::move(conflict));
    }
    preview.failingCheck = m_countFailing ? m_countFailing(m_connection, table) : -1;
}

std::vector<FieldComparison> ImportPreview::compare(int fileIndex, UnionCode code) const {
    std::vector<FieldComparison> rows;
    if (fileIndex < 0 || size_t(fileIndex) >= m_files.size() || !m_files[size_t(fileIndex)].refusal.isEmpty())
        return rows;
    engine::Attachment stage(m_connection, m_stagePath, StageAlias);
    QStringList selected;
    for (const QString& column : m_columns)
        selected << QStringLiteral("d.%1, s.%1, s.%1 is not d.%1").arg(engine::quotedIdentifier(column));
    engine::Statement read(m_connection, QStringLiteral("select %1 from %2 s left join main.dt_data d "
                                                        "on d.c901 = s.c901 where s.c901 = ?1 limit 1")
                                             .arg(selected.join(QLatin1Char(',')), stagedTable(fileIndex)));
    read.bind(1, double(code));
    if (!read.step())
        return rows;
    for (int i = 0; i < m_columns.size(); ++i) {
        const QString& column = m_columns[i];
        if (column.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            continue;
        rows.push_back({column, m_captions[size_t(i)], shownValue(read, 3 * i), shownValue(read, 3 * i + 1),
                        isCompared(column) && read.integer(3 * i + 2) != 0});
    }
    return rows;
}

qint64 ImportPreview::apply(const std::map<UnionCode, Resolution>& choices, Resolution otherwise) {
    QStringList files, labels;
    for (const FilePreview& preview : m_files) {
        if (preview.refusal.isEmpty()) {
            files << preview.file;
            labels << preview.label;
        }
    }
    if (files.isEmpty())
        throw Error(QStringLiteral("没有可以导入的文件。"));
    static const SystemClock systemClock;
    const Clock& clock = m_clock ? *m_clock : systemClock;

    engine::Attachment stage(m_connection, m_stagePath, StageAlias);
    engine::Transaction transaction(m_connection);
    history::ensureTables(m_connection);
    const qint64 id = history::startEntry(m_connection, clock.now(), files.join(QStringLiteral("; ")),
                                          labels.join(QStringLiteral(" || ")));
    qint64 added = 0, replaced = 0, skipped = 0;

    QStringList assignments;
    for (const QString& column : m_columns) {
        if (column.compare(QLatin1String("id"), Qt::CaseInsensitive) != 0)
            assignments << QStringLiteral("%1 = s.%1").arg(engine::quotedIdentifier(column));
    }
    for (size_t i = 0; i < m_files.size(); ++i) {
        if (!m_files[i].refusal.isEmpty())
            continue;
        const QString table = stagedTable(int(i));
        const qint64 records =
            m_connection.scalar(QStringLiteral("select count(*) from %1").arg(table)).toLongLong();
        const qint64 fresh = history::noteNewRecords(m_connection, id, table);
        records::insertWithoutNumberingTrigger(
            m_connection,
            QStringLiteral("insert into main.dt_data select * from %1 s where s.c901 in (select c901 "
                           "from %2 where import_id = ?1 and replaced = 0) and not exists (select 1 "
                           "from main.dt_data d where d.c901 = s.c901) and %3")
                .arg(table, ImportTouchedTable, singleCodeCondition(table)),
            {id});
        added += fresh;

        // Records that differ from ours, each taken or left by its resolution.
        std::vector<QVariant> taken;
        qint64 differing = 0;
        {
            engine::Statement conflicts(
                m_connection, QStringLiteral("select s.c901 from %1 s join main.dt_data d on d.c901 = s.c901 "
                                             "where %2 and not (%3)")
                                  .arg(table, singleCodeCondition(table), sameRecordCondition(m_columns)));
            while (conflicts.step()) {
                ++differing;
                const auto choice = choices.find(conflicts.code(0).value_or(0));
                if ((choice == choices.end() ? otherwise : choice->second) == Resolution::Theirs)
                    taken.push_back(conflicts.value(0));
            }
        }
        engine::Statement replace(
            m_connection, QStringLiteral("update main.dt_data set %1 from (select * from %2 where c901 = ?1 "
                                         "limit 1) s where main.dt_data.c901 = ?1")
                              .arg(assignments.join(QStringLiteral(", ")), table));
        for (const QVariant& code : taken) {
            history::noteRecord(m_connection, id, engine::codeOf(code).value_or(0), true);
            replace.reset();
            replace.bind(1, code);
            replace.run();
        }
        replaced += qint64(taken.size());
        skipped += records - fresh - qint64(taken.size());
    }
    history::sealEntry(m_connection, id);
    history::finishEntry(m_connection, id, added, replaced, skipped);
    transaction.commit();
    return id;
}

} // namespace corvalis::exchange
