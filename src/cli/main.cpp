#include "CliApplication.h"
#include "app/ProgramNames.h"
#include "app/QtTranslations.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <unistd.h>

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
    corvalis::cli::CliApplication cli;
    corvalis::cli::registerCommands(cli);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Nothing is shown on a screen; the graphical application only provides fonts for PDF output,
    // so only the commands that paint start it.
    std::unique_ptr<QCoreApplication> application;
    if (cli.needsGraphics(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        defaultHandler = qInstallMessageHandler(quietHandler);
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(corvalis::program::OrganisationName);
    QCoreApplication::setApplicationName(corvalis::program::ProductName);
    // The parser's own messages in Chinese, as the tool's are; English when the file is missing.
    corvalis::installQtChineseTranslations();
    // Progress lines are for a person watching a terminal, never for a pipe or a log file.
    cli.setProgressTerminal(isatty(STDERR_FILENO) == 1);
    QFile rawOut;
    rawOut.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    cli.setRawOutput(&rawOut);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cli.run(QCoreApplication::arguments(), out, err);
}
