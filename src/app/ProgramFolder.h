#pragma once

#include <QString>

namespace corvalis {

// The folder that holds the default database, the data-file template, the layout descriptions, the
// page notes, the list files and the working copy of a received file.
class ProgramFolder {
public:
    ProgramFolder() = default;
    explicit ProgramFolder(const QString& path);

    // --home wins, then the environment variable CORVALIS_HOME, then the executable's folder when it
    // is writable; an installed program uses a per-user folder filled on first start.
    static ProgramFolder resolve(const QString& explicitHome = QString());

    const QString& path() const { return m_path; }
    bool isValid() const { return !m_path.isEmpty(); }
    QString file(const QString& name) const;

    QString defaultDatabase() const;
    QString dataFileTemplate() const;
    QString workingCopy() const;
    QString notesFolder() const;

    // Copies every file of the source tree that the folder lacks; existing files are kept, except layout
    // descriptions (.json), which are renewed when the program ships another version of them.
    void fillMissingFrom(const QString& source) const;

private:
    QString m_path;
};

inline const QString DefaultDatabaseName = QStringLiteral("2020NB_vq_20200819.mdb");
inline const QString DataFileTemplateName = QStringLiteral("view.dll");
inline const QString WorkingCopyName = QStringLiteral("temp.dat");

} // namespace corvalis
