#include "BuildInfo.h"
#include "app/ProgramFolder.h"
#include "app/ProgramNames.h"
#include "app/QtTranslations.h"
#include "app/Settings.h"
#include "app/ui/RecordList.h"
#include "app/ui/WheelTranslator.h"
#include "records/ui/SurveyDataForm.h"
#include "shell/CommandInstall.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

namespace {

// Shows the entry form on the list's first record and saves its cover and page 1 once each is drawn.
int saveEntryFormScreenshots(corvalis::MainWindow& window, const QString& prefix) {
    using corvalis::records::TdlgSurveyDataForm;
    if (window.recordList().recordCount() == 0)
        return 1;
    window.resize(1280, 760);
    window.show();
    window.recordList().setCurrentRow(0);
    auto* form =
        new TdlgSurveyDataForm(window.session(), window.settings(), window.ui(),
                               corvalis::entryFormServices(window), window.fieldDictionary(), &window);
    form->open(corvalis::records::EntryMode::Modify, &window.recordList());
    bool saved = true;
    QTimer::singleShot(500, form, [form, prefix, &saved] {
        saved = form->grab().save(prefix + QStringLiteral("-cover.png"));
        form->changePage(1);
        QTimer::singleShot(300, form, [form, prefix, &saved] {
            saved = form->grab().save(prefix + QStringLiteral("-page1.png")) && saved;
            QApplication::exit(saved ? 0 : 1);
        });
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(corvalis::program::OrganisationName);
    QApplication::setApplicationName(corvalis::program::ProductName);
    // No application display name: the desktop would add it to every window's own caption.
    // Qt's own texts in Chinese; without the translation file the program goes on in English.
    corvalis::installQtChineseTranslations();
    QApplication::setApplicationVersion(
        QStringLiteral("%1 (Build %2)").arg(corvalis::program::ProgramVersion).arg(corvalis::BuildNumber));
    // The desktop matches the windows to the installed entry (its icon, its group in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("corvalis-survey"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("corvalis-survey"), QIcon(QStringLiteral(":/corvalis-survey.svg"))));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption home(QStringLiteral("home"), QStringLiteral("程序文件夹。"),
                                  QStringLiteral("DIR"));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("启动时不显示启动画面。"));
    // Saves a picture of the main window once it is shown, then ends (used to renew the README's screenshot).
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("保存主窗口的截图后退出。"), QStringLiteral("FILE"));
    // Opens the entry form on the first record, saves its cover page as PREFIX-cover.png and page 1 as
    // PREFIX-page1.png, then ends (used to renew the README's pictures of the form).
    const QCommandLineOption formScreenshot(QStringLiteral("screenshot-form"),
                                            QStringLiteral("保存录入窗口封面和表1的截图后退出。"),
                                            QStringLiteral("FILE-PREFIX"));
    parser.addOption(home);
    parser.addOption(noSplash);
    parser.addOption(screenshot);
    parser.addOption(formScreenshot);
    parser.process(application);

    corvalis::WheelTranslator wheel;
    application.installEventFilter(&wheel);

    corvalis::StartOptions options;
    options.splash = !parser.isSet(noSplash) && qEnvironmentVariableIsEmpty("CORVALIS_NO_SPLASH");
    corvalis::MainWindow window(corvalis::ProgramFolder::resolve(parser.value(home)), options);
    corvalis::installCommands(window);
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
    if (parser.isSet(formScreenshot))
        return saveEntryFormScreenshots(window, parser.value(formScreenshot));
    window.showMaximized();
    return application.exec();
}
