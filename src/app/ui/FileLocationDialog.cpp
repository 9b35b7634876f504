#include "FileLocationDialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace corvalis {

FileLocationDialog::FileLocationDialog(const QString& path, std::function<bool(const QUrl&)> openUrl,
                                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FileLocationDialog"));
    setWindowTitle(QStringLiteral("提示信息"));
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());

    auto* where = new QLineEdit(shown, this);
    where->setObjectName(QStringLiteral("FilePath"));
    where->setReadOnly(true);
    where->setMinimumWidth(std::min(where->fontMetrics().horizontalAdvance(shown) + 24, 900));
    where->setCursorPosition(0);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* folder = buttons->addButton(QStringLiteral("打开所在文件夹"), QDialogButtonBox::ActionRole);
    folder->setObjectName(QStringLiteral("OpenFolder"));
    QPushButton* copy = buttons->addButton(QStringLiteral("复制路径"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyPath"));
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::AcceptRole);
    close->setObjectName(QStringLiteral("Close"));
    close->setDefault(true);
    // The action buttons leave the dialog open; only 关闭 and Escape close it.
    folder->setAutoDefault(false);
    copy->setAutoDefault(false);

    const QString folderPath = QFileInfo(path).absolutePath();
    connect(folder, &QPushButton::clicked, this, [openUrl, folderPath] {
        if (openUrl)
            openUrl(QUrl::fromLocalFile(folderPath));
    });
    connect(copy, &QPushButton::clicked, this, [shown] { QGuiApplication::clipboard()->setText(shown); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(message(), this));
    layout->addWidget(where);
    layout->addWidget(buttons);
}

} // namespace corvalis
