#include "DataFile.h"

#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <QFile>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

// The first 16 bytes of the file signature written for the second head form.
const QByteArray& signatureHead() {
    static const QByteArray head("SQLite format 3\0", 16);
    return head;
}

void openForUpdate(QFile& file) {
    if (!file.open(QIODevice::ReadWrite))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(file.fileName(), file.errorString()));
}

void writeHead(QFile& file, const QByteArray& head) {
    if (!file.seek(0) || file.write(head) != head.size() || !file.flush())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(file.fileName(), file.errorString()));
}

QString canonicalOrAbsolute(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

unsigned char scrambleByte(unsigned char plain) {
    return static_cast<unsigned char>(((plain + 2) & 0xFF) ^ 0x07);
}

unsigned char unscrambleByte(unsigned char scrambled) {
    return static_cast<unsigned char>(((scrambled ^ 0x07) - 2) & 0xFF);
}

void scrambleDataFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return;
    QFile file(path);
    openForUpdate(file);
    QByteArray head = file.read(ScrambledHeadSize);
    for (char& byte : head)
        byte = char(scrambleByte(static_cast<unsigned char>(byte)));
    writeHead(file, head);
}

void unscrambleDataFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return;
    QFile file(path);
    openForUpdate(file);
    QByteArray head = file.read(ScrambledHeadSize);
    if (head.isEmpty())
        return;
    const auto first = static_cast<unsigned char>(head.at(0));
    if (first == ScrambledFirstByte) {
        for (char& byte : head)
            byte = char(unscrambleByte(static_cast<unsigned char>(byte)));
        writeHead(file, head);
    } else if (first == SignatureFormFirstByte) {
        writeHead(file, signatureHead().left(int(qMin<qint64>(signatureHead().size(), file.size()))));
    }
}

int firstByteOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    char byte = 0;
    if (file.read(&byte, 1) != 1)
        return -1;
    return static_cast<unsigned char>(byte);
}

bool isSameFile(const QString& a, const QString& b) {
    return canonicalOrAbsolute(a) == canonicalOrAbsolute(b);
}

bool tooShortForDataFile(const QString& path) {
    return QFileInfo(path).size() < ScrambledHeadSize;
}

QString prepareDataFileCopy(const QString& chosenPath, const QString& copyPath) {
    if (firstByteOf(chosenPath) == PlainFirstByte)
        return chosenPath;
    if (isSameFile(chosenPath, copyPath))
        throw FileError(QStringLiteral("不能把文件“%1”复制到它自己。").arg(chosenPath));
    copyFileContents(chosenPath, copyPath);
    unscrambleDataFile(copyPath);
    return copyPath;
}

QString workingCopyPath(const ProgramFolder& folder, const QString& chosenPath, const QString& openDatabase) {
    QString candidate = folder.workingCopy();
    for (int n = 1; isSameFile(candidate, chosenPath) ||
                    (!openDatabase.isEmpty() && isSameFile(candidate, openDatabase));
         ++n)
        candidate = folder.file(QStringLiteral("temp-%1.dat").arg(n));
    return candidate;
}

QString withExtensionIfLong(const QString& name, const QString& extension) {
    if (name.size() > 4 && !name.endsWith(extension, Qt::CaseSensitive))
        return name + extension;
    return name;
}

QString withExtension(const QString& name, const QString& extension) {
    if (name.size() < 5 || !name.endsWith(extension, Qt::CaseSensitive))
        return name + extension;
    return name;
}

QStringList tableColumns(engine::Connection& connection, const QString& table, const QString& schema) {
    engine::Statement statement(connection,
                                QStringLiteral("select name from pragma_table_info(?1, ?2) order by cid"));
    statement.bind(1, table);
    statement.bind(2, schema);
    QStringList columns;
    while (statement.step())
        columns << statement.text(0).toLower();
    return columns;
}

bool sameRecordLayout(engine::Connection& connection, const QString& alias) {
    const QStringList own = tableColumns(connection, QStringLiteral("dt_data"));
    return !own.isEmpty() && own == tableColumns(connection, QStringLiteral("dt_data"), alias);
}

} // namespace corvalis::exchange
