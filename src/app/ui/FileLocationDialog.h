#pragma once

#include <QDialog>
#include <functional>

class QUrl;

namespace corvalis {

// Says where a file is when the desktop could not open it: its full path in a selectable box, with
// buttons that open its folder and copy the path. openUrl is how the folder is handed to the desktop.
class FileLocationDialog : public QDialog {
public:
    FileLocationDialog(const QString& path, std::function<bool(const QUrl&)> openUrl,
                       QWidget* parent = nullptr);

    static QString message() { return QStringLiteral("系统中没有可以打开此文件的程序。文件保存在："); }
};

} // namespace corvalis
