// test-kind: core
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "app/engine/Value.h"
#include "records/RecordGenerator.h"
#include "records/RecordPrint.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"
#include "support/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;
using workbook::WorkbookLayout;

namespace {

QString shippedLayoutPath() {
    return QStringLiteral(CORVALIS_SOURCE_DIR "/data/program/") + records::PrintLayoutStem +
           QStringLiteral(".json");
}

void installLayout(const TestFolder& folder) {
    QVERIFY(QFile::copy(shippedLayoutPath(), records::printLayoutPath(folder.folder())));
}

QList<UnionCode> addRecords(engine::Connection& connection, int count) {
    records::GeneratorOptions options;
    options.count = count;
    options.seed = 7;
    records::generateRecords(connection, options);
    QList<UnionCode> codes;
    engine::Statement statement(connection, QStringLiteral("select c901 from dt_data order by c901"));
    while (statement.step())
        codes << *statement.code(0);
    return codes;
}

struct PlacedField {
    QString name;
    int sheet;
    QString place;
};

std::vector<PlacedField> printedFields(engine::Connection& connection) {
    std::vector<PlacedField> fields;
    engine::Statement statement(
        connection,
        QStringLiteral("select FieldName, printPageID, printplace from dt_fieldlist where pageid>=0"));
    while (statement.step())
        fields.push_back({statement.text(0), int(statement.integer(1)), statement.text(2)});
    return fields;
}

// Remembers what the printing reported to its progress window.
class RecordingProgress : public SilentProgress {
public:
    void start(const QString& caption, qint64 total, qint64 done, bool timed) override {
        SilentProgress::start(caption, total, done, timed);
        totals << total;
    }
    void step(qint64 parts) override {
        SilentProgress::step(parts);
        steps += parts;
    }
    void finish() override { ++finished; }
    QList<qint64> totals;
    qint64 steps = 0;
    int finished = 0;
};

// A layout of five sheets whose cells are all empty framed cells, wide enough for "AA".
WorkbookLayout fiveSheetLayout() {
    QByteArray json = "{\"sheets\": [";
    for (int sheet = 1; sheet <= 5; ++sheet) {
        json += QStringLiteral(
                    "%1{\"name\": \"P%2\", \"cells\": [{\"cell\": \"AA3\", \"border\": true},"
                    "{\"cell\": \"B2:C2\", \"border\": true}, {\"cell\": \"A1\", \"text\": \"编码{c901}\"}]}")
                    .arg(sheet > 1 ? QStringLiteral(",") : QString())
                    .arg(sheet)
                    .toUtf8();
    }
    json += "]}";
    return WorkbookLayout::parse(json, QStringLiteral("five"));
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyPrintedFieldHasItsOwnFramedValueCell() {
        const WorkbookLayout layout = WorkbookLayout::load(shippedLayoutPath());
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const auto fields = printedFields(connection);
        QCOMPARE(int(fields.size()), 95); // the cover's 11 fields and the 84 survey columns
        engine::Statement view(connection, QStringLiteral("select * from view_data where 0"));
        QSet<QString> used;
        for (const PlacedField& field : fields) {
            const QString where = field.name + QLatin1Char(' ') + field.place;
            QVERIFY2(field.sheet >= 1 && field.sheet <= int(layout.sheets.size()), qPrintable(where));
            const auto position = workbook::parseCellAddress(field.place);
            QVERIFY2(position, qPrintable(where));
            const workbook::LayoutCell* cell = layout.sheets[size_t(field.sheet - 1)].cellAt(*position);
            QVERIFY2(cell && cell->range.first == *position, qPrintable(where));
            QVERIFY2(cell->style.border && cell->text.isEmpty(), qPrintable(where));
            const QString key = QStringLiteral("%1!%2").arg(field.sheet).arg(field.place);
            QVERIFY2(!used.contains(key), qPrintable(where));
            used.insert(key);
            QVERIFY2(view.columnIndex(field.name) >= 0, qPrintable(where));
        }
        // The cover comes first, then one sheet per survey page.
        QCOMPARE(int(layout.sheets.size()), 8);
        QCOMPARE(layout.sheets.front().name, QStringLiteral("封面"));
    }

    void printedRecordReadsBackWithItsValues() {
        TestFolder folder;
        installLayout(folder);
        engine::Connection connection(folder.defaultDatabase());
        const QList<UnionCode> codes = addRecords(connection, 3);
        const QString code = records::codeText(codes[1]);
        ScriptedUiServices ui;
        const auto path = records::printRecord(connection, folder.folder(), ui, code);
        QVERIFY2(path, qPrintable(ui.lastMessage()));
        QCOMPARE(ui.openedFiles(), QStringList{*path});
        QVERIFY(path->startsWith(QDir::tempPath()));
        QVERIFY(ui.messages().empty());

        XlsxReader book(*path);
        QVERIFY(book.isValid());
        QCOMPARE(book.sheetNames().size(), 8);
        engine::Statement record(connection, QStringLiteral("select * from view_data where c901=?"));
        record.bind(1, codes[1]);
        QVERIFY(record.step());
        for (const PlacedField& field : printedFields(connection)) {
            const QString expected = engine::textOf(record.value(record.columnIndex(field.name)));
            QCOMPARE(book.cell(field.sheet, field.place), expected);
        }
        // The 12-digit code prints whole, on the cover and in the heading of every table.
        QCOMPARE(book.cell(1, QStringLiteral("B7")), code);
        QVERIFY(!code.contains(QLatin1Char('.')));
        for (int sheet = 2; sheet <= 8; ++sheet)
            QVERIFY(book.cells(sheet).values().contains(QStringLiteral("基层工会统计编码：") + code));
        QFile::remove(*path);
    }

    void missingOrBrokenLayoutGivesTheMessage() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const QList<UnionCode> codes = addRecords(connection, 1);
        ScriptedUiServices ui;
        QVERIFY(!records::printRecord(connection, folder.folder(), ui, records::codeText(codes[0])));
        QCOMPARE(ui.lastMessage(), records::PrintLayoutOpenFailed);

        QFile broken(records::printLayoutPath(folder.folder()));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{\"sheets\": [ {\"name\": ");
        broken.close();
        ui.clear();
        QVERIFY(!records::printRecord(connection, folder.folder(), ui, records::codeText(codes[0])));
        QCOMPARE(ui.messageTexts(), QStringList{records::PrintLayoutOpenFailed});
        QVERIFY(ui.openedFiles().isEmpty());
    }

    void dictionaryChoosesSheetsAndCells() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        const QList<UnionCode> codes = addRecords(connection, 2);
        connection.execute(QStringLiteral("update dt_fieldlist set printPageID=5, printplace=''"));
        connection.execute(
            QStringLiteral("update dt_fieldlist set printPageID=1, printplace='AA3' where FieldName='c901'"));
        connection.execute(
            QStringLiteral("update dt_fieldlist set printPageID=2, printplace='b2' where FieldName='c902'"));
        connection.execute(QStringLiteral("update dt_fieldlist set printplace='AA3' where FieldName='z002'"));

        RecordingProgress progress;
        const WorkbookLayout filled =
            records::fillPrintLayout(connection, fiveSheetLayout(), records::codeText(codes[0]), progress);
        QCOMPARE(progress.totals, QList<qint64>{3});
        QCOMPARE(progress.steps, 3);
        QCOMPARE(progress.finished, 1);
        const auto at = [&](int sheet, const char* address) {
            return filled.sheets[size_t(sheet - 1)].cellAt(
                *workbook::parseCellAddress(QLatin1String(address)));
        };
        QCOMPARE(at(1, "AA3")->text, records::codeText(codes[0]));
        QVERIFY(at(1, "AA3")->style.border); // the frame stays
        const QString name =
            connection.scalar(QStringLiteral("select c902 from dt_data where c901=?"), {codes[0]}).toString();
        QCOMPARE(at(2, "B2")->text, name);
        QVERIFY(at(2, "C2")->isMerged());
        const QString employees =
            connection.scalar(QStringLiteral("select z002 from dt_data where c901=?"), {codes[0]}).toString();
        QCOMPARE(at(5, "AA3")->text, employees);
        for (int sheet : {3, 4})
            QVERIFY(at(sheet, "AA3")->text.isEmpty());
        QCOMPARE(at(3, "A1")->text, QStringLiteral("编码") + records::codeText(codes[0]));

        // A code without a record fills empty text; a dictionary without printed fields fills nothing.
        RecordingProgress none;
        WorkbookLayout empty =
            records::fillPrintLayout(connection, fiveSheetLayout(), QStringLiteral("999"), none);
        QVERIFY(empty.sheets[0].cellAt({3, 27})->text.isEmpty());
        QCOMPARE(empty.sheets[0].cellAt({1, 1})->text, QStringLiteral("编码"));
        connection.execute(QStringLiteral("update dt_fieldlist set pageid=-1"));
        empty = records::fillPrintLayout(connection, fiveSheetLayout(), records::codeText(codes[0]), none);
        QCOMPARE(none.totals.back(), 0);
        QVERIFY(empty.sheets[0].cellAt({3, 27})->text.isEmpty());
    }

    void aTypedCodeFindsItsRecordExactly() {
        TestFolder folder;
        engine::Connection connection(folder.defaultDatabase());
        records::GeneratorOptions options;
        options.count = 2;
        options.firstCode = 659004499998;
        records::generateRecords(connection, options);
        connection.execute(QStringLiteral("update dt_fieldlist set printPageID=5, printplace=''"));
        connection.execute(
            QStringLiteral("update dt_fieldlist set printPageID=1, printplace='AA3' where FieldName='c901'"));
        const auto printedCode = [&connection](const char* typed) {
            RecordingProgress progress;
            const WorkbookLayout filled =
                records::fillPrintLayout(connection, fiveSheetLayout(), QString::fromLatin1(typed), progress);
            return filled.sheets[0].cellAt({3, 27})->text;
        };
        for (const char* typed : {"659004499999", " 659004499999 ", "6.59004499999e11"})
            QVERIFY2(printedCode(typed) == QStringLiteral("659004499999"), typed);
        for (const char* typed : {"659004499998.5", "659004500000", "x"})
            QVERIFY2(printedCode(typed).isEmpty(), typed);
    }

    void faultyDictionaryStopsWithAMessageAndNothingOpens() {
        TestFolder folder;
        installLayout(folder);
        engine::Connection connection(folder.defaultDatabase());
        const QString code = records::codeText(addRecords(connection, 1)[0]);
        const struct {
            const char* update;
            const char* expected;
        } faults[] = {
            {"update dt_fieldlist set printplace='1A' where FieldName='z001'", "1A"},
            {"update dt_fieldlist set FieldName='z999' where FieldName='z001'", "z999"},
            {"update dt_fieldlist set printPageID=9 where FieldName='z001'", "9"},
        };
        for (const auto& fault : faults) {
            connection.begin();
            connection.execute(QString::fromLatin1(fault.update));
            ScriptedUiServices ui;
            QVERIFY(!records::printRecord(connection, folder.folder(), ui, code));
            QVERIFY(ui.openedFiles().isEmpty());
            QCOMPARE(ui.messages().size(), size_t(1));
            QVERIFY2(ui.lastMessage().startsWith(QStringLiteral("运行中发生错误：")),
                     qPrintable(ui.lastMessage()));
            QVERIFY2(ui.lastMessage().contains(QLatin1String(fault.expected)), qPrintable(ui.lastMessage()));
            connection.rollback();
        }
        // A code that is no number finds no record and must not reach SQL as text.
        ScriptedUiServices ui;
        const auto path = records::printRecord(connection, folder.folder(), ui, QStringLiteral("1 or 1=1"));
        QVERIFY(path);
        QVERIFY(XlsxReader(*path).cell(1, QStringLiteral("B8")).isEmpty());
        QFile::remove(*path);
    }
};

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
