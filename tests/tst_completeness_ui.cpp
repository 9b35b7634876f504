// test-kind: gui
#include "app/DbSession.h"
#include "app/engine/Connection.h"
#include "exchange/RosterImport.h"
#include "records/Roster.h"
#include "summary/ui/CompletenessCommands.h"
#include "summary/ui/CompletenessWindow.h"
#include "support/ScriptedUiServices.h"
#include "support/TestCommandHost.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::summary;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

// A collecting office: six units on its roster, five returns of which one is not on it.
struct Office {
    TestFolder folder;
    ScriptedUiServices ui;
    DbSession session{folder.folder(), ui};

    Office() {
        session.openDatabase();
        session.connection().execute(
            QStringLiteral("insert into dt_data (c901, c902, c903, c907, RecordState) values "
                           "(110101000001, 'a', 110101, 'A01', 1), (110101000002, 'b', 110101, 'A02', 2), "
                           "(110102000001, 'c', 110102, 'A01', 0), (120101000001, 'd', 120101, 'B01', 1), "
                           "(110101000009, 'e', 110101, 'A01', 1)"));
        importRoster(write(QStringLiteral("roster.csv"), "c901,c902,c903\n"
                                                         "110101000001,东城一厂工会,110101\n"
                                                         "110101000002,东城二厂工会,110101\n"
                                                         "110102000001,西城工会,110102\n"
                                                         "110101000009,东城九厂工会,110101\n"
                                                         "110105000001,朝阳工会,110105\n"
                                                         "130102000001,长安工会,130102\n"));
    }
    QString write(const QString& name, const QByteArray& bytes) const {
        const QString path = folder.file(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    qint64 importRoster(const QString& path) { return exchange::importRoster(session.connection(), path); }
    TdlgCompletenessForm::RosterImporter importer() {
        return [this](const QString& path) { return importRoster(path); };
    }
};

template <typename T> T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QStringList missingCodes(QWidget& form) {
    QStringList codes;
    const QAbstractItemModel* model = child<QTableView>(form, "lvMissing")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        codes << model->index(row, 0).data().toString();
    return codes;
}

void showActive(QWidget& form) {
    form.show();
    QApplication::setActiveWindow(&form);
    if (!QTest::qWaitForWindowActive(&form))
        qWarning("the window did not become active");
}

} // namespace

class CompletenessUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keysDrillDownFromTheProvinceToTheMissingUnits() {
        Office office;
        TdlgCompletenessForm form(office.session, office.ui, office.importer());
        showActive(form);
        auto* tree = child<QTreeWidget>(form, "tvCompleteness");
        tree->setFocus();
        QCOMPARE(form.currentRow().code, WholeDatabaseCode);
        QCOMPARE(missingCodes(form),
                 (QStringList{QStringLiteral("110105000001"), QStringLiteral("130102000001")}));
        QCOMPARE(form.chartCategories(),
                 (QStringList{QStringLiteral("北京市"), QStringLiteral("天津市"), QStringLiteral("河北省")}));

        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(form.currentRow().code, QStringLiteral("110000"));
        QCOMPARE(missingCodes(form), QStringList{QStringLiteral("110105000001")});
        QVERIFY(!tree->currentItem()->isExpanded());
        QTest::keyClick(tree, Qt::Key_Return); // opens the province
        QVERIFY(tree->currentItem()->isExpanded());
        QVERIFY2(office.ui.questions().empty(), "Enter in the table pressed a button of the window");
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(form.currentRow().code, QStringLiteral("110100"));
        QTest::keyClick(tree, Qt::Key_Return);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(form.currentRow().code, QStringLiteral("110101"));
        QCOMPARE(tree->currentItem()->text(1), QStringLiteral("3")); // expected
        QCOMPARE(missingCodes(form), QStringList());
        QCOMPARE(form.chartCategories(), QStringList{QStringLiteral("东城区")});
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(form.currentRow().code, QStringLiteral("110105"));
        QCOMPARE(missingCodes(form), QStringList{QStringLiteral("110105000001")});
        QVERIFY(child<QLabel>(form, "lbMissing")->text().contains(QStringLiteral("共 1 个")));

        // A double click opens a closed province too.
        QTreeWidgetItem* hebei = tree->topLevelItem(0)->child(2);
        QCOMPARE(hebei->text(0), QStringLiteral("河北省（130000）"));
        tree->scrollToItem(hebei);
        const QPoint at = tree->visualItemRect(hebei).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(hebei->isExpanded());
        QCOMPARE(form.currentRow().code, QStringLiteral("130000"));
        QCOMPARE(missingCodes(form), QStringList{QStringLiteral("130102000001")});
    }

    void theIndustryViewIsChosenByKey() {
        Office office;
        TdlgCompletenessForm form(office.session, office.ui, office.importer());
        showActive(form);
        auto* by = child<QComboBox>(form, "cbBy");
        by->setFocus();
        QTest::keyClick(by, Qt::Key_Down);
        QCOMPARE(form.by(), CompletenessBy::Industry);
        QCOMPARE(form.rows().at(1).code, QStringLiteral("A"));
        QCOMPARE(form.chartCategories().first(), QStringLiteral("中国农林水利气象工会"));
        QCOMPARE(child<QTreeWidget>(form, "tvCompleteness")->topLevelItem(0)->childCount(), 3); // A, B, Z00
    }

    void exportsWriteTheViewAndTheMissingListOfTheChosenRow() {
        Office office;
        TdlgCompletenessForm form(office.session, office.ui, office.importer());
        showActive(form);
        auto* tree = child<QTreeWidget>(form, "tvCompleteness");
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down); // 北京市

        const QString view = office.folder.file(QStringLiteral("view"));
        office.ui.answerFile(view);
        QTest::mouseClick(child<QPushButton>(form, "tbExportView"), Qt::LeftButton);
        QCOMPARE(office.ui.openedFiles(), QStringList{view + QStringLiteral(".xlsx")});
        XlsxReader book(view + QStringLiteral(".xlsx"));
        QCOMPARE(book.cell(1, QStringLiteral("A3")), QStringLiteral("110000"));
        QCOMPARE(book.cell(1, QStringLiteral("C3")), QStringLiteral("5"));

        const QString missing = office.folder.file(QStringLiteral("missing.xlsx"));
        office.ui.answerFile(missing);
        QTest::mouseClick(child<QPushButton>(form, "tbExportMissing"), Qt::LeftButton);
        QCOMPARE(office.ui.questions().back().request.proposedName, QStringLiteral("未报单位-北京市.xlsx"));
        XlsxReader list(missing);
        QCOMPARE(list.cell(1, QStringLiteral("A2")), QStringLiteral("110105000001"));
        QCOMPARE(list.cell(1, QStringLiteral("A3")), QString());

        office.ui.answerCancelFile();
        QTest::mouseClick(child<QPushButton>(form, "tbExportMissing"), Qt::LeftButton);
        QCOMPARE(office.ui.openedFiles().size(), 2);
        QVERIFY(office.ui.allAnswersUsed());
    }

    void aRefusedRosterShowsItsLinesAndKeepsTheView() {
        Office office;
        TdlgCompletenessForm form(office.session, office.ui, office.importer());
        showActive(form);
        office.ui.answerFile(
            office.write(QStringLiteral("bad.csv"), "c901,c902,c903\n110101000001,甲,999999\n"));
        QTest::mouseClick(child<QPushButton>(form, "tbImportRoster"), Qt::LeftButton);
        QVERIFY(office.ui.lastMessage().contains(
            QStringLiteral("第2行：行政区划代码 999999 不在行政区划代码表中")));
        QCOMPARE(form.rows().front().expected, 6);

        office.ui.answerFile(
            office.write(QStringLiteral("small.csv"), "c901,c902,c903\n110101000001,甲,110101\n"));
        QTest::mouseClick(child<QPushButton>(form, "tbImportRoster"), Qt::LeftButton);
        QCOMPARE(office.ui.lastMessage(), QStringLiteral("已导入应报单位名单：1 个单位。"));
        QCOMPARE(form.rows().front().expected, 1);
        QCOMPARE(form.rows().front().unexpected, 4);
        QCOMPARE(child<QLabel>(form, "lbRoster")->text(), QStringLiteral("应报单位名单：1 个单位"));
    }

    void theCommandOpensTheWindowAndEscapeClosesIt() {
        TestFolder folder;
        testing::TestCommandHost host(folder.folder());
        installCompletenessCommands(host, [](const QString&) { return qint64(0); });
        bool shown = false;
        bool closedByEscape = false;
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown = dialog->objectName() == QLatin1String("TdlgCompletenessForm");
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Escape);
                closedByEscape = !dialog->isVisible();
                if (!closedByEscape)
                    dialog->reject();
            }
        });
        host.runCommand(QStringLiteral("actCompleteness"));
        QVERIFY(shown);
        QVERIFY(closedByEscape);
    }
};

QTEST_MAIN(CompletenessUiTest)
#include "tst_completeness_ui.moc"
