#include "MultiImport.h"

#include "ConflictReport.h"
#include "DataFile.h"
#include "DataImport.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/ReceivedFile.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvalis::exchange {

namespace {

const QString MultiAlias = QStringLiteral("batch");

bool isScrambledCandidate(const QString& path) {
    return firstByteOf(path) != PlainFirstByte;
}

QString pathToOpen(const ProgramFolder& folder, const QString& chosen) {
    if (!isScrambledCandidate(chosen))
        return chosen;
    const QString copy = multiImportCopyPath(folder, chosen);
    // The copy is made when the files are chosen; make it again if it went missing meanwhile.
    if (!QFileInfo(copy).isFile())
        prepareDataFileCopy(chosen, copy);
    return copy;
}

} // namespace

QString multiImportCopyPath(const ProgramFolder& folder, const QString& chosenPath) {
    const QString dir = folder.file(QStringLiteral("incoming"));
    QDir().mkpath(dir);
    // Files of the same name from different folders (a/x.dat, b/x.dat) get different copies: the
    // name carries a digest of the chosen file's full path.
    const QByteArray digest =
        QCryptographicHash::hash(QFileInfo(chosenPath).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    QString copy = dir + QLatin1Char('/') + QString::fromLatin1(digest) + QLatin1Char('-') +
                   QFileInfo(chosenPath).fileName();
    if (isSameFile(copy, chosenPath))
        copy = dir + QStringLiteral("/copy-") + QFileInfo(chosenPath).fileName();
    return copy;
}

std::optional<ChosenFiles> prepareImportFiles(const ProgramFolder& folder, const QStringList& chosen,
                                              int filterIndex, UiServices& ui) {
    ChosenFiles files;
    for (const QString& name : chosen) {
        const QString path = filterIndex == 0
                                 ? name
                                 : withExtensionIfLong(name, filterIndex == 2 ? QStringLiteral(".mdb")
                                                                              : QStringLiteral(".dat"));
        if (!QFileInfo(path).isFile()) {
            ui.showMessage(QStringLiteral("您选择的文件名为【") + path +
                               QStringLiteral("】的文件并不存在，请选择其它文件。"),
                           QString(), MessageIcon::Warning);
            return std::nullopt;
        }
        try {
            const QString open = isScrambledCandidate(path)
                                     ? prepareDataFileCopy(path, multiImportCopyPath(folder, path))
                                     : path;
            engine::Connection connection;
            try {
                connection.open(open);
            } catch (const EngineError&) {
                // Report files carry the program's password.
                connection.open(open, deriveDatabasePassword());
            }
            vetReceivedDatabase(connection, QStringLiteral("main"), path);
            files.labels << readLabelOf(connection, QStringLiteral("main"));
        } catch (const EngineError& error) {
            if (error.code() == RefusedFileCode) {
                ui.showMessage(error.text(), QString(), MessageIcon::Warning);
                return std::nullopt;
            }
            ui.showMessage(QStringLiteral("打开数据库文件的时候发生错误，请选择其他文件。"), QString(),
                           MessageIcon::Warning);
            return std::nullopt;
        } catch (const Error&) {
            ui.showMessage(QStringLiteral("打开数据库文件的时候发生错误，请选择其他文件。"), QString(),
                           MessageIcon::Warning);
            return std::nullopt;
        }
        files.paths << path;
    }
    return files;
}

MultiImportResult importMultipleFiles(DbSession& session, UiServices& ui, const QStringList& chosenPaths,
                                      const std::function<void(int)>& percent) {
    MultiImportResult result;
    engine::Connection& db = session.connection();
    GbkTextWriter report(conflictReportPath());
    bool reported = false;
    int done = 0;
    const int step = chosenPaths.isEmpty() ? 100 : 100 / int(chosenPaths.size());
    for (const QString& chosen : chosenPaths) {
        QString open;
        std::optional<engine::Attachment> attachment;
        try {
            open = pathToOpen(session.programFolder(), chosen);
            if (!attachReceivedFile(db, open, MultiAlias, attachment))
                throw EngineError(QStringLiteral("文件“%1”不是可以读取的数据库文件。").arg(chosen));
            if (!db.tableExists(QStringLiteral("dt_data"))) {
                ui.showMessage(SystemHasNoDataTable, QString(), MessageIcon::Warning);
                result.ended = true;
                break;
            }
        } catch (const Error& error) {
            showRunError(ui, error.text(), ContactSuffix);
            result.ended = true;
            break;
        }
        if (!db.tableExists(QStringLiteral("dt_data"), MultiAlias)) {
            ui.showMessage(FileHasNoDataTable, QString(), MessageIcon::Warning);
            ++result.failed;
        } else {
            FileImportResult file;
            try {
                file = importAttachedRecords(db, MultiAlias);
            } catch (const EngineError& error) {
                showRunError(ui, error.text(), ContactSuffix);
                result.ended = true;
                break;
            }
            switch (file.status) {
            case FileImportStatus::Imported:
                ++result.imported;
                done += step;
                if (percent)
                    percent(done);
                break;
            case FileImportStatus::Conflicts:
                ++result.failed;
                for (const QString& line : conflictBlockLines(chosen, file.conflicts))
                    report.writeLine(line);
                reported = true;
                break;
            case FileImportStatus::BadValues:
                ++result.failed;
                for (const QString& line : refusalReportLines(file.refused, chosen))
                    report.writeLine(line);
                report.writeLine();
                report.writeLine();
                reported = true;
                break;
            case FileImportStatus::BadFormat:
                // Named in the report, so that a file left out never ends in the success message.
                ++result.failed;
                report.writeLine(
                    QStringLiteral("在准备导入的名为【") + chosen +
                    QStringLiteral("】的文件中，数据表的格式与系统中的不一致，没有导入任何记录。"));
                report.writeLine();
                report.writeLine();
                reported = true;
                break;
            }
        }
        attachment.reset();
        if (open != chosen)
            QFile::remove(open);
        ui.keepResponsive();
    }
    report.close();
    if (result.ended)
        return result;
    if (reported) {
        ui.openWithShell(conflictReportPath());
        ui.showMessage(conflictMessage(), QString(), MessageIcon::Warning);
    } else {
        if (percent)
            percent(100);
        ui.showMessage(QStringLiteral("数据已经被正确地导入!"));
    }
    return result;
}

} // namespace corvalis::exchange
