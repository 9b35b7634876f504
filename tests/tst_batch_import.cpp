// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "exchange/ConflictReport.h"
#include "exchange/DataFile.h"
#include "exchange/MultiImport.h"
#include "exchange/RecordImport.h"
#include "exchange/ReportExport.h"
#include "records/RecordGenerator.h"
#include "support/OpenSession.h"

#include <QFile>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::OpenSession;

namespace {

struct Site : OpenSession {
    qint64 count(const QString& sql = QStringLiteral("select count(*) from dt_data")) {
        return db().scalar(sql).toLongLong();
    }
    // A plain database file in the folder holding records with the given codes and names.
    QString fileWith(const QString& name, const QList<QPair<qint64, QString>>& rows) {
        const QString path = folder.makeDatabase(name);
        engine::Connection db(path);
        for (const auto& row : rows)
            db.execute(QStringLiteral("insert into dt_data (c901, c902, RecordState) values (?1, ?2, 1)"),
                       {row.first, row.second});
        db.execute(QStringLiteral("update ct_label set db_name=?1"), {name});
        return path;
    }
};

} // namespace

class BatchImportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesAreImportedOneByOne() {
        Site site;
        site.db().execute(QStringLiteral("insert into dt_data (c901, c902) values (200000000002, '已有')"));
        const QString first =
            site.fileWith(QStringLiteral("one.mdb"), {{100000000001, QStringLiteral("甲")}});
        const QString second =
            site.fileWith(QStringLiteral("two.mdb"),
                          {{200000000001, QStringLiteral("乙")}, {200000000002, QStringLiteral("丙")}});
        // The third is a report file: scrambled and protected with the program's password.
        const QString third = site.folder.file(QStringLiteral("three.dat"));
        {
            Site lower;
            lower.db().execute(QStringLiteral(
                "insert into dt_data (c901, c902, RecordState) values (300000000001, '丁', 1)"));
            writeReportFile(lower.session, third, QStringLiteral("下级"));
        }

        const std::optional<ChosenFiles> chosen =
            prepareImportFiles(site.folder.folder(), {first, second, third}, 0, site.ui);
        QVERIFY2(chosen, qPrintable(site.ui.messageTexts().join(u'|')));
        QCOMPARE(chosen->labelText(), QStringLiteral("one.mdb || two.mdb || 下级"));
        QCOMPARE(chosen->pathText(), first + QLatin1Char(';') + second + QLatin1Char(';') + third);
        QVERIFY(QFile::exists(multiImportCopyPath(site.folder.folder(), third)));

        QList<int> percents;
        const MultiImportResult result =
            importMultipleFiles(site.session, site.ui, chosen->paths, [&](int p) { percents << p; });
        QCOMPARE(result.imported, 2);
        QCOMPARE(result.failed, 1);
        QCOMPARE(percents, (QList<int>{33, 66}));
        QCOMPARE(site.count(), qint64(3));
        QCOMPARE(site.ui.lastMessage(), conflictMessage());
        QCOMPARE(site.ui.openedFiles(), QStringList{conflictReportPath()});
        QByteArray expected = toGbk(QStringLiteral("在准备导入的名为【") + second +
                                    QStringLiteral("】的文件中，如下的记录与现有的记录发生编号冲突")) +
                              "\r\n" + QByteArray(80, '-') + "\r\n" +
                              toGbk(QStringLiteral("(200000000002,丙)")) + "\r\n\r\n\r\n";
        QFile report(conflictReportPath());
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(report.readAll(), expected);
        QVERIFY(!QFile::exists(multiImportCopyPath(site.folder.folder(), third)));
        QVERIFY(QFile::exists(third));
    }

    void cleanRunsAndRefusedChoices() {
        Site site;
        const QString a = site.fileWith(QStringLiteral("a.mdb"), {{100000000001, QStringLiteral("甲")}});
        const QString b = site.fileWith(QStringLiteral("b.mdb"), {{100000000002, QStringLiteral("乙")}});
        QList<int> percents;
        const MultiImportResult result =
            importMultipleFiles(site.session, site.ui, {a, b}, [&](int p) { percents << p; });
        QCOMPARE(result.imported, 2);
        QCOMPARE(percents.last(), 100);
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("数据已经被正确地导入!"));
        QVERIFY(QFile::exists(conflictReportPath()));
        QCOMPARE(QFile(conflictReportPath()).size(), qint64(0));

        const QString missing = site.folder.file(QStringLiteral("gone.mdb"));
        QVERIFY(!prepareImportFiles(site.folder.folder(), {a, site.folder.file(QStringLiteral("gone"))}, 2,
                                    site.ui));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("您选择的文件名为【") + missing +
                                            QStringLiteral("】的文件并不存在，请选择其它文件。"));
        const QString junk = site.folder.file(QStringLiteral("junk.mdb"));
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'j'));
        file.close();
        QVERIFY(!prepareImportFiles(site.folder.folder(), {junk}, 2, site.ui));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("打开数据库文件的时候发生错误，请选择其他文件。"));

        // A file of another layout is named in the report instead of ending in the success message.
        const QString newer =
            site.fileWith(QStringLiteral("newer.mdb"), {{400000000001, QStringLiteral("新")}});
        engine::Connection(newer).execute(QStringLiteral("alter table dt_data add column z099 INTEGER"));
        site.ui.clear();
        importMultipleFiles(site.session, site.ui, {newer});
        QCOMPARE(site.ui.lastMessage(), conflictMessage());
        QVERIFY(readGbkTextFile(conflictReportPath()).first().contains(newer));
        QCOMPARE(site.count(), qint64(2));
    }

    void recordByRecordStopsOrSkips() {
        Site site;
        site.db().execute(QStringLiteral("insert into dt_data (c901, c902) values (500000000003, '甲')"));
        const QString file =
            site.fileWith(QStringLiteral("rows.mdb"), {{500000000001, QStringLiteral("一")},
                                                       {500000000002, QStringLiteral("O'Hara")},
                                                       {500000000003, QStringLiteral("三")},
                                                       {500000000004, QStringLiteral("四")}});
        engine::Connection(file).execute(
            QStringLiteral("update dt_data set z001=null where c901=500000000001"));

        site.ui.answerYes();
        QVERIFY(!importRecordByRecordFrom(site.session, site.ui, file, false));
        QCOMPARE(site.count(), qint64(1));
        const QString message = site.ui.questions().back().text;
        QCOMPARE(message, QStringLiteral("请做好记录:因为编号为[500000000003]的单位 [三] 的数据出错。\n\r\n\r"
                                         "现在已经存在使用相同编号的单位：\n\r\n\r    甲\n\r请核实。\n\r\n\r"
                                         "所以没有导入任何数据。"));

        site.ui.answerYes();
        QVERIFY(importRecordByRecordFrom(site.session, site.ui, file, true));
        QVERIFY(site.ui.questions().back().text.endsWith(
            QStringLiteral("该数据没有被导入。要继续处理下一条么？")));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("导入操作已经完成。"));
        QCOMPARE(site.count(), qint64(4));
        QCOMPARE(
            site.db().scalar(QStringLiteral("select c902 from dt_data where c901=500000000002")).toString(),
            QStringLiteral("O'Hara"));
        QCOMPARE(
            site.db().scalar(QStringLiteral("select z001 from dt_data where c901=500000000001")).toLongLong(),
            qint64(0));
        QCOMPARE(
            site.db().scalar(QStringLiteral("select c902 from dt_data where c901=500000000003")).toString(),
            QStringLiteral("甲"));

        const QString empty = site.folder.makeDatabase(QStringLiteral("empty.mdb"));
        QVERIFY(!importRecordByRecordFrom(site.session, site.ui, empty, false));
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("准备导入的数据表是空的。"));
    }
};

QTEST_GUILESS_MAIN(BatchImportTest)
#include "tst_batch_import.moc"
