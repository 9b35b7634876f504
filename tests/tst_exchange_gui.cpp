// test-kind: shell
#include "app/engine/Connection.h"
#include "app/ui/RecordList.h"
#include "exchange/DataFile.h"
#include "exchange/NetworkExport.h"
#include "exchange/ui/ImportDialogs.h"
#include "records/RecordGenerator.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
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
        window = makeProgramWindow(folder.folder(), options);
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

    void importDialogs() {
        Shell sender(5);
        const QString net = sender.folder.file(QStringLiteral("net.dat"));
        sender.ui.answerFile(net);
        sender.run("itemNetworkExport");
        QCOMPARE(sender.ui.lastMessage(), QStringLiteral("导出上报数据成功"));
        const QString csv = sender.folder.file(QStringLiteral("net.csv"));
        exchange::decryptFileAes128(net, csv, exchange::deriveExportKey());

        Shell receiver(0);
        {
            TdlgImportCSVForm dialog(receiver.window->session(), receiver.ui);
            auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("SourcePath"));
            receiver.ui.answerFile(sender.folder.file(QStringLiteral("net")));
            QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("tbBrowse")), Qt::LeftButton);
            QCOMPARE(path->text(), csv);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("tbExport")), Qt::LeftButton);
            QCOMPARE(dialog.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value(), 100);
            QCOMPARE(receiver.ui.lastMessage(), QStringLiteral("数据已经被正确地导入!"));
            QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("tbReturn"))->isEnabled());
        }
        receiver.window->refreshList();
        QCOMPARE(receiver.window->recordList().recordCount(), 5);

        const QString backup = sender.folder.file(QStringLiteral("b.mdb"));
        sender.ui.answerFile(backup);
        sender.run("actBackup");
        Shell third(0);
        {
            TdlgMultiExportForm dialog(third.window->session(), third.ui);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("tbExport")), Qt::LeftButton);
            QVERIFY(!third.ui.messages().empty()); // nothing chosen yet: refused with a message
            third.ui.answerFiles({backup}, 2);
            QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("tbBrowse")), Qt::LeftButton);
            QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("SourcePath"))->text(), backup);
            QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("RzMemo1"))->toPlainText(),
                     QStringLiteral("默认数据库"));
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("tbExport")), Qt::LeftButton);
            QCOMPARE(third.ui.lastMessage(), QStringLiteral("数据已经被正确地导入!"));
        }
        // The menu item shows the dialog modally and re-runs the list afterwards.
        QTimer::singleShot(0, [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("TdlgMultiExportForm"))
                    static_cast<QDialog*>(top)->reject();
        });
        third.run("itemMultiImport");
        QCOMPARE(third.window->recordList().recordCount(), 5);

        third.ui.answerFile(backup);
        third.run("actImport");
        QVERIFY(third.ui.questions().back().text.contains(QStringLiteral("所以没有导入任何数据。")));
        QCOMPARE(third.window->recordList().recordCount(), 5);
    }
};

QTEST_MAIN(ExchangeGuiTest)
#include "tst_exchange_gui.moc"
