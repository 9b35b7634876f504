#include "TestFolder.h"

#include "records/ShippedDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#ifndef CORVALIS_TEST_DATA_DIR
#define CORVALIS_TEST_DATA_DIR ""
#endif

namespace corvalis::testing {

namespace {
QTemporaryDir& masterDir() {
    static QTemporaryDir dir;
    return dir;
}

void copyOrThrow(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw std::runtime_error("cannot copy test database");
    QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner | QFile::ReadOwner);
}
} // namespace

QString shippedDatabaseMaster() {
    static const QString path = [] {
        const QString p = masterDir().filePath(QStringLiteral("master.mdb"));
        records::createShippedDatabase(p);
        return p;
    }();
    return path;
}

QString dataFileTemplateMaster() {
    static const QString path = [] {
        const QString p = masterDir().filePath(QStringLiteral("view.dll"));
        records::createDataFileTemplate(p);
        return p;
    }();
    return path;
}

QString fixturePath(const QString& name) {
    return QStringLiteral(CORVALIS_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

TestFolder::TestFolder(bool withDatabase, bool withTemplate) : m_folder(m_dir.path()) {
    if (withDatabase)
        copyOrThrow(shippedDatabaseMaster(), m_folder.defaultDatabase());
    if (withTemplate)
        copyOrThrow(dataFileTemplateMaster(), m_folder.dataFileTemplate());
}

QString TestFolder::makeDatabase(const QString& name) const {
    const QString path = m_folder.file(name);
    copyOrThrow(shippedDatabaseMaster(), path);
    return path;
}

} // namespace corvalis::testing
