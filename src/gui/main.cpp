#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/ui/MainWindow.h"
#include "app/ui/WheelTranslator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

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
    // Saves a picture of the main window once it is shown, then ends (used to renew the README's screenshot).
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("保存主窗口的截图后退出。"), QStringLiteral("FILE"));
    parser.addOption(home);
    parser.addOption(noSplash);
    parser.addOption(screenshot);
    parser.process(application);

    corvalis::WheelTranslator wheel;
    application.installEventFilter(&wheel);

    corvalis::StartOptions options;
    options.splash = !parser.isSet(noSplash) && qEnvironmentVariableIsEmpty("CORVALIS_NO_SPLASH");
    corvalis::MainWindow window(corvalis::ProgramFolder::resolve(parser.value(home)), options);
    if (!window.startUp())
        return 1;
    if (parser.isSet(screenshot)) {
        window.resize(1280, 760);
        window.show();
        QTimer::singleShot(500, &window, [&window, file = parser.value(screenshot)] {
            const bool saved = window.grab().save(file);
            QApplication::exit(saved ? 0 : 1);
        });
        return application.exec();
    }
    window.showMaximized();
    return application.exec();
}
