#pragma once

// Runs the command-line tool in the test's own process and keeps what it printed. For test programs of
// kind "cli", which link the tool's library.
#include "cli/CliApplication.h"

#include <QBuffer>
#include <QStringList>
#include <QTextStream>

namespace corvalis::testing {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
    QByteArray bytes; // what a command wrote to standard output as bytes ("--output -")
};

inline CliRun runCli(const QStringList& arguments) {
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    QBuffer bytes(&run.bytes);
    bytes.open(QIODevice::WriteOnly);
    cli::CliApplication application;
    cli::registerCommands(application);
    application.setRawOutput(&bytes);
    run.code = application.run(QStringList{QStringLiteral("corvalis-survey-cli")} + arguments, out, err);
    out.flush();
    err.flush();
    return run;
}

} // namespace corvalis::testing
