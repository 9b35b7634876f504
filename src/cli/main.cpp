#include "CliApplication.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Nothing is shown on a screen; the graphical application only provides fonts for PDF output.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Talvoren"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvalis_基层工会（离线工具）"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    corvalis::cli::CliApplication cli;
    corvalis::cli::registerCommands(cli);
    return cli.run(QCoreApplication::arguments(), out, err);
}
