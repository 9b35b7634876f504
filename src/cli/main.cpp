#include "CliApplication.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Talvoren"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvalis_基层工会（离线工具）"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    corvalis::cli::CliApplication cli;
    corvalis::cli::registerCommands(cli);
    return cli.run(QCoreApplication::arguments(), out, err);
}
