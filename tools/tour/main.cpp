// corvalis-tour: walks a clerk's working day in the program window, offscreen, and saves a picture of
// each step for the user guide. scripts/screenshot.sh prepares the data and runs it.

#include "GuideTour.h"
#include "TourServices.h"
#include "app/Clock.h"
#include "app/ProgramFolder.h"
#include "app/ProgramNames.h"
#include "shell/CommandInstall.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>

namespace {

// A tour that hangs on a window nobody answers ends instead of blocking the script or the test.
constexpr int TourTimeLimitMs = 120000;

void loadQtTranslations(QApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(corvalis::program::OrganisationName);
    QApplication::setApplicationName(corvalis::program::ProductName);
    QApplication::setApplicationDisplayName(corvalis::program::DisplayName);
    loadQtTranslations(application);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("程序文件夹（含准备好的默认数据库）。"),
                                  QStringLiteral("DIR"));
    const QCommandLineOption pictures(QStringLiteral("pictures"), QStringLiteral("保存图片的文件夹。"),
                                      QStringLiteral("DIR"));
    const QCommandLineOption cleanImport(QStringLiteral("import"), QStringLiteral("下级上报的数据文件。"),
                                         QStringLiteral("FILE"));
    const QCommandLineOption conflictingImport(QStringLiteral("conflicting-import"),
                                               QStringLiteral("与现有数据编码重复的下级数据文件。"),
                                               QStringLiteral("FILE"));
    const QCommandLineOption correctedImport(QStringLiteral("corrected-import"),
                                             QStringLiteral("下级更正后重新上报的数据文件（导入预览）。"),
                                             QStringLiteral("FILE"));
    parser.addOptions({home, pictures, cleanImport, conflictingImport, correctedImport});
    parser.process(application);
    for (const QCommandLineOption& required : {home, pictures, cleanImport, conflictingImport})
        if (!parser.isSet(required)) {
            QTextStream(stderr) << "corvalis-tour: --" << required.names().first() << " is required\n";
            return 2;
        }

    corvalis::tour::TourServices services;
    corvalis::StartOptions options;
    options.splash = false;
    options.ui = &services;
    // A day in January after the survey year: dates in the pictures stay the same from one renewal to
    // the next.
    options.clock = std::make_shared<corvalis::FixedClock>(QDateTime(QDate(2021, 1, 15), QTime(9, 30)));
    options.settingsFile = QDir(parser.value(home)).filePath(QStringLiteral("tour-settings.ini"));
    corvalis::MainWindow window(corvalis::ProgramFolder::resolve(parser.value(home)), options);
    corvalis::installCommands(window);
    services.setParent(&window);
    if (!window.startUp())
        return 1;
    window.setGeometry(0, 26, 1280, 720);
    window.show();

    QTimer::singleShot(TourTimeLimitMs, [] {
        QTextStream(stderr) << "corvalis-tour: the tour did not end in time\n";
        std::_Exit(3);
    });
    QDir().mkpath(parser.value(pictures));
    corvalis::tour::GuideTour tour(
        window, services,
        {parser.value(cleanImport), parser.value(conflictingImport), parser.value(correctedImport)},
        QDir(parser.value(pictures)));
    int result = 1;
    QTimer::singleShot(200, &window, [&tour, &result] {
        result = tour.run() ? 0 : 1;
        QApplication::exit(result);
    });
    QApplication::exec();
    return result;
}
