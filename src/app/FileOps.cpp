#include "FileOps.h"

#include "Errors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalis {

QString fileFailureReason(const QFileDevice& file) {
    const QString qtText = file.errorString();
    const auto is = [&](int code) { return qtText == QString::fromLocal8Bit(std::strerror(code)); };
    if (is(ENOSPC) || is(EDQUOT))
        return QStringLiteral("磁盘空间不足");
    if (is(EROFS))
        return QStringLiteral("文件所在的磁盘是只读的");
    if (is(EACCES) || is(EPERM))
        return QStringLiteral("没有写入这个文件或其所在文件夹的权限（文件或文件夹是只读的）");
    return qtText;
}

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
            throw FileError(
                QStringLiteral("写入文件“%1”时出错：%2").arg(destination, fileFailureReason(target)));
    }
}

// Copies what is left of the source in the kernel, without a trip of the bytes through the program;
// returns the bytes copied. Stops at the first refusal (another file system, an old kernel, a full
// disk): the caller copies the rest itself and reports what fails then.
qint64 copyInKernel(QFile& source, QFile& target) {
    qint64 copied = 0;
    for (;;) {
        const ssize_t bytes =
            ::copy_file_range(source.handle(), nullptr, target.handle(), nullptr, 64 * ChunkSize, 0);
        if (bytes <= 0)
            return copied;
        copied += bytes;
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
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(destination, fileFailureReason(to)));
    const qint64 copied = copyInKernel(from, to);
    if (copied > 0 && (!from.seek(copied) || !to.seek(copied)))
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(destination, fileFailureReason(to)));
    copyInto(from, to, destination);
    if (!to.flush())
        throw FileError(QStringLiteral("写入文件“%1”时出错：%2").arg(destination, fileFailureReason(to)));
}

void replaceFileContents(const QString& source, const QString& destination) {
    QFile from(source);
    openSource(from);
    QSaveFile to(destination);
    if (!to.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件“%1”：%2").arg(destination, fileFailureReason(to)));
    copyInto(from, to, destination);
    if (!to.commit())
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(destination, fileFailureReason(to)));
}

bool moveIntoPlace(const QString& finished, const QString& target) {
    if (std::rename(QFile::encodeName(finished).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    QFile::remove(finished);
    return false;
}

namespace {

const QString TempFolderPrefix = QStringLiteral("corvalis-survey-");

QString userName() {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name && *entry->pw_name)
        return safeFileNamePart(QString::fromLocal8Bit(entry->pw_name));
    return QString::number(::geteuid());
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString tempFolder() {
    const QString path = QDir::tempPath() + QLatin1Char('/') + TempFolderPrefix + userName();
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        throw FileError(QStringLiteral("无法创建临时文件夹“%1”：%2").arg(path, systemError()));
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        throw FileError(QStringLiteral("无法使用临时文件夹“%1”：%2").arg(path, systemError()));
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        throw FileError(QStringLiteral("临时文件夹“%1”不是当前用户自己的文件夹（可能是链接或属于其他用户），"
                                       "为安全起见不使用它。请删除它后再试。")
                            .arg(path));
    if ((info.st_mode & 07777) != 0700 && ::chmod(name.constData(), 0700) != 0)
        throw FileError(QStringLiteral("无法设置临时文件夹“%1”的权限：%2").arg(path, systemError()));
    return path;
}

bool isInTempFolder(const QString& path) {
    const QString folder = QDir::tempPath() + QLatin1Char('/') + TempFolderPrefix + userName();
    return QFileInfo(path).absolutePath() == folder;
}

void restrictToOwner(const QString& path) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

FileClaim::FileClaim(const QString& path) {
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const QString reason = systemError();
        if (m_fd >= 0)
            ::close(m_fd);
        throw FileError(QStringLiteral("无法锁定文件“%1”：%2").arg(path, reason));
    }
}

FileClaim::~FileClaim() {
    ::close(m_fd);
}

int removeUnclaimedFiles(const QString& folder, const QString& pattern, const QStringList& sideSuffixes) {
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A file whose lock is free belongs to no running program.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && QFile::remove(path)) {
            ++removed;
            for (const QString& suffix : sideSuffixes)
                QFile::remove(path + suffix);
        }
        ::close(fd);
    }
    return removed;
}

LockedTempFile::LockedTempFile(const QString& prefix) {
    QTemporaryFile file(tempFolder() + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX.tmp"));
    file.setAutoRemove(false);
    if (!file.open())
        throw FileError(QStringLiteral("无法在临时文件夹中创建文件：%1").arg(file.errorString()));
    m_path = file.fileName();
    file.close();
    try {
        m_claim.emplace(m_path);
    } catch (...) {
        QFile::remove(m_path);
        throw;
    }
}

LockedTempFile::~LockedTempFile() {
    QFile::remove(m_path);
}

int removeStaleTempFiles(const QString& prefix) {
    return removeUnclaimedFiles(tempFolder(), prefix + QStringLiteral("*.tmp"), {QStringLiteral("-journal")});
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

int fileNameBytes(const QString& name) {
    return int(QFile::encodeName(name).size());
}

QString fitFileNamePart(const QString& text, int maxBytes) {
    if (fileNameBytes(text) <= maxBytes)
        return text;
    const QString mark =
        QStringLiteral("…") +
        QString::fromLatin1(
            QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    const int room = maxBytes - fileNameBytes(mark);
    QString head;
    for (int i = 0; i < text.size();) {
        const int step = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString next = text.mid(i, step);
        if (fileNameBytes(head + next) > room)
            break;
        head += next;
        i += step;
    }
    return head + mark;
}

} // namespace corvalis
