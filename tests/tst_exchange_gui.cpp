// test-kind: gui
#include "app/engine/Connection.h"
#include "app/ui/MainWindow.h"
#include "app/ui/RecordList.h"
#include "exchange/DataFile.h"
#include "records/RecordGenerator.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
struct Shell {
    TestFolder folder{true, true};
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Shell(int records) {
        {
            engine::Connection db(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = records;
            records::generateRecords(db, options);
            db.execute(QStringLiteral("update dt_data set RecordState=1"));
        }
        StartOptions options;
        options.splash = false;
        options.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        options.clock = std::make_shared<FixedClock>(QDateTime(QDate(2021, 3, 5), QTime(9, 30)));
        options.ui = &ui;
        window = std::make_unique<MainWindow>(folder.folder(), options);
        QVERIFY(window->startUp());
    }
    void run(const char* command) { window->runCommand(QString::fromLatin1(command)); }
};
} // namespace

class ExchangeGuiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandsAreWiredAndTheListFollows() {
        Shell sender(6);
        const QString file = sender.folder.file(QStringLiteral("up.dat"));
        sender.ui.answerText(QStringLiteral("基层工会甲"));
        sender.ui.answerFile(file);
        sender.run("actExport");
        QVERIFY2(sender.ui.lastMessage().startsWith(QStringLiteral("数据已经被正确导出到")),
                 qPrintable(sender.ui.lastMessage()));

        Shell receiver(2);
        QCOMPARE(receiver.window->recordList().recordCount(), 2);
        receiver.ui.answerFile(file);
        receiver.ui.answerYes();
        receiver.run("actFastImport");
        QCOMPARE(receiver.window->recordList().recordCount(), 2); // generated codes collide: nothing added
        QVERIFY(!receiver.ui.openedFiles().isEmpty());

        receiver.ui.answerFile(receiver.folder.file(QStringLiteral("save")));
        receiver.run("actBackup");
        QCOMPARE(receiver.ui.lastMessage(), QStringLiteral("备份成功"));
        QCOMPARE(receiver.window->recordList().recordCount(), 2);

        receiver.ui.answerFile(file);
        receiver.run("actOpenDB");
        QCOMPARE(receiver.window->recordList().recordCount(), 6);
        QVERIFY(receiver.window->windowTitle().contains(QStringLiteral("基层工会甲")));

        receiver.ui.answerText(QStringLiteral("新标识"));
        receiver.run("actLabel");
        QVERIFY(receiver.window->windowTitle().contains(QStringLiteral("新标识")));

        receiver.run("actOpenDefault");
        QCOMPARE(receiver.window->recordList().recordCount(), 2);
        QVERIFY(!QFile::exists(receiver.folder.folder().workingCopy()));

        receiver.run("itemConvert");
        QVERIFY(receiver.ui.lastMessage().startsWith(RunErrorPrefix));
        QCOMPARE(receiver.window->recordList().recordCount(), 2);
    }
};

QTEST_MAIN(ExchangeGuiTest)
#include "tst_exchange_gui.moc"
