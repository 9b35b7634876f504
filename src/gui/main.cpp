#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/ui/MainWindow.h"
#include "app/ui/WheelTranslator.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(corvalis::OrganisationName);
    QApplication::setApplicationName(corvalis::ProductName);
    QApplication::setApplicationDisplayName(QStringLiteral("Corvalis 基层工会（离线工具）"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption home(QStringLiteral("home"), QStringLiteral("程序文件夹。"),
                                  QStringLiteral("DIR"));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("启动时不显示启动画面。"));
    parser.addOption(home);
    parser.addOption(noSplash);
    parser.process(application);

    corvalis::WheelTranslator wheel;
    application.installEventFilter(&wheel);

    corvalis::StartOptions options;
    options.splash = !parser.isSet(noSplash) && qEnvironmentVariableIsEmpty("CORVALIS_NO_SPLASH");
    corvalis::MainWindow window(corvalis::ProgramFolder::resolve(parser.value(home)), options);
    if (!window.startUp())
        return 1;
    window.showMaximized();
    return application.exec();
}
