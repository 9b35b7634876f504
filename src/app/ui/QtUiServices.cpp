#include "QtUiServices.h"

#include "FileLocationDialog.h"
#include "QuestionDialog.h"
#include "TextPromptDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace corvalis {

QStringList qtFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString caption = parts.at(i);
        const QString pattern = parts.at(i + 1);
        result << (caption.contains(QLatin1Char('('))
                       ? caption
                       : caption + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        result << parts.last();
    return result;
}

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    return shown;
}

namespace {
QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

QString captionOr(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral("提示信息") : caption;
}

struct DialogSetup {
    QStringList filters;
    QString selected;
    QString start;
};

DialogSetup setupFor(const FileRequest& request) {
    DialogSetup setup;
    setup.filters = qtFilters(request.filter);
    setup.selected = setup.filters.value(request.filterIndex - 1);
    setup.start = request.folder;
    if (!request.proposedName.isEmpty())
        setup.start = QDir(request.folder).filePath(request.proposedName);
    return setup;
}

int filterIndexOf(const QStringList& filters, const QString& selected) {
    const int index = filters.indexOf(selected);
    return index < 0 ? 1 : index + 1;
}
} // namespace

QtUiServices::QtUiServices(QWidget* parent)
    : m_parent(parent), m_openUrl(&QDesktopServices::openUrl), m_progress(parent) {}

void QtUiServices::setParent(QWidget* parent) {
    m_parent = parent;
}

void QtUiServices::showMessage(const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(qtIcon(icon), captionOr(caption), displayText(text), QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

bool QtUiServices::askYesNo(const QString& text, const QString& caption, MessageIcon icon, bool defaultYes) {
    QMessageBox box(qtIcon(icon), captionOr(caption), displayText(text), QMessageBox::NoButton, m_parent);
    box.setObjectName(QStringLiteral("QuestionBox"));
    QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    box.setDefaultButton(defaultYes ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

int QtUiServices::askQuestion(const QString& text, int mask) {
    return corvalis::askQuestion(text, mask, m_parent);
}

std::optional<QString> QtUiServices::promptText(const QString& caption, const QString& prompt,
                                                const QString& preset) {
    return textPrompt(caption, prompt, preset, m_parent);
}

std::optional<FileChoice> QtUiServices::chooseOpenFile(const FileRequest& request) {
    DialogSetup setup = setupFor(request);
    const QString path = QFileDialog::getOpenFileName(
        m_parent, request.title, setup.start, setup.filters.join(QStringLiteral(";;")), &setup.selected);
    if (path.isEmpty())
        return std::nullopt;
    return FileChoice{path, filterIndexOf(setup.filters, setup.selected)};
}

std::optional<FilesChoice> QtUiServices::chooseOpenFiles(const FileRequest& request) {
    DialogSetup setup = setupFor(request);
    const QStringList paths = QFileDialog::getOpenFileNames(
        m_parent, request.title, setup.start, setup.filters.join(QStringLiteral(";;")), &setup.selected);
    if (paths.isEmpty())
        return std::nullopt;
    return FilesChoice{paths, filterIndexOf(setup.filters, setup.selected)};
}

std::optional<FileChoice> QtUiServices::chooseSaveFile(const FileRequest& request) {
    DialogSetup setup = setupFor(request);
    // The dialog itself asks before an existing file is replaced.
    const QString path = QFileDialog::getSaveFileName(
        m_parent, request.title, setup.start, setup.filters.join(QStringLiteral(";;")), &setup.selected);
    if (path.isEmpty())
        return std::nullopt;
    return FileChoice{path, filterIndexOf(setup.filters, setup.selected)};
}

void QtUiServices::openWithShell(const QString& path) {
    if (m_openUrl && m_openUrl(QUrl::fromLocalFile(path)))
        return;
    // No viewer for the file: the result must not vanish unseen.
    FileLocationDialog where(path, m_openUrl, m_parent);
    where.exec();
}

void QtUiServices::keepResponsive() {
    QApplication::processEvents();
}

} // namespace corvalis
