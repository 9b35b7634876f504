#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvalis {

// Why a file could not be created or written, in Chinese for the causes a user can act on (a full
// disk, a read-only file system, a file or folder without write permission); else Qt's own text.
QString fileFailureReason(const QFileDevice& file);

// Creates (or empties) the destination and copies the source's bytes into it. The source is only
// read, so others may read it meanwhile. Raises FileError.
void copyFileContents(const QString& source, const QString& destination);

// Replaces the destination with a copy of the source as one step: the copy is written beside the
// destination and renamed over it, so a failed copy leaves the destination as it was.
void replaceFileContents(const QString& source, const QString& destination);

// Moves a finished file over the target in one step, so the target is either the old file or the
// new one, never neither. On failure the finished file is removed and false returned.
bool moveIntoPlace(const QString& finished, const QString& target);

// A new unique file name in the program's temporary folder, starting with the prefix; the file
// itself does not exist.
QString makeTempFileName(const QString& prefix = QStringLiteral("~SM"));

// The program's temporary folder: "corvalis-survey-<user>" in the system's temporary folder, made
// mode 0700 and private to the user, since several people may share one machine. A folder of that
// name that is a symbolic link, not a folder, or another user's is refused with FileError, so
// nothing is ever written through a link planted there.
QString tempFolder();

// Whether a path lies in the program's temporary folder (files there are made 0600).
bool isInTempFolder(const QString& path);
// Makes a file readable and writable by its owner only.
void restrictToOwner(const QString& path);

// Marks a file as in use by a running program for as long as this object lives (an advisory
// lock on it), so that a later run can tell a stale leftover from a file in use. Raises FileError.
class FileClaim {
public:
    explicit FileClaim(const QString& path);
    ~FileClaim();
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

private:
    int m_fd = -1;
};

// Removes the files of a folder whose names match the pattern and that no running program claims,
// each with its side files (its path plus one of the suffixes, e.g. "-journal"): the leftovers of
// a killed or failed run. Returns how many were removed.
int removeUnclaimedFiles(const QString& folder, const QString& pattern, const QStringList& sideSuffixes = {});

// An empty file in the program's temporary folder, claimed while this object lives and removed
// when it goes.
class LockedTempFile {
public:
    explicit LockedTempFile(const QString& prefix = QStringLiteral("~SM"));
    ~LockedTempFile();
    LockedTempFile(const LockedTempFile&) = delete;
    LockedTempFile& operator=(const LockedTempFile&) = delete;
    const QString& path() const { return m_path; }

private:
    QString m_path;
    std::optional<FileClaim> m_claim;
};

// Removes the unclaimed prefix*.tmp files of the program's temporary folder (leftovers of a killed
// compaction or export). Returns how many were removed.
int removeStaleTempFiles(const QString& prefix = QStringLiteral("~SM"));

// Replaces the characters a file name cannot hold ("/" and NUL here, plus those other systems
// refuse) by "_", so a label can become part of a file name.
QString safeFileNamePart(const QString& text);

// The longest file name (one path component) the file systems take, in bytes.
inline constexpr int MaxFileNameBytes = 255;
// The length of a file name as the file system stores it.
int fileNameBytes(const QString& name);
// A part of a file name at most that many bytes long: the text itself when it fits, else its
// beginning (cut between characters) followed by "…" and eight hexadecimal digits of the whole
// text, so that the name stays recognisable and two long texts with the same beginning differ.
QString fitFileNamePart(const QString& text, int maxBytes);

} // namespace corvalis
