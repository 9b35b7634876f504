// test-kind: gui
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/engine/Connection.h"
#include "records/RecordGenerator.h"
#include "summary/SummaryQueries.h"
#include "summary/TableListFile.h"
#include "summary/ui/SumDialog.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::summary;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

namespace {

const QString ProgramSources = QStringLiteral(CORVALIS_SOURCE_DIR "/data/program");

template <typename T> T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

} // namespace

class DivisionSummaryUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialogSummarisesByDivision() {
        TestFolder folder;
        for (const QString& name : QDir(ProgramSources).entryList(QDir::Files))
            QFile::copy(ProgramSources + QLatin1Char('/') + name, folder.file(name));
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        records::GeneratorOptions options;
        options.count = 300;
        options.seed = 5;
        records::generateRecords(session.connection(), options);
        FixedClock clock{QDateTime(QDate(2021, 3, 5), QTime(9, 30))};

        TdlgSumForm dialog(session, ui, clock);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* byDivision = child<QRadioButton>(dialog, "SumType6");
        QCOMPARE(byDivision->text(), QStringLiteral("按行政区划"));
        // The custom group's item keeps its place beside its button, after the division.
        QVERIFY(byDivision->x() < child<QRadioButton>(dialog, "SumType5")->x());
        QVERIFY(byDivision->x() > child<QRadioButton>(dialog, "SumType4")->x());

        click(child<QPushButton>(dialog, "Button2")); // tick none
        auto* list = child<QListWidget>(dialog, "TableList");
        // Double-clicking the header of table one ticks its two sheets.
        QListWidgetItem* header = list->item(1);
        QVERIFY(header->text().startsWith(QLatin1String("//")));
        const QPoint onHeader = list->visualItemRect(header).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onHeader);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onHeader);
        QCOMPARE(TableListFile::tickedSheets(dialog.entries()), (std::vector<int>{2, 3}));
        click(byDivision);
        QCOMPARE(dialog.classification(), int(ByDivision));
        click(child<QPushButton>(dialog, "tbSum"));

        QCOMPARE(ui.openedFiles().size(), 1);
        const QString path = ui.openedFiles().front();
        QVERIFY2(QFileInfo(path).fileName().startsWith(QStringLiteral("2020基层表汇总表-")),
                 qPrintable(path));
        XlsxReader book(path);
        QCOMPARE(book.sheetNames().size(), 2);
        QCOMPARE(book.cell(2, QStringLiteral("A3")), QStringLiteral("行政区划"));
        QCOMPARE(book.cell(2, QStringLiteral("A9")), QStringLiteral("合计"));
        QCOMPARE(book.indent(2, QStringLiteral("A12")), 3); // a county below its province and prefecture
        QCOMPARE(book.cell(1, QStringLiteral("B9")), QStringLiteral("300"));
        QFile::remove(path);
        click(child<QPushButton>(dialog, "tbReturn"));
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(DivisionSummaryUiTest)
#include "tst_division_summary_ui.moc"
