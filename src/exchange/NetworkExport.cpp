#include "NetworkExport.h"

#include "DataFile.h"
#include "ReportExport.h"

#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/Settings.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <openssl/evp.h>
#include <string>

namespace corvalis::exchange {

namespace {

constexpr int BlockSize = 16;
constexpr int LengthSize = 8;

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const noexcept { EVP_CIPHER_CTX_free(context); }
};

QByteArray keyBytes(const QString& key) {
    QByteArray bytes = key.toLatin1().left(BlockSize);
    bytes.append(QByteArray(BlockSize - bytes.size(), '\0'));
    return bytes;
}

// Runs AES-128-ECB without padding over whole blocks.
QByteArray runAes(const QByteArray& blocks, const QString& key, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    const QByteArray k = keyBytes(key);
    QByteArray out(blocks.size() + BlockSize, Qt::Uninitialized);
    int written = 0, last = 0;
    const auto* keyData = reinterpret_cast<const unsigned char*>(k.constData());
    auto* output = reinterpret_cast<unsigned char*>(out.data());
    if (!context ||
        EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, keyData, nullptr, encrypt ? 1 : 0) !=
            1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1 ||
        EVP_CipherUpdate(context.get(), output, &written,
                         reinterpret_cast<const unsigned char*>(blocks.constData()),
                         int(blocks.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), output + written, &last) != 1)
        throw FileError(QStringLiteral("AES 加密运算失败。"));
    out.truncate(written + last);
    return out;
}

constexpr qint64 ChunkSize = 1 << 20; // a multiple of the block size

void openForReading(QFile& file) {
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(file.fileName(), file.errorString()));
}

void openForWriting(QSaveFile& file) {
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(file.fileName(), file.errorString()));
}

QByteArray readChunk(QFile& file) {
    const QByteArray chunk = file.read(ChunkSize);
    if (file.error() != QFile::NoError)
        throw FileError(QStringLiteral("读取文件“%1”时出错：%2").arg(file.fileName(), file.errorString()));
    return chunk;
}

void writeBytes(QSaveFile& file, const QByteArray& bytes) {
    if (file.write(bytes) != bytes.size())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(file.fileName(), file.errorString()));
}

void commit(QSaveFile& file) {
    if (!file.commit())
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(file.fileName(), file.errorString()));
}

// How a field's value is written, decided once per export from the dictionary.
enum class ValueKind { Whole, Text, General };

ValueKind kindOf(const ExportField& field) {
    // The state column carries each record's own state.
    if (field.name.compare(QLatin1String("RecordState"), Qt::CaseInsensitive) == 0)
        return ValueKind::Whole;
    switch (field.queryType) {
    case 0:
    case 3:
        return ValueKind::Whole;
    case 2:
        return ValueKind::General;
    default:
        return ValueKind::Text;
    }
}

// The line is built in GBK bytes: numbers are ASCII, and only texts need converting.
void appendNumber(std::string& line, qint64 number) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, number);
    line.append(digits, size_t(written.ptr - digits));
}

// A whole number through 64 bits, so that 12-digit codes keep every digit; a fraction is rounded.
void appendWhole(std::string& line, const QVariant& value) {
    if (value.isNull()) {
        line += '0';
        return;
    }
    if (value.typeId() == QMetaType::LongLong) {
        appendNumber(line, value.toLongLong());
        return;
    }
    const double rounded = std::round(engine::floatOf(value));
    if (!std::isfinite(rounded) || std::fabs(rounded) > 9.2e18)
        line += engine::formatGeneral(rounded).toStdString();
    else
        appendNumber(line, qint64(rounded));
}

// Whether a whole number has at most 15 digits; asked without negating, which the most negative
// 64-bit number does not survive.
bool fitsFifteenDigits(qint64 number) {
    return number > -1000000000000000LL && number < 1000000000000000LL;
}

void appendGeneral(std::string& line, const QVariant& value) {
    if (value.isNull())
        line += '0';
    else if (value.typeId() == QMetaType::LongLong && fitsFifteenDigits(value.toLongLong()))
        appendNumber(line, value.toLongLong());
    else
        line += engine::formatGeneral(engine::floatOf(value)).toStdString();
}

// Returns the number of characters GBK could not hold.
int appendText(std::string& line, const QVariant& value, qint64* controls) {
    // Commas and line breaks would split the line; the full-width hyphen is the one the receiving
    // system cannot read.
    QString text = controlsAsBlanks(engine::textOf(value), controls);
    if (text.contains(QLatin1Char(',')))
        text.replace(QLatin1Char(','), QChar(0xFF0C));
    else if (text.contains(QChar(0xFF0D)))
        text.replace(QChar(0xFF0D), QLatin1Char('-'));
    int unencodable = 0;
    const QByteArray encoded = toGbk(text, &unencodable);
    line.append(encoded.constData(), size_t(encoded.size()));
    return unencodable;
}

void appendValue(std::string& line, const QVariant& value, ValueKind kind) {
    switch (kind) {
    case ValueKind::Whole:
        appendWhole(line, value);
        break;
    case ValueKind::General:
        appendGeneral(line, value);
        break;
    case ValueKind::Text:
        appendText(line, value, nullptr);
        break;
    }
    line += ',';
}

// A value stored as a whole number, written as appendValue writes it but without a variant or a
// temporary string: most of the export's values take this way.
void appendStoredInteger(std::string& line, qint64 number, ValueKind kind) {
    if (kind == ValueKind::General && !fitsFifteenDigits(number))
        line += engine::formatGeneral(double(number)).toStdString();
    else
        appendNumber(line, number);
    line += ',';
}

} // namespace

QString deriveExportKey() {
    static const QString base = QStringLiteral("Tq5Lw8Hn3Rc6Vx2J");
    static const Substitution table[16] = {
        {'T', 'g'}, {'5', 'M'}, {'w', '7'}, {'H', 'a'}, {'3', 'Y'}, {'c', 'K'}, {'V', '4'}, {'2', 'e'},
        {'q', 'P'}, {'L', '9'}, {'8', 'u'}, {'n', 'B'}, {'R', '1'}, {'6', 's'}, {'x', 'D'}, {'J', 'z'}};
    static const int swaps[2][2] = {{1, 14}, {6, 9}};
    return deriveFromBase(base, table, 16, swaps, 2);
}

QByteArray encryptAes128(const QByteArray& plain, const QString& key) {
    QByteArray blocks = plain;
    if (blocks.size() % BlockSize != 0)
        blocks.append(QByteArray(BlockSize - blocks.size() % BlockSize, '\0'));
    return runAes(blocks, key, true);
}

QByteArray decryptAes128(const QByteArray& cipher, const QString& key) {
    if (cipher.size() % BlockSize != 0)
        throw FileError(QStringLiteral("加密数据的长度不是 16 字节的整数倍。"));
    return runAes(cipher, key, false);
}

void encryptFileAes128(const QString& source, const QString& target, const QString& key) {
    QFile in(source);
    openForReading(in);
    QSaveFile out(target);
    openForWriting(out);
    char length[LengthSize];
    qToLittleEndian<qint64>(in.size(), length);
    writeBytes(out, QByteArray(length, LengthSize));
    // Whole blocks a chunk at a time, so the file never has to fit into memory.
    while (!in.atEnd()) {
        const QByteArray chunk = readChunk(in);
        if (chunk.isEmpty())
            break;
        writeBytes(out, encryptAes128(chunk, key));
    }
    commit(out);
}

void decryptFileAes128(const QString& source, const QString& target, const QString& key) {
    QFile in(source);
    openForReading(in);
    char head[LengthSize];
    const qint64 blocks = in.size() - LengthSize;
    const qint64 length = in.read(head, LengthSize) == LengthSize ? qFromLittleEndian<qint64>(head) : -1;
    if (length < 0 || blocks < 0 || blocks % BlockSize != 0 || length > blocks ||
        blocks - length >= BlockSize)
        throw FileError(QStringLiteral("文件“%1”不是有效的网络版数据文件。").arg(source));
    QSaveFile out(target);
    openForWriting(out);
    qint64 remaining = length;
    while (remaining > 0) {
        const QByteArray chunk = readChunk(in);
        if (chunk.isEmpty())
            throw FileError(QStringLiteral("读取文件“%1”时出错：%2").arg(source, in.errorString()));
        const QByteArray plain = decryptAes128(chunk, key);
        writeBytes(out, plain.left(int(qMin<qint64>(remaining, plain.size()))));
        remaining -= plain.size();
    }
    commit(out);
}

std::vector<ExportField> networkExportFields(engine::Connection& connection) {
    engine::Statement statement(connection,
                                QStringLiteral("select fieldName,QueryType from dt_fieldlist where "
                                               "sequence>0 and sequence<1000 order by sequence"));
    std::vector<ExportField> fields;
    while (statement.step())
        fields.push_back({statement.text(0), statement.isNull(1) ? -1 : int(statement.integer(1))});
    return fields;
}

QString lossyTextQuestion(const QStringList& places) {
    constexpr int Shown = 20;
    QString text = QStringLiteral("以下记录的文字中有GBK编码不能表示的字符，导出的文件中将写成“?”"
                                  "（统计编码 列名，共%1处）：\n")
                       .arg(places.size());
    text += places.mid(0, Shown).join(QLatin1Char('\n'));
    if (places.size() > Shown)
        text += QStringLiteral("\n……");
    return text + QStringLiteral("\n是否继续导出？");
}

qint64 writeNetworkText(engine::Connection& connection, const QString& path, ProgressReporter* progress,
                        TextChanges* changes) {
    const std::vector<ExportField> fields = networkExportFields(connection);
    GbkTextWriter writer(path);
    QString header;
    for (const ExportField& field : fields)
        header += field.name + QLatin1Char(',');
    writer.writeLine(header);

    engine::Statement rows(connection, QStringLiteral("select * from dt_data order by c901 asc"));
    std::vector<int> columns;
    std::vector<ValueKind> kinds;
    for (const ExportField& field : fields) {
        const int column = rows.columnIndex(field.name);
        if (column < 0)
            throw EngineError(QStringLiteral("在集合中找不到与请求的名称“%1”对应的项目。").arg(field.name));
        columns.push_back(column);
        kinds.push_back(kindOf(field));
    }
    const int code = rows.columnIndex(QStringLiteral("c901"));
    qint64 written = 0;
    std::string line;
    qint64 number = 0;
    TextChanges unused;
    TextChanges& changed = changes ? *changes : unused;
    while (rows.step()) {
        line.clear();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (kinds[i] == ValueKind::Text) {
                if (appendText(line, rows.value(columns[i]), &changed.controlsReplaced) > 0)
                    changed.lossyPlaces << (code < 0 ? QString() : engine::codeTextOf(rows.value(code))) +
                                               QLatin1Char(' ') + fields[i].name;
                line += ',';
            } else if (rows.storedInteger(columns[i], number)) {
                appendStoredInteger(line, number, kinds[i]);
            } else {
                appendValue(line, rows.value(columns[i]), kinds[i]);
            }
        }
        writer.writeEncodedLine(QByteArrayView(line.data(), qsizetype(line.size())));
        ++written;
        if (progress && written % 1000 == 0) {
            progress->setDone(written);
            progress->setCaption(QStringLiteral("导出上报数据...%1%").arg(progress->percent()));
        }
    }
    writer.close();
    return written;
}

namespace {
const QString NetworkTextPrefix = QStringLiteral("~NT");
} // namespace

NetworkExportNames networkExportNames(const QString& name) {
    const QString temp = QStringLiteral("temp.dat");
    if (name.size() <= 4)
        return {name + QStringLiteral(".dat"), name + temp};
    if (!name.endsWith(QLatin1String(".dat"), Qt::CaseSensitive)) {
        const QString target = name + QStringLiteral(".dat");
        return {target, target + temp};
    }
    return {name, name.left(name.size() - 4) + temp};
}

bool exportNetworkFileTo(DbSession& session, UiServices& ui, const QString& chosen) {
    const NetworkExportNames names = networkExportNames(chosen);
    for (const QString& path : {names.target, names.temporary}) {
        if (isSameFile(path, session.path()) ||
            isSameFile(path, session.programFolder().dataFileTemplate())) {
            ui.showMessage(QStringLiteral("不能用导出文件覆盖文件“%1”。").arg(path), QString(),
                           MessageIcon::Warning);
            return false;
        }
    }
    engine::Connection& db = session.connection();
    ProgressReporter& progress = ui.progress();
    const qint64 total = db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong();
    progress.start(QStringLiteral("导出上报数据..."), qMax<qint64>(total, 1), 1, false);
    // The plain text lives in the user's own temporary folder, claimed while the export runs; the
    // plain texts of exports killed before (and any left beside an earlier target) go first.
    QFile::remove(names.temporary);
    removeStaleTempFiles(NetworkTextPrefix);
    TextChanges changes;
    try {
        const LockedTempFile plainText(NetworkTextPrefix);
        writeNetworkText(db, plainText.path(), &progress, &changes);
        // The target is written only once the user has seen which texts would lose characters.
        if (!changes.lossyPlaces.isEmpty()) {
            progress.finish();
            if (!ui.askYesNo(lossyTextQuestion(changes.lossyPlaces), QStringLiteral("提示："),
                             MessageIcon::Warning, false))
                return false;
        }
        encryptFileAes128(plainText.path(), names.target, deriveExportKey());
    } catch (...) {
        progress.finish();
        throw;
    }
    progress.finish();
    QString done = QStringLiteral("导出上报数据成功");
    if (changes.controlsReplaced > 0)
        done += QStringLiteral("\n文字中的%1个换行符或控制字符已替换为空格。").arg(changes.controlsReplaced);
    ui.showMessage(done);
    return true;
}

bool exportNetworkFile(DbSession& session, UiServices& ui, const Clock& clock) {
    if (!readyForReport(session, ui, NetworkRefusal))
        return false;
    const QString documents = Settings::documentsFolder();
    QDir().mkpath(documents);
    const FileRequest request{
        QStringLiteral("导出文件存放为"), QStringLiteral("dat文件(*.dat)|*.dat"), 1, documents,
        clock.today().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("(网络版)")};
    const std::optional<FileChoice> choice = ui.chooseSaveFile(request);
    if (!choice || choice->path.trimmed().isEmpty())
        return false;
    return exportNetworkFileTo(session, ui, choice->path.trimmed());
}

} // namespace corvalis::exchange
