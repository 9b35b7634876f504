// Fills a program folder: the default database when it is missing, a fresh data-file template,
// and the shipped files (layouts, lists, notes) that the folder lacks.
#include "app/Errors.h"
#include "app/ProgramFolder.h"
#include "records/ShippedDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: corvalis-make-folder FOLDER [SHIPPED-FILES]\n");
        return 2;
    }
    try {
        QDir().mkpath(args.at(1));
        const corvalis::ProgramFolder folder(args.at(1));
        if (args.size() > 2)
            folder.fillMissingFrom(args.at(2));
        if (!QFileInfo::exists(folder.defaultDatabase()))
            corvalis::records::createShippedDatabase(folder.defaultDatabase());
        const QString fresh = folder.dataFileTemplate() + QStringLiteral(".new");
        QFile::remove(fresh);
        corvalis::records::createDataFileTemplate(fresh);
        QFile::remove(folder.dataFileTemplate());
        if (!QFile::rename(fresh, folder.dataFileTemplate()))
            throw corvalis::FileError(QStringLiteral("无法写入 ") + folder.dataFileTemplate());
    } catch (const corvalis::Error& error) {
        std::fprintf(stderr, "%s\n", error.text().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
