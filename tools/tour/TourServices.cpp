#include "TourServices.h"

#include <QDir>

namespace corvalis::tour {

std::optional<FileChoice> TourServices::chooseOpenFile(const FileRequest&) {
    if (m_openFiles.isEmpty())
        return std::nullopt;
    return FileChoice{m_openFiles.takeFirst(), 1};
}

std::optional<FilesChoice> TourServices::chooseOpenFiles(const FileRequest&) {
    if (m_openFiles.isEmpty())
        return std::nullopt;
    FilesChoice choice{m_openFiles, 1};
    m_openFiles.clear();
    return choice;
}

std::optional<FileChoice> TourServices::chooseSaveFile(const FileRequest& request) {
    // The clerk keeps the proposed name unless the tour asked for another.
    if (m_saveFiles.isEmpty())
        return FileChoice{QDir(request.folder).filePath(request.proposedName), request.filterIndex};
    return FileChoice{m_saveFiles.takeFirst(), 1};
}

void TourServices::openWithShell(const QString& path) {
    m_opened << path;
}

} // namespace corvalis::tour
