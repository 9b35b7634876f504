#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace corvalis {

ProgramFolder::ProgramFolder(const QString& path) : m_path(QDir::cleanPath(QDir(path).absolutePath())) {}

namespace {
bool isWritableFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

bool sameContents(const QString& a, const QString& b) {
    QFile first(a), second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) ||
        first.size() != second.size())
        return false;
    return first.readAll() == second.readAll();
}

QString installedDataFolder(const QString& executableFolder) {
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/corvalis-survey"));
}
} // namespace

ProgramFolder ProgramFolder::resolve(const QString& explicitHome) {
    if (!explicitHome.isEmpty())
        return ProgramFolder(explicitHome);
    const QString fromEnvironment = qEnvironmentVariable("CORVALIS_HOME");
    if (!fromEnvironment.isEmpty())
        return ProgramFolder(fromEnvironment);
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString shared = installedDataFolder(executableFolder);
    const bool installed = QFileInfo(shared + QLatin1Char('/') + DataFileTemplateName).exists();
    if (!installed && isWritableFolder(executableFolder))
        return ProgramFolder(executableFolder);
    // An installed program keeps its working files in a folder of the user's own.
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/corvalis-survey");
    ProgramFolder folder(perUser);
    QDir().mkpath(perUser);
    if (installed)
        folder.fillMissingFrom(shared);
    return folder;
}

QString ProgramFolder::file(const QString& name) const {
    return m_path + QLatin1Char('/') + name;
}

QString ProgramFolder::defaultDatabase() const {
    return file(DefaultDatabaseName);
}

QString ProgramFolder::dataFileTemplate() const {
    return file(DataFileTemplateName);
}

QString ProgramFolder::workingCopy() const {
    return file(WorkingCopyName);
}

QString ProgramFolder::notesFolder() const {
    return file(QStringLiteral("notes"));
}

void ProgramFolder::fillMissingFrom(const QString& source) const {
    const QDir from(source);
    QDirIterator it(source, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString original = it.next();
        const QString target = file(from.relativeFilePath(original));
        // Layout descriptions belong to the program and follow its version; lists and databases
        // belong to the user once they exist.
        const bool programOwned = original.endsWith(QLatin1String(".json"));
        if (QFileInfo::exists(target) && !(programOwned && !sameContents(original, target)))
            continue;
        if (programOwned)
            QFile::remove(target);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFile::copy(original, target))
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
}

} // namespace corvalis
