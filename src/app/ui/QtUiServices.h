#pragma once

#include "ProgressForms.h"
#include "app/UiServices.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QUrl;

namespace corvalis {

// The UI services of the windows: Qt message boxes, the question dialog, the text prompt, Qt file
// dialogs, the desktop's default program for a file, and the progress windows.
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* parent = nullptr);

    void setParent(QWidget* parent);
    QWidget* parentWidget() const { return m_parent; }

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& caption, MessageIcon icon, bool defaultYes) override;
    int askQuestion(const QString& text, int mask) override;
    std::optional<QString> promptText(const QString& caption, const QString& prompt,
                                      const QString& preset) override;
    std::optional<FileChoice> chooseOpenFile(const FileRequest& request) override;
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest& request) override;
    std::optional<FileChoice> chooseSaveFile(const FileRequest& request) override;
    // When the desktop cannot open the file, says where it is (FileLocationDialog).
    void openWithShell(const QString& path) override;
    void keepResponsive() override;
    ProgressReporter& progress() override { return m_progress; }
    WindowProgress& windowProgress() { return m_progress; }
    // How files and folders are handed to the desktop (QDesktopServices::openUrl unless replaced);
    // false when nothing could open them.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { m_openUrl = std::move(opener); }

private:
    QPointer<QWidget> m_parent;
    std::function<bool(const QUrl&)> m_openUrl;
    WindowProgress m_progress;
};

// "数据加密文件(*.dat)|*.dat|数据备份文件(*.mdb)|*.mdb" → Qt's "数据加密文件(*.dat);;数据备份文件(*.mdb)".
QStringList qtFilters(const QString& filter);

// Replaces "\n\r" (the line break of the old message texts) by "\n" for display.
QString displayText(const QString& text);

} // namespace corvalis
