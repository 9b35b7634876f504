#include "FileOps.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cstdio>

namespace corvalis {

namespace {
constexpr qint64 ChunkSize = 1 << 20;

template <typename Target> void copyInto(QFile& source, Target& target, const QString& destination) {
    QByteArray chunk;
    while (!source.atEnd()) {
        chunk = source.read(ChunkSize);
        if (chunk.isEmpty() && source.error() != QFile::NoError)
            throw FileError(
                QStringLiteral("读取文件“%1”时出错：%2").arg(source.fileName(), source.errorString()));
        if (target.write(chunk) != chunk.size())
            throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(destination, target.errorString()));
    }
}

void openSource(QFile& source) {
    if (!source.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2").arg(source.fileName(), source.errorString()));
}
} // namespace

void copyFileContents(const QString& source, const QString& destination) {
    QFile from(source);
    openSource(from);
    QFile to(destination);
    if (!to.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(destination, to.errorString()));
    copyInto(from, to, destination);
    if (!to.flush())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(destination, to.errorString()));
}

void replaceFileContents(const QString& source, const QString& destination) {
    QFile from(source);
    openSource(from);
    QSaveFile to(destination);
    if (!to.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(destination, to.errorString()));
    copyInto(from, to, destination);
    if (!to.commit())
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(destination, to.errorString()));
}

bool moveIntoPlace(const QString& finished, const QString& target) {
    if (std::rename(QFile::encodeName(finished).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    QFile::remove(finished);
    return false;
}

QString tempFolder() {
    return QDir::tempPath();
}

QString makeTempFileName(const QString& prefix) {
    QTemporaryFile file(tempFolder() + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX.tmp"));
    file.setAutoRemove(true);
    if (!file.open())
        throw FileError(QStringLiteral("无法在临时文件夹中创建文件：%1").arg(file.errorString()));
    return file.fileName(); // removed when `file` goes out of scope
}

QString safeFileNamePart(const QString& text) {
    QString result = text;
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : result)
        if (forbidden.contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    return result;
}

} // namespace corvalis
