#pragma once

#include "app/DbSession.h"
#include "app/ProgramFolder.h"
#include "app/engine/Connection.h"
#include "cli/CliUiServices.h"
#include "records/ShippedDatabase.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdint>
#include <cstdlib>

namespace corvalis::fuzzing {

// One program folder for the whole fuzzing run: the shipped database and the data-file template,
// opened once. Messages go nowhere; questions are answered Yes.
struct FuzzSite {
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    QFile sink{QStringLiteral("/dev/null")};
    QTextStream out;
    cli::CliUiServices ui{out, out};
    DbSession session{folder, ui};

    FuzzSite() {
        if (!sink.open(QIODevice::WriteOnly))
            std::abort();
        out.setDevice(&sink);
        records::createShippedDatabase(folder.defaultDatabase());
        records::createDataFileTemplate(folder.file(QStringLiteral("view.dll")));
        if (session.openDatabase() != OpenOutcome::Opened)
            std::abort();
        // A scratch database: no waiting for the disk on every commit.
        session.connection().execute(QStringLiteral("pragma synchronous=off"));
    }

    // The fuzzer's input as a file of the folder.
    QString writeInput(const QString& name, const uint8_t* data, size_t size) {
        const QString path = folder.file(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
        return path;
    }

    static FuzzSite& instance() {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        static FuzzSite site;
        return site;
    }
};

} // namespace corvalis::fuzzing
