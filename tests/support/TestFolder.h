#pragma once

#include "app/ProgramFolder.h"

#include <QString>
#include <QTemporaryDir>

namespace corvalis::testing {

// A program folder of a test's own in a temporary directory, with a fresh copy of the shipped
// database (built once per test program and copied, which is much quicker than building it again).
class TestFolder {
public:
    // withDatabase: put the default database into the folder; withTemplate: also the data-file template.
    explicit TestFolder(bool withDatabase = true, bool withTemplate = false);

    const ProgramFolder& folder() const { return m_folder; }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_folder.file(name); }
    QString defaultDatabase() const { return m_folder.defaultDatabase(); }
    // A fresh copy of the shipped database at another path in the folder.
    QString makeDatabase(const QString& name) const;

private:
    QTemporaryDir m_dir;
    ProgramFolder m_folder;
};

// The path of the shipped database built once for this test program.
QString shippedDatabaseMaster();
// The path of the data-file template built once for this test program.
QString dataFileTemplateMaster();
// A copy of a file in tests/data/ at a path of the caller's choice.
QString fixturePath(const QString& name);

} // namespace corvalis::testing
