#include "CliApplication.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

namespace {
QtMessageHandler defaultHandler = nullptr;

// The offscreen platform asks for a runtime folder that a command-line run (cron, ssh) often lacks;
// the tool never uses it, so that notice would only clutter the tool's standard error.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    defaultHandler(type, context, message);
}
} // namespace

int main(int argc, char* argv[]) {
    // Nothing is shown on a screen; the graphical application only provides fonts for PDF output.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(quietHandler);
    QGuiApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Talvoren"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvalis_基层工会（离线工具）"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    corvalis::cli::CliApplication cli;
    corvalis::cli::registerCommands(cli);
    return cli.run(QCoreApplication::arguments(), out, err);
}
