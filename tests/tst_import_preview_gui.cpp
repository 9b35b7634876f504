// test-kind: gui
#include "app/engine/Connection.h"
#include "app/engine/RowSet.h"
#include "app/ui/RecordList.h"
#include "checks/StagedRecordCheck.h"
#include "exchange/NetworkExport.h"
#include "exchange/ui/ExchangeCommands.h"
#include "exchange/ui/ImportHistoryDialog.h"
#include "exchange/ui/ImportPreviewDialog.h"
#include "records/RecordGenerator.h"
#include "support/TestCommandHost.h"
#include "support/TestFolder.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::TestCommandHost;
using corvalis::testing::TestFolder;

namespace {

constexpr UnionCode First = 110101000001;
constexpr UnionCode ChangedName = First + 1;    // conflicts in c902
constexpr UnionCode ChangedContact = First + 3; // conflicts in c910
constexpr UnionCode FirstNew = 110101000101;

using Rows = QList<QVariantList>;

// Every column of every record, in code order.
Rows allRows(engine::Connection& db) {
    engine::RowSet rows(db, QStringLiteral("select * from dt_data order by c901"));
    Rows all;
    for (int row = 0; row < rows.recordCount(); ++row) {
        QVariantList values;
        for (int column = 0; column < rows.columnCount(); ++column)
            values << rows.valueAt(row, column);
        all << values;
    }
    return all;
}

QVariant columnOf(engine::Connection& db, UnionCode code, const QString& column) {
    return db.scalar(QStringLiteral("select %1 from dt_data where c901=?").arg(column), {code});
}

// The open database holds five records; the received file holds the same five, two of them changed
// (one in its name, one in its contact), and two new ones, one of which fails the built-in check.
struct Fixture {
    TestFolder folder;
    QString received;
    QString junk;
    std::unique_ptr<TestCommandHost> host;

    Fixture() {
        {
            engine::Connection db(folder.defaultDatabase());
            records::GeneratorOptions options;
            options.count = 5;
            options.firstCode = First;
            records::generateRecords(db, options);
        }
        received = folder.file(QStringLiteral("received.mdb"));
        QFile::copy(folder.defaultDatabase(), received);
        {
            engine::Connection file(received);
            file.execute(QStringLiteral("update dt_data set c902='更正后的名称' where c901=?"),
                         {ChangedName});
            file.execute(QStringLiteral("update dt_data set c910='李四' where c901=?"), {ChangedContact});
            records::GeneratorOptions options;
            options.count = 2;
            options.firstCode = FirstNew;
            options.seed = 9;
            options.faultyShare = 0.5;
            records::generateRecords(file, options);
        }
        junk = folder.file(QStringLiteral("junk.dat"));
        QFile out(junk);
        out.open(QIODevice::WriteOnly);
        out.write(QByteArray(4096, 'x'));
        out.close();
        host = std::make_unique<TestCommandHost>(folder.folder());
    }
    engine::Connection& db() { return host->session().connection(); }
};

template <typename T> T* child(QWidget* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qWarning("no control %s", name);
    return found;
}

void clickButton(QWidget* parent, const char* name) {
    QTest::mouseClick(child<QPushButton>(parent, name), Qt::LeftButton);
}

void clickRow(QTableView* table, int row, Qt::KeyboardModifiers modifiers = {}) {
    const QRect cell = table->visualRect(table->model()->index(row, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cell.center());
}

QString cell(QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

// The fields the side-by-side view marks as different, by name, checking that a mark is never
// colour alone and never missing from a coloured row.
QStringList markedFields(QTableView* fields) {
    QStringList marked;
    QAbstractItemModel* model = fields->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const bool sign = model->index(row, FieldComparisonModel::Mark).data().toString() ==
                          FieldComparisonModel::differenceMark();
        const bool coloured =
            model->index(row, FieldComparisonModel::Ours).data(Qt::BackgroundRole).isValid();
        if (sign != coloured)
            qWarning("row %d: sign %d, colour %d", row, sign, coloured);
        if (sign && coloured)
            marked << model->index(row, FieldComparisonModel::Field).data().toString();
    }
    return marked;
}

// Shows the preview window and chooses the files through its button.
void choose(ImportPreviewDialog& dialog, Fixture& fixture, const QStringList& files) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    fixture.host->uiServices.answerFiles(files, 4);
    clickButton(&dialog, "tbChooseFiles");
}

// Closes whatever modal window is open with a real Escape press.
void escapeModalSoon() {
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            QTest::keyClick(modal, Qt::Key_Escape);
    });
}

} // namespace

class ImportPreviewGuiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void previewCountsFilesAndMarksTheDifferingFields() {
        Fixture fixture;
        const Rows before = allRows(fixture.db());
        ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
        dialog.setFailingCounter(checks::countFailingRecords);
        choose(dialog, fixture, {fixture.received, fixture.junk});
        auto* files = child<QTableView>(&dialog, "FileTable");
        QCOMPARE(files->model()->rowCount(), 2);
        const QStringList counts{
            cell(files, 0, FilePreviewModel::Records), cell(files, 0, FilePreviewModel::Added),
            cell(files, 0, FilePreviewModel::Identical), cell(files, 0, FilePreviewModel::Conflicting),
            cell(files, 0, FilePreviewModel::Repeated)};
        QCOMPARE(counts.join(QLatin1Char(' ')), QStringLiteral("7 2 3 2 0"));
        QVERIFY(cell(files, 0, FilePreviewModel::Note).isEmpty());
        // The refused file shows its refusal and no counts.
        QVERIFY(cell(files, 1, FilePreviewModel::Note).startsWith(QStringLiteral("拒绝：")));
        QVERIFY(cell(files, 1, FilePreviewModel::Note).size() > 3);
        QVERIFY(cell(files, 1, FilePreviewModel::Records).isEmpty());

        // The conflicts of the first file in code order; the first is shown at once.
        auto* conflicts = child<QTableView>(&dialog, "ConflictTable");
        auto* fields = child<QTableView>(&dialog, "FieldTable");
        QCOMPARE(conflicts->model()->rowCount(), 2);
        QCOMPARE(cell(conflicts, 0, ConflictModel::Code), unionCodeText(ChangedName));
        QCOMPARE(cell(conflicts, 1, ConflictModel::Code), unionCodeText(ChangedContact));
        QCOMPARE(cell(conflicts, 0, ConflictModel::Fields), QStringLiteral("c902"));
        QCOMPARE(markedFields(fields), QStringList{QStringLiteral("c902")});

        clickRow(conflicts, 1);
        QCOMPARE(markedFields(fields), QStringList{QStringLiteral("c910")});
        // The differing field is scrolled to the top of the view.
        QTRY_COMPARE(cell(fields, fields->rowAt(0), FieldComparisonModel::Field), QStringLiteral("c910"));
        // Every field is listed with its caption, ours beside theirs.
        const qint64 columns =
            fixture.db()
                .scalar(QStringLiteral("select count(*) from pragma_table_info('dt_data')"))
                .toLongLong();
        QCOMPARE(fields->model()->rowCount(), int(columns - 1)); // all but the row number
        for (int row = 0; row < fields->model()->rowCount(); ++row)
            if (cell(fields, row, FieldComparisonModel::Field) == QLatin1String("c910")) {
                QVERIFY(!cell(fields, row, FieldComparisonModel::Caption).isEmpty());
                QCOMPARE(cell(fields, row, FieldComparisonModel::Theirs), QStringLiteral("李四"));
                QCOMPARE(cell(fields, row, FieldComparisonModel::Ours),
                         columnOf(fixture.db(), ChangedContact, QStringLiteral("c910")).toString());
            }

        // Choosing a file that then shows no conflicts empties the side-by-side view.
        clickRow(files, 1);
        QCOMPARE(conflicts->model()->rowCount(), 0);
        QCOMPARE(fields->model()->rowCount(), 0);
        QVERIFY(!child<QPushButton>(&dialog, "tbTakeTheirs")->isEnabled());

        QCOMPARE(allRows(fixture.db()), before); // a preview writes nothing

        // A refused file alone leaves nothing to import.
        QVERIFY(child<QPushButton>(&dialog, "tbImport")->isEnabled());
        fixture.host->uiServices.answerFiles({fixture.junk}, 4);
        clickButton(&dialog, "tbChooseFiles");
        QCOMPARE(files->model()->rowCount(), 1);
        QVERIFY(!child<QPushButton>(&dialog, "tbImport")->isEnabled());
        QCOMPARE(fixture.host->uiServices.unansweredQuestions(), 0);
    }

    void takingTheirsForOneRecordReplacesExactlyThatOne() {
        Fixture fixture;
        const Rows before = allRows(fixture.db());
        ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
        choose(dialog, fixture, {fixture.received});
        auto* conflicts = child<QTableView>(&dialog, "ConflictTable");
        clickRow(conflicts, 0);
        clickButton(&dialog, "tbTakeTheirs");
        QCOMPARE(cell(conflicts, 0, ConflictModel::Choice), QStringLiteral("采用导入"));
        QCOMPARE(cell(conflicts, 1, ConflictModel::Choice), QStringLiteral("保留本库"));

        // Declined at the question: nothing happens.
        fixture.host->uiServices.answerNo();
        clickButton(&dialog, "tbImport");
        QCOMPARE(allRows(fixture.db()), before);

        fixture.host->uiServices.answerYes();
        clickButton(&dialog, "tbImport");
        QVERIFY2(fixture.host->uiServices.questions().back().text.contains(QStringLiteral("新增 2 条")),
                 qPrintable(fixture.host->uiServices.questions().back().text));
        QCOMPARE(fixture.host->uiServices.lastMessage(),
                 QStringLiteral("导入完成：新增 2 条，替换 1 条，跳过 4 条。"));
        QVERIFY(dialog.changedDatabase());
        QVERIFY(!child<QLabel>(&dialog, "ResultLabel")->text().isEmpty());

        const Rows after = allRows(fixture.db());
        QCOMPARE(after.size(), 7);
        QCOMPARE(columnOf(fixture.db(), ChangedName, QStringLiteral("c902")).toString(),
                 QStringLiteral("更正后的名称"));
        QVERIFY(columnOf(fixture.db(), ChangedContact, QStringLiteral("c910")).toString() !=
                QStringLiteral("李四"));
        // Every record other than the replaced one is as it was, column for column.
        for (int row = 0; row < before.size(); ++row)
            if (row != 1)
                QCOMPARE(after[row], before[row]);
        QVERIFY(after[1] != before[1]);
    }

    void keysResolveAllAndCloseTheWindow() {
        Fixture fixture;
        ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
        choose(dialog, fixture, {fixture.received});
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* conflicts = child<QTableView>(&dialog, "ConflictTable");
        // Alt+A takes theirs for all (a mnemonic clicks its button after a short delay), Alt+R goes to
        // the conflicts, Down and Alt+O keep ours for the second.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(cell(conflicts, 1, ConflictModel::Choice), QStringLiteral("采用导入"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), conflicts);
        QTest::keyClick(conflicts, Qt::Key_Down);
        QTest::keyClick(conflicts, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(cell(conflicts, 1, ConflictModel::Choice), QStringLiteral("保留本库"));
        QCOMPARE(cell(conflicts, 0, ConflictModel::Choice), QStringLiteral("采用导入"));
        // Tab leaves the table for the buttons below it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(&dialog, "tbKeepOurs"));
        // Enter is the import; Escape closes.
        fixture.host->uiServices.answerYes();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), conflicts);
        QTest::keyClick(conflicts, Qt::Key_Return);
        QCOMPARE(columnOf(fixture.db(), ChangedName, QStringLiteral("c902")).toString(),
                 QStringLiteral("更正后的名称"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    void undoFromTheHistoryRestoresTheRows() {
        Fixture fixture;
        const Rows before = allRows(fixture.db());
        {
            ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
            choose(dialog, fixture, {fixture.received});
            clickButton(&dialog, "tbAllTheirs");
            fixture.host->uiServices.answerYes();
            clickButton(&dialog, "tbImport");
        }
        QCOMPARE(allRows(fixture.db()).size(), 7);

        ImportHistoryDialog history(fixture.host->session(), fixture.host->ui());
        history.show();
        QVERIFY(QTest::qWaitForWindowExposed(&history));
        auto* log = child<QTableView>(&history, "LogTable");
        QCOMPARE(log->model()->rowCount(), 1);
        QCOMPARE(cell(log, 0, ImportLogModel::Added), QStringLiteral("2"));
        QCOMPARE(cell(log, 0, ImportLogModel::Replaced), QStringLiteral("2"));
        clickRow(log, 0);
        fixture.host->uiServices.answerYes();
        clickButton(&history, "tbUndoImport");
        QCOMPARE(fixture.host->uiServices.lastMessage(), QStringLiteral("导入已经撤销。"));
        QCOMPARE(allRows(fixture.db()), before);
        QCOMPARE(cell(log, 0, ImportLogModel::State), QStringLiteral("已撤销"));
        QVERIFY(!child<QPushButton>(&history, "tbUndoImport")->isEnabled());
        QVERIFY(history.changedDatabase());
    }

    void aRefusedUndoShowsItsMessageAndChangesNothing() {
        Fixture fixture;
        {
            ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
            choose(dialog, fixture, {fixture.received});
            clickButton(&dialog, "tbAllTheirs");
            fixture.host->uiServices.answerYes();
            clickButton(&dialog, "tbImport");
        }
        // The replaced record is edited after the import.
        fixture.db().execute(QStringLiteral("update dt_data set c902='又改了' where c901=?"), {ChangedName});
        const Rows edited = allRows(fixture.db());

        ImportHistoryDialog history(fixture.host->session(), fixture.host->ui());
        history.show();
        QVERIFY(QTest::qWaitForWindowExposed(&history));
        // Declining the question does nothing.
        fixture.host->uiServices.answerNo();
        clickButton(&history, "tbUndoImport");
        QCOMPARE(fixture.host->uiServices.messages().size(), size_t(1)); // the import's own
        fixture.host->uiServices.answerYes();
        clickButton(&history, "tbUndoImport");
        const QString refusal = fixture.host->uiServices.lastMessage();
        QVERIFY(!refusal.isEmpty());
        QVERIFY(refusal != QStringLiteral("导入已经撤销。"));
        QVERIFY(!refusal.startsWith(RunErrorPrefix)); // the refusal itself, not a failure
        QCOMPARE(allRows(fixture.db()), edited);
        QCOMPARE(cell(child<QTableView>(&history, "LogTable"), 0, ImportLogModel::State),
                 QStringLiteral("有效"));
        QVERIFY(!history.changedDatabase());
    }

    void commandsOpenTheWindowsAndTheListFollows() {
        Fixture fixture;
        installExchangeCommands(*fixture.host);
        QCOMPARE(fixture.host->recordList().recordCount(), 5);
        Fixture* f = &fixture;
        QTimer::singleShot(0, [f] {
            auto* dialog = dynamic_cast<ImportPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            f->host->uiServices.answerFiles({f->received}, 4);
            clickButton(dialog, "tbChooseFiles");
            f->host->uiServices.answerYes();
            clickButton(dialog, "tbImport");
            // The history opens from the preview and closes with Escape.
            escapeModalSoon();
            clickButton(dialog, "tbHistory");
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        fixture.host->runCommand(QStringLiteral("itemImportPreview"));
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(fixture.host->recordList().recordCount(), 7);

        QTimer::singleShot(0, [f] {
            auto* dialog = dynamic_cast<ImportHistoryDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            f->host->uiServices.answerYes();
            clickButton(dialog, "tbUndoImport");
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        fixture.host->runCommand(QStringLiteral("itemImportHistory"));
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(fixture.host->recordList().recordCount(), 5);
    }

    void networkTextIsPreviewedLikeTheDataFile() {
        Fixture fixture;
        const QString text = fixture.folder.file(QStringLiteral("received.csv"));
        {
            engine::Connection file(fixture.received);
            exchange::writeNetworkText(file, text);
        }
        ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
        choose(dialog, fixture, {text});
        auto* files = child<QTableView>(&dialog, "FileTable");
        QCOMPARE(cell(files, 0, FilePreviewModel::Note), QString());
        QCOMPARE(cell(files, 0, FilePreviewModel::Records), QStringLiteral("7"));
        QCOMPARE(cell(files, 0, FilePreviewModel::Added), QStringLiteral("2"));
        QCOMPARE(cell(files, 0, FilePreviewModel::Conflicting), QStringLiteral("2"));
        QCOMPARE(markedFields(child<QTableView>(&dialog, "FieldTable")), QStringList{QStringLiteral("c902")});
    }

    // Both files add the same new codes, one of them with another name: the first file's records go in,
    // and the window reports what the import did, not the sum of the two previews.
    void twoFilesWithTheSameNewCodesReportWhatWasDone() {
        Fixture fixture;
        const QString second = fixture.folder.file(QStringLiteral("second.mdb"));
        QFile::copy(fixture.received, second);
        {
            engine::Connection file(second);
            file.execute(QStringLiteral("update dt_data set c902='另一份' where c901=?"), {FirstNew});
        }
        const QVariant firstName = [&] {
            engine::Connection file(fixture.received);
            return columnOf(file, FirstNew, QStringLiteral("c902"));
        }();
        ImportPreviewDialog dialog(fixture.host->session(), fixture.host->ui());
        choose(dialog, fixture, {fixture.received, second});
        auto* files = child<QTableView>(&dialog, "FileTable");
        QCOMPARE(cell(files, 1, FilePreviewModel::Added), QStringLiteral("2"));
        fixture.host->uiServices.answerYes();
        clickButton(&dialog, "tbImport");
        QCOMPARE(fixture.host->uiServices.lastMessage(),
                 QStringLiteral("导入完成：新增 2 条，替换 0 条，跳过 12 条。"));
        QCOMPARE(allRows(fixture.db()).size(), 7);
        QCOMPARE(columnOf(fixture.db(), FirstNew, QStringLiteral("c902")), firstName);
        // The history names both files of the one import.
        ImportHistoryDialog history(fixture.host->session(), fixture.host->ui());
        QCOMPARE(cell(child<QTableView>(&history, "LogTable"), 0, ImportLogModel::File),
                 QStringLiteral("received.mdb; second.mdb"));
    }

    void chosenNamesGetTheExtensionOfTheirFilter() {
        const auto extended = [](const char* names, int filter) {
            return withFilterExtension(QString::fromLatin1(names).split(QLatin1Char(' ')), filter)
                .join(QLatin1Char(' '));
        };
        QCOMPARE(extended("/d/aa /d/b.dat /d/ab.mdb", 1), QStringLiteral("/d/aa.dat /d/b.dat /d/ab.mdb.dat"));
        QCOMPARE(extended("/d/net", 3), QStringLiteral("/d/net.csv"));
        QCOMPARE(extended("/d/net.txt", 4), QStringLiteral("/d/net.txt"));
        // A file that exists keeps its name whatever the filter.
        TestFolder folder;
        const QString database = folder.defaultDatabase();
        QCOMPARE(extended(database.toLatin1().constData(), 1), database);
    }
};

QTEST_MAIN(ImportPreviewGuiTest)
#include "tst_import_preview_gui.moc"
