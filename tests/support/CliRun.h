#pragma once

// Runs the command-line tool in the test's own process and keeps what it printed. For test programs of
// kind "cli", which link the tool's library.
#include "cli/CliApplication.h"

#include <QStringList>
#include <QTextStream>

namespace corvalis::testing {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

inline CliRun runCli(const QStringList& arguments) {
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    cli::CliApplication application;
    cli::registerCommands(application);
    run.code = application.run(QStringList{QStringLiteral("corvalis-survey-cli")} + arguments, out, err);
    out.flush();
    err.flush();
    return run;
}

} // namespace corvalis::testing
