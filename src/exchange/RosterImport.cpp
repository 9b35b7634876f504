#include "RosterImport.h"

#include "DataFile.h"
#include "DataImport.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/ReceivedFile.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "records/CodeTables.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <optional>
#include <unordered_map>

namespace corvalis::exchange {

namespace {

constexpr int ShownFaults = 10;
constexpr int NameBytes = 60;
const QString RosterAlias = QStringLiteral("roster_source");

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    return fromGbk(bytes);
}

// Splits one CSV line; fields may be quoted, with "" for a quote inside. Empty optional when a quote
// is not closed.
std::optional<QStringList> splitCsvLine(QStringView line) {
    QStringList fields;
    if (!line.contains(QLatin1Char('"'))) {
        for (const QStringView part : line.split(QLatin1Char(',')))
            fields << part.toString();
        return fields;
    }
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    fields << field;
    return fields;
}

std::optional<UnionCode> unitCodeOf(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.size() != 12)
        return std::nullopt;
    for (const QChar c : trimmed)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const UnionCode code = trimmed.toLongLong();
    if (code < SmallestUnionCode)
        return std::nullopt;
    return code;
}

// Checks what every source of a roster must satisfy; returns the fault or an empty text.
QString unitFault(const records::RosterUnit& unit, const std::vector<qint64>& divisions) {
    if (unit.name.isEmpty())
        return QStringLiteral("单位名称为空");
    // A character takes at most two bytes in GBK, so only long names need measuring.
    if (unit.name.size() > NameBytes / 2 && gbkLength(unit.name) > NameBytes)
        return QStringLiteral("单位名称超过%1个字节").arg(NameBytes);
    if (!records::isKnownDivision(divisions, unit.division))
        return QStringLiteral("行政区划代码 %1 不在行政区划代码表中").arg(unit.division);
    return QString();
}

// The codes seen so far, each with where it was first seen (a line, or 0 for a database row).
using SeenCodes = std::unordered_map<UnionCode, int>;

// Notes a code; returns the fault when it was seen before.
QString repeatFault(SeenCodes& seen, UnionCode code, int line) {
    const auto [found, added] = seen.emplace(code, line);
    if (added)
        return QString();
    const QString first =
        found->second > 0 ? QStringLiteral("第%1行").arg(found->second) : QStringLiteral("前面的记录");
    return QStringLiteral("统计编码 %1 重复（与%2相同）").arg(unionCodeText(code), first);
}

// Reads one line of a roster CSV into the units; returns the fault or an empty text.
QString readCsvUnit(QStringView line, int number, const std::vector<qint64>& divisions, SeenCodes& seen,
                    std::vector<records::RosterUnit>& units) {
    const std::optional<QStringList> fields = splitCsvLine(line);
    if (!fields || fields->size() != 3)
        return QStringLiteral("应有3列（编码、名称、行政区划代码）");
    const std::optional<UnionCode> code = unitCodeOf(fields->at(0));
    if (!code)
        return QStringLiteral("统计编码“%1”应是12位数字").arg(fields->at(0));
    bool divisionOk = false;
    const qint64 division = fields->at(2).trimmed().toLongLong(&divisionOk);
    if (!divisionOk)
        return QStringLiteral("行政区划代码“%1”不是数字").arg(fields->at(2));
    records::RosterUnit unit{*code, fields->at(1).trimmed(), division, QString()};
    QString fault = repeatFault(seen, unit.code, number);
    if (fault.isEmpty())
        fault = unitFault(unit, divisions);
    if (fault.isEmpty())
        units.push_back(std::move(unit));
    return fault;
}

// A letter and two digits, as records carry their category ("A01", "Z00").
bool isSubCategoryCode(const QString& code) {
    return code.size() == 3 && code.at(0) >= QLatin1Char('A') && code.at(0) <= QLatin1Char('Z') &&
           code.at(1).isDigit() && code.at(2).isDigit();
}

bool looksLikeDatabase(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("dat") || suffix == QLatin1String("mdb"))
        return true;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("不能读取文件“%1”：%2").arg(path, fileFailureReason(file)));
    return file.readAll();
}

std::vector<QString> domainCodes(engine::Connection& connection) {
    std::vector<QString> codes;
    engine::Statement statement(
        connection, QStringLiteral("select ID from %1 order by ID").arg(records::CodeTable::UnionDomain));
    while (statement.step())
        codes.push_back(statement.text(0));
    return codes;
}

std::vector<records::RosterUnit> readAttachedRoster(engine::Connection& connection,
                                                    const QString& shownName) {
    if (!connection.tableExists(QStringLiteral("dt_data"), RosterAlias))
        throw Error(FileHasNoDataTable);
    const std::vector<qint64> divisions = records::divisionCodes(connection);
    const std::vector<QString> domains = domainCodes(connection);
    std::vector<records::RosterUnit> units;
    QStringList faults;
    SeenCodes seen;
    engine::Statement statement(
        connection,
        QStringLiteral("select c901, c902, c903, c907 from %1.dt_data order by c901").arg(RosterAlias));
    underWorkLimit(connection, databaseFileOf(connection, RosterAlias), shownName, [&] {
        while (statement.step()) {
            const std::optional<UnionCode> code = statement.code(0);
            if (!code || *code < SmallestUnionCode || *code > LargestUnionCode) {
                faults << QStringLiteral("编号 %1：统计编码应是12位数字").arg(statement.text(0));
                continue;
            }
            records::RosterUnit unit{*code, statement.text(1).trimmed(), statement.integer(2),
                                     statement.text(3).trimmed()};
            // A category the code table lacks is left out: the unit then counts where its return says.
            if (!isSubCategoryCode(unit.domain) ||
                !std::binary_search(domains.begin(), domains.end(), unit.domain))
                unit.domain.clear();
            QString fault = repeatFault(seen, unit.code, 0);
            if (fault.isEmpty())
                fault = unitFault(unit, divisions);
            if (!fault.isEmpty())
                faults << QStringLiteral("编号 %1：%2").arg(unionCodeText(unit.code), fault);
            else
                units.push_back(std::move(unit));
        }
    });
    if (!faults.isEmpty())
        throw RosterRefused(faults);
    return units;
}

std::vector<records::RosterUnit> readDatabaseRoster(engine::Connection& connection, const QString& path) {
    const QString copy = makeTempFileName(QStringLiteral("~RS"));
    struct RemoveCopy {
        QString path;
        ~RemoveCopy() { QFile::remove(path); }
    } removeCopy{copy};
    const QString openPath = prepareDataFileCopy(path, copy);
    std::optional<engine::Attachment> attachment;
    if (!attachReceivedFile(connection, openPath, RosterAlias, attachment))
        throw Error(UnreadableFileMessage);
    const QString shownName = QFileInfo(path).fileName();
    try {
        // A damaged or doctored file is refused as the data import refuses it.
        vetReceivedDatabase(connection, RosterAlias, shownName);
    } catch (const EngineError& error) {
        throw Error(error.text());
    }
    return readAttachedRoster(connection, shownName);
}

} // namespace

QString RosterRefused::messageFor(const QStringList& faults) {
    QStringList lines{QStringLiteral("名单有误，未导入：")};
    lines << faults.mid(0, ShownFaults);
    if (faults.size() > ShownFaults)
        lines << QStringLiteral("……共 %1 处错误。").arg(faults.size());
    return lines.join(QLatin1Char('\n'));
}

std::vector<records::RosterUnit> parseRosterCsv(const QByteArray& bytes,
                                                const std::vector<qint64>& divisions) {
    const QString text = decodeText(bytes);
    const QStringView all(text);
    std::vector<records::RosterUnit> units;
    QStringList faults;
    SeenCodes seen;
    qsizetype from = 0;
    for (int number = 1; from < all.size() || number == 1; ++number) {
        qsizetype end = all.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = all.size();
        QStringView line = all.mid(from, end - from);
        from = end + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (number == 1) {
            if (line.toString().remove(QLatin1Char(' ')).compare(RosterCsvHeader, Qt::CaseInsensitive) != 0)
                throw RosterRefused({QStringLiteral("第1行：表头应为“%1”").arg(RosterCsvHeader)});
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        const QString fault = readCsvUnit(line, number, divisions, seen, units);
        if (!fault.isEmpty())
            faults << QStringLiteral("第%1行：%2").arg(number).arg(fault);
    }
    if (!faults.isEmpty())
        throw RosterRefused(faults);
    return units;
}

std::vector<records::RosterUnit> readRosterFile(engine::Connection& connection, const QString& path) {
    if (!QFileInfo(path).isFile())
        throw FileError(FileMissingMessage);
    if (looksLikeDatabase(path))
        return readDatabaseRoster(connection, path);
    return parseRosterCsv(readWholeFile(path), records::divisionCodes(connection));
}

qint64 importRoster(engine::Connection& connection, const QString& path) {
    const std::vector<records::RosterUnit> units = readRosterFile(connection, path);
    records::replaceRoster(connection, units);
    return qint64(units.size());
}

} // namespace corvalis::exchange
