#include "CsvImport.h"

#include "ConflictReport.h"
#include "DataFile.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "records/RowNumbering.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

namespace corvalis::exchange {

namespace {

struct CsvColumn {
    QString name; // as dt_data names it
    bool text = false;
};

// The columns the header names, matched to dt_data; empty when the header is not acceptable.
std::vector<CsvColumn> headerColumns(engine::Connection& db, const QString& header) {
    QStringList names = header.split(QLatin1Char(','));
    if (!names.isEmpty() && names.last().trimmed().isEmpty())
        names.removeLast();
    engine::Statement info(db, QStringLiteral("select name, type from pragma_table_info('dt_data')"));
    QHash<QString, CsvColumn> known;
    while (info.step()) {
        const engine::ColumnType type = engine::columnTypeFromDeclaration(info.text(1));
        known.insert(info.text(0).toLower(), {info.text(0), type == engine::ColumnType::Text});
    }
    std::vector<CsvColumn> columns;
    QSet<QString> seen;
    for (const QString& raw : names) {
        const QString name = raw.trimmed().toLower();
        if (!known.contains(name) || seen.contains(name))
            return {};
        seen.insert(name);
        columns.push_back(known.value(name));
    }
    if (!seen.contains(QStringLiteral("c901")))
        return {};
    return columns;
}

// Binds a number column's value: a whole number when it is one, else a decimal number.
void bindNumber(engine::Statement& insert, int position, QStringView part, int line, const QString& column) {
    const QStringView text = part.trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok) {
        insert.bindInt64(position, whole);
        return;
    }
    const double value = text.toDouble(&ok);
    if (!ok)
        throw EngineError(
            QStringLiteral("第 %1 行“%2”的值“%3”不是数字。").arg(line).arg(column, part.toString()));
    insert.bindDouble(position, value);
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isAscii(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QByteArrayView trimmedAscii(QByteArrayView bytes) {
    while (!bytes.isEmpty() && isAsciiSpace(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isAsciiSpace(bytes.back()))
        bytes.chop(1);
    return bytes;
}

// A whole number of at most 18 digits with an optional minus sign: the form every exported
// number has. Anything else goes the way of the text conversion.
bool plainWholeNumber(QByteArrayView digits, qint64& value) {
    const bool negative = !digits.isEmpty() && digits.front() == '-';
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    qint64 result = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    value = negative ? -result : result;
    return true;
}

// A line that holds nothing but white space (as QString::trimmed sees it) is passed over.
bool isBlankLine(QByteArrayView line) {
    bool ascii = true;
    for (const char c : line) {
        if (static_cast<unsigned char>(c) >= 0x80)
            ascii = false;
        else if (!isAsciiSpace(c))
            return false;
    }
    return ascii || fromGbk(line.toByteArray()).trimmed().isEmpty();
}

// Reads a GBK text file line by line through a buffer of fixed size, so that memory stays the same
// whatever the size of the file. Lines end with LF or CR LF; a last line without an end counts.
class GbkLineReader {
public:
    explicit GbkLineReader(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(path, m_file.errorString()));
        m_size = m_file.size();
        m_buffer.resize(ChunkSize);
    }

    // The next line without its end; valid until the next call. False after the last line.
    bool next(QByteArrayView& line) {
        for (;;) {
            const char* from = m_buffer.constData() + m_start;
            const auto* end = static_cast<const char*>(memchr(from, '\n', size_t(m_end - m_start)));
            if (end) {
                qsizetype length = end - from;
                m_start += length + 1;
                if (length > 0 && from[length - 1] == '\r')
                    --length;
                line = QByteArrayView(from, length);
                return true;
            }
            if (m_atEnd) {
                if (m_start == m_end)
                    return false;
                line = QByteArrayView(from, m_end - m_start);
                m_start = m_end;
                return true;
            }
            refill();
        }
    }

    qint64 consumed() const { return m_read - (m_end - m_start); }
    qint64 size() const { return m_size; }

private:
    static constexpr qsizetype ChunkSize = 1 << 20;

    void refill() {
        const qsizetype kept = m_end - m_start;
        if (m_start > 0 && kept > 0)
            memmove(m_buffer.data(), m_buffer.constData() + m_start, size_t(kept));
        m_start = 0;
        m_end = kept;
        if (m_end == m_buffer.size()) // a line longer than the buffer
            m_buffer.resize(m_buffer.size() * 2);
        const qint64 got = m_file.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (got < 0)
            throw FileError(
                QStringLiteral("读取文件“%1”时出错：%2").arg(m_file.fileName(), m_file.errorString()));
        m_read += got;
        m_end += qsizetype(got);
        m_atEnd = got == 0;
    }

    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    qint64 m_read = 0;
    qint64 m_size = 0;
    bool m_atEnd = false;
};

// Splits a line at its commas into views of it, in a list used again from line to line.
void splitFields(QByteArrayView line, std::vector<QByteArrayView>& fields) {
    fields.clear();
    for (;;) {
        const qsizetype comma = line.indexOf(',');
        if (comma < 0) {
            fields.push_back(line);
            return;
        }
        fields.push_back(line.first(comma));
        line = line.sliced(comma + 1);
    }
}

// Stages the lines after the header in the table in one transaction, one line in memory at a time.
// Values are bound from the line's own bytes where they are plain ASCII.
void stageLines(engine::Connection& db, const QString& table, GbkLineReader& lines,
                const std::vector<CsvColumn>& columns, const QString& machineStamp,
                const std::function<void(int)>& percent) {
    QStringList names, marks;
    int stampColumn = -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(QLatin1String("c900"), Qt::CaseInsensitive) == 0) {
            stampColumn = int(i);
            continue;
        }
        names << engine::quotedIdentifier(columns[i].name);
        marks << QStringLiteral("?");
    }
    names << QStringLiteral("c900");
    marks << QStringLiteral("?");
    const QByteArray stamp = machineStamp.toUtf8();
    engine::Transaction transaction(db);
    engine::Statement insert(db, QStringLiteral("insert into %1(%2) values (%3)")
                                     .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    std::vector<QByteArrayView> parts;
    std::vector<QByteArray> converted(columns.size()); // UTF-8 of non-ASCII texts, kept until the insert ran
    int shown = -1;
    QByteArrayView line;
    for (int n = 1; lines.next(line); ++n) {
        if (isBlankLine(line))
            continue;
        splitFields(line, parts);
        // Every value is followed by ",", so one empty part more is the exported form.
        if (parts.size() == columns.size() + 1 && parts.back().isEmpty())
            parts.pop_back();
        if (parts.size() != columns.size())
            throw EngineError(QStringLiteral("第 %1 行有 %2 个值，标题行有 %3 列。")
                                  .arg(n + 1)
                                  .arg(parts.size())
                                  .arg(columns.size()));
        int position = 1;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (int(i) == stampColumn)
                continue;
            const QByteArrayView part = parts[i];
            if (columns[i].text) {
                if (isAscii(part)) {
                    insert.bindBorrowedText(position++, part.data(), int(part.size()));
                } else {
                    utf8FromGbk(part, converted[i]);
                    insert.bindBorrowedText(position++, converted[i].constData(), int(converted[i].size()));
                }
                continue;
            }
            qint64 whole = 0;
            if (plainWholeNumber(trimmedAscii(part), whole))
                insert.bindInt64(position++, whole);
            else
                bindNumber(insert, position++, fromGbk(part.toByteArray()), n + 1, columns[i].name);
        }
        insert.bindBorrowedText(position, stamp.constData(), int(stamp.size()));
        insert.run();
        insert.reset();
        const int now = lines.size() > 0 ? int(lines.consumed() * 100 / lines.size()) : 100;
        if (percent && now != shown)
            percent(shown = now);
    }
    transaction.commit();
}

ConflictRows stagedConflicts(engine::Connection& db) {
    engine::Statement statement(
        db, QStringLiteral("select c901,c902 from dt_data_dt_data where c901 in "
                           "(select c901 from dt_data) or c901 in (select c901 from "
                           "dt_data_dt_data group by c901 having count(*) > 1) order by c901"));
    ConflictRows rows;
    while (statement.step())
        rows.push_back({engine::codeTextOf(statement.value(0)), statement.text(1)});
    return rows;
}

} // namespace

bool stageCsvFile(engine::Connection& db, const QString& table, const QString& path,
                  const QString& machineStamp, const std::function<void(int)>& percent) {
    GbkLineReader lines(path);
    QByteArrayView header;
    const std::vector<CsvColumn> columns =
        lines.next(header) ? headerColumns(db, fromGbk(header.toByteArray())) : std::vector<CsvColumn>();
    if (columns.empty())
        return false;
    stageLines(db, table, lines, columns, machineStamp, percent);
    return true;
}

QString checkedCsvPath(const QString& chosen, UiServices& ui) {
    QString path = chosen.trimmed();
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseSensitive))
        path += QStringLiteral(".csv");
    if (QFileInfo(path).isFile())
        return path;
    ui.showMessage(QStringLiteral("您选择的文件名为【") + path +
                       QStringLiteral("】的文件并不存在，请选择其它文件。"),
                   QString(), MessageIcon::Warning);
    return QString();
}

CsvImportOutcome importCsvFile(DbSession& session, UiServices& ui, const QString& path,
                               const QString& machineStamp, const std::function<void(int)>& percent) {
    if (path.isEmpty()) {
        ui.showMessage(QStringLiteral("请选择要导入的csv文件"), QString(), MessageIcon::Warning);
        return CsvImportOutcome::Refused;
    }
    engine::Connection& db = session.connection();
    try {
        db.execute(QStringLiteral("delete from dt_data_dt_data"));
        if (!stageCsvFile(db, QStringLiteral("dt_data_dt_data"), path, machineStamp, percent)) {
            ui.showMessage(CsvFormatRefusal, QString(), MessageIcon::Warning);
            return CsvImportOutcome::Refused;
        }
        const records::RefusedRecords refused =
            records::refusedRecords(db, QStringLiteral("main.dt_data_dt_data"));
        if (!refused.empty()) {
            ui.openWithShell(writeRefusalReport(refused));
            ui.showMessage(refusalMessage(QStringLiteral("导入")), QString(), MessageIcon::Warning);
            return CsvImportOutcome::Refused;
        }
        const ConflictRows conflicts = stagedConflicts(db);
        if (!conflicts.empty()) {
            ui.openWithShell(writeConflictReport(conflicts));
            return CsvImportOutcome::Conflicts;
        }
        const QString all = tableColumns(db, QStringLiteral("dt_data")).join(QLatin1Char(','));
        engine::Transaction transaction(db);
        records::insertWithoutNumberingTrigger(
            db, QStringLiteral("insert into dt_data (%1) select %1 from dt_data_dt_data").arg(all));
        transaction.commit();
    } catch (const Error& error) {
        showRunError(ui, error.text(), ContactSuffix);
        return CsvImportOutcome::Refused;
    }
    if (percent)
        percent(100);
    ui.showMessage(QStringLiteral("数据已经被正确地导入!"));
    return CsvImportOutcome::Imported;
}

} // namespace corvalis::exchange
