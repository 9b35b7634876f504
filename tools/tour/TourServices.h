#pragma once

#include "app/ui/QtUiServices.h"

#include <QStringList>

namespace corvalis::tour {

// The program's own dialogs and message boxes, except what would leave the offscreen tour: file dialogs
// answer with the files the tour prepared (a save dialog with the proposed name), and the desktop's
// "open" only records the file.
class TourServices : public QtUiServices {
public:
    // The files the next open dialogs choose, in order.
    void queueOpenFile(const QString& path) { m_openFiles << path; }
    // The file the next save dialog chooses instead of the proposed one.
    void queueSaveFile(const QString& path) { m_saveFiles << path; }
    // The files handed to the desktop so far.
    const QStringList& openedFiles() const { return m_opened; }

    std::optional<FileChoice> chooseOpenFile(const FileRequest& request) override;
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest& request) override;
    std::optional<FileChoice> chooseSaveFile(const FileRequest& request) override;
    void openWithShell(const QString& path) override;

private:
    QStringList m_openFiles;
    QStringList m_saveFiles;
    QStringList m_opened;
};

} // namespace corvalis::tour
