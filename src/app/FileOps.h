#pragma once

#include <QString>

namespace corvalis {

// Creates (or empties) the destination and copies the source's bytes into it. The source is only
// read, so others may read it meanwhile. Raises FileError.
void copyFileContents(const QString& source, const QString& destination);

// Replaces the destination with a copy of the source as one step: the copy is written beside the
// destination and renamed over it, so a failed copy leaves the destination as it was.
void replaceFileContents(const QString& source, const QString& destination);

// Moves a finished file over the target in one step, so the target is either the old file or the
// new one, never neither. On failure the finished file is removed and false returned.
bool moveIntoPlace(const QString& finished, const QString& target);

// A new unique file name in the system's temporary folder, starting with the prefix; the file
// itself does not exist.
QString makeTempFileName(const QString& prefix = QStringLiteral("~SM"));

// The system's temporary folder.
QString tempFolder();

// Replaces the characters a file name cannot hold ("/" and NUL here, plus those other systems
// refuse) by "_", so a label can become part of a file name.
QString safeFileNamePart(const QString& text);

} // namespace corvalis
