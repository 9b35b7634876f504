// test-kind: shell
// What the window tells the clerk: where a result is when the desktop cannot open it, Qt's own texts
// in Chinese, errors of the about box's maintenance gesture, and the smaller window details.
#include "app/FileOps.h"
#include "app/QtTranslations.h"
#include "app/engine/Connection.h"
#include "app/ui/FileLocationDialog.h"
#include "app/ui/QtUiServices.h"
#include "exchange/ConflictReport.h"
#include "records/RecordGenerator.h"
#include "search/ui/LocateForm.h"
#include "shell/AboutDialog.h"
#include "shell/CommandBar.h"
#include "support/ProgramWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {
constexpr qint64 FirstCode = 100000000001;

struct Program {
    TestFolder folder;
    QTemporaryDir settingsDir;
    ScriptedUiServices ui;
    std::unique_ptr<MainWindow> window;

    explicit Program(int records) {
        engine::Connection connection(folder.defaultDatabase());
        records::GeneratorOptions options;
        options.count = records;
        options.firstCode = FirstCode;
        records::generateRecords(connection, options);
        StartOptions start;
        start.splash = false;
        start.settingsFile = settingsDir.filePath(QStringLiteral("settings.ini"));
        start.ui = &ui;
        window = makeProgramWindow(folder.folder(), start);
        window->startUp();
    }
};

// The text of a standard button of a message box as it is shown.
QString okButtonText() {
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示信息"), QStringLiteral("完成"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(QMessageBox::Ok)->text();
}
} // namespace

class WindowFeedbackTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Runs first: the translations stay installed for the rest of the run.
    void aMissingTranslationLeavesQtInEnglish() {
        QTemporaryDir empty;
        QVERIFY(!installQtChineseTranslations(empty.path()));
        QCOMPARE(okButtonText(), QStringLiteral("OK"));
    }

    void qtSpeaksChinese() {
        QVERIFY(installQtChineseTranslations());
        QCOMPARE(okButtonText(), QStringLiteral("确定"));

        QFileDialog files(nullptr, QStringLiteral("选择文件"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setAcceptMode(QFileDialog::AcceptSave);
        files.show();
        auto* buttons = files.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QVERIFY(buttons->button(QDialogButtonBox::Cancel)->text().startsWith(QStringLiteral("取消")));
        QVERIFY(buttons->button(QDialogButtonBox::Save)->text().startsWith(QStringLiteral("保存")));
        QStringList labels;
        for (const QLabel* label : files.findChildren<QLabel*>())
            labels << label->text();
        QVERIFY2(!labels.join(QLatin1Char('|')).contains(QLatin1String("File name")),
                 qPrintable(labels.join(QLatin1Char('|'))));
        files.close();

        // The command-line tool: Qt's parser reports an unknown option in Chinese.
        QProcess cli;
        cli.setProgram(QStringLiteral(CORVALIS_PROGRAM_DIR "/corvalis-survey-cli"));
        cli.setArguments({QStringLiteral("info"), QStringLiteral("--no-such-option")});
        cli.start();
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 2);
        const QString said = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY2(!said.contains(QLatin1String("Unknown option")), qPrintable(said));
        QVERIFY2(said.contains(QLatin1String("no-such-option")), qPrintable(said));

        // The window program: the help of its command line.
        QProcess program;
        program.setProgram(QStringLiteral(CORVALIS_PROGRAM_DIR "/corvalis-survey"));
        program.setArguments({QStringLiteral("--help")});
        program.start();
        QVERIFY(program.waitForFinished(60000));
        const QString help = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(help.contains(QLatin1String("--home")), qPrintable(help));
        QVERIFY2(!help.contains(QLatin1String("Displays help")), qPrintable(help));
    }

    void aFileTheDesktopCannotOpenIsShownWithItsPlace() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("逻辑检查结果.txt"));
        QList<QUrl> handed;
        QtUiServices services;
        services.setUrlOpener([&handed](const QUrl& url) {
            handed << url;
            return false;
        });
        bool shown = false;
        QString where;
        QTimer::singleShot(0, this, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || dialog->objectName() != QLatin1String("FileLocationDialog"))
                return;
            shown = true;
            auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("FilePath"));
            where = box->text();
            QVERIFY(box->isReadOnly());
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CopyPath")), Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("OpenFolder")), Qt::LeftButton);
            // The action buttons leave the dialog up; Enter closes it.
            QVERIFY(dialog->isVisible());
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        services.openWithShell(path);
        QVERIFY(shown);
        QCOMPARE(where, QDir::toNativeSeparators(path));
        QCOMPARE(QGuiApplication::clipboard()->text(), QDir::toNativeSeparators(path));
        QCOMPARE(handed, (QList<QUrl>{QUrl::fromLocalFile(path), QUrl::fromLocalFile(dir.path())}));

        // A file the desktop opens needs no word.
        handed.clear();
        services.setUrlOpener([&handed](const QUrl& url) {
            handed << url;
            return true;
        });
        services.openWithShell(path);
        QCOMPARE(handed.size(), 1);

        // The conflict message says in which folder its report lies.
        QVERIFY(exchange::conflictMessage().contains(QDir::toNativeSeparators(tempFolder())));
    }

    void anEngineErrorOfTheMaintenanceGestureIsReported() {
        Program program(3);
        program.window->session().connection().execute(
            QStringLiteral("create trigger refuse before update on dt_data "
                           "begin select raise(abort, 'no updates here'); end"));
        bool gesture = false;
        QTimer::singleShot(0, this, [&gesture] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!about || about->objectName() != QLatin1String("TdlgAboutForm"))
                return;
            gesture = true;
            QTest::mouseDClick(about->findChild<QLabel*>(QStringLiteral("NameLabel")), Qt::LeftButton,
                               Qt::ControlModifier | Qt::AltModifier);
            if (about->isVisible())
                about->reject();
        });
        program.window->runCommand(QStringLiteral("actAbout"));
        QVERIFY(gesture);
        QVERIFY2(program.ui.lastMessage().startsWith(RunErrorPrefix), qPrintable(program.ui.lastMessage()));
        QVERIFY(program.ui.lastMessage().contains(QLatin1String("no updates here")));
    }

    void locateTakesEnterAndTheWindowShowsItsCommands() {
        Program program(30);
        search::LocateForm locate(*program.window);
        locate.show();
        QVERIFY(QTest::qWaitForWindowActive(&locate));
        auto* code = locate.findChild<QLineEdit*>(QStringLiteral("c901"));
        code->setFocus();
        QTest::keyClicks(code, QString::number(FirstCode + 20));
        QTest::keyClick(code, Qt::Key_Return);
        QCOMPARE(program.window->recordList().currentCode(), std::optional<UnionCode>(FirstCode + 20));
        locate.close();

        // 关于 and 退出 read as words in the menu bar, and they still run their commands.
        MainWindow& window = *program.window;
        int abouts = 0;
        window.setHandler(QStringLiteral("actAbout"), [&abouts] { ++abouts; });
        for (const char* name : {"menu_actAbout", "menu_actExit"}) {
            auto* item = window.menuBar()->findChild<QAction*>(QString::fromLatin1(name));
            QVERIFY2(item && item->icon().isNull() && !item->text().isEmpty(), name);
            QCOMPARE(item->toolTip(), item->text());
        }
        window.menuBar()->findChild<QAction*>(QStringLiteral("menu_actAbout"))->trigger();
        QCOMPARE(abouts, 1);

        // Every item of the group bar shows its icon at one size.
        auto* bar = window.findChild<CommandBar*>();
        const QSize size(CommandBar::IconSize, CommandBar::IconSize);
        for (QToolButton* item : bar->findChildren<QToolButton*>())
            if (item->objectName().startsWith(QLatin1String("item_")))
                QVERIFY2(item->icon().actualSize(size) == size, qPrintable(item->objectName()));
    }
};

QTEST_MAIN(WindowFeedbackTest)
#include "tst_window_feedback.moc"
