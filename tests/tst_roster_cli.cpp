// test-kind: cli
#include "app/engine/Connection.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace corvalis;
using corvalis::testing::CliRun;
using corvalis::testing::runCli;
using corvalis::testing::TestFolder;

namespace {

QString writeFile(const TestFolder& folder, const QString& name, const QByteArray& bytes) {
    const QString path = folder.file(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QStringList args(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items)
        list << QString::fromUtf8(item);
    return list;
}

QJsonObject jsonOf(const CliRun& run) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", qPrintable(run.out));
    return document.object();
}

} // namespace

class RosterCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rosterAndCompletenessFromTheCommandLine() {
        TestFolder folder;
        const QString db = folder.defaultDatabase();
        {
            engine::Connection connection(db);
            connection.execute(
                QStringLiteral("insert into dt_data (c901, c902, c903, c907, RecordState) values "
                               "(110101000001, 'a', 110101, 'A01', 1), "
                               "(110101000002, 'b', 110101, 'A01', 2), "
                               "(320102000001, 'c', 320102, 'B01', 0)"));
        }
        const QString roster = writeFile(folder, QStringLiteral("roster.csv"),
                                         "c901,c902,c903\n110101000001,甲,110101\n110101000003,乙,110102\n");
        CliRun run = runCli(QStringList{QStringLiteral("--db"), db} + args({"roster", "import"}) +
                            QStringList{roster});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), QStringLiteral("已导入应报单位名单：2 个单位。"));

        run = runCli(QStringList{QStringLiteral("--db"), db} + args({"roster", "list", "--json"}));
        QCOMPARE(run.code, 0);
        const QJsonObject list = jsonOf(run);
        QCOMPARE(list.value(QStringLiteral("count")).toInt(), 2);
        const QJsonObject second = list.value(QStringLiteral("units")).toArray().at(1).toObject();
        QCOMPARE(second.value(QStringLiteral("c901")).toString(), QStringLiteral("110101000003"));
        QCOMPARE(second.value(QStringLiteral("c902")).toString(), QStringLiteral("乙"));
        QCOMPARE(second.value(QStringLiteral("c903")).toInt(), 110102);
        QVERIFY(second.value(QStringLiteral("c907")).isNull());

        run = runCli(QStringList{QStringLiteral("--db"), db} +
                     args({"completeness", "--by", "division", "--json"}));
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QString());
        const QJsonObject view = jsonOf(run);
        QCOMPARE(view.value(QStringLiteral("by")).toString(), QStringLiteral("division"));
        QStringList codes;
        for (const QJsonValue& row : view.value(QStringLiteral("rows")).toArray())
            codes << row.toObject().value(QStringLiteral("code")).toString();
        QCOMPARE(codes,
                 args({"000000", "110000", "110100", "110101", "110102", "320000", "320100", "320102"}));
        const QJsonObject whole = view.value(QStringLiteral("rows")).toArray().at(0).toObject();
        QCOMPARE(whole.value(QStringLiteral("expected")).toInt(), 2);
        QCOMPARE(whole.value(QStringLiteral("received")).toInt(), 3);
        QCOMPARE(whole.value(QStringLiteral("missing")).toInt(), 1);
        QCOMPARE(whole.value(QStringLiteral("unexpected")).toInt(), 2);

        run = runCli(QStringList{QStringLiteral("--db"), db} + args({"completeness", "--by", "industry"}));
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains(QStringLiteral("1\tA\t中国农林水利气象工会\t1\t2\t1\t1\t0\t0\t1")));
    }

    void faultsAndMisuseAreRefused() {
        TestFolder folder;
        const QString db = folder.defaultDatabase();
        const QStringList base{QStringLiteral("--db"), db};
        QCOMPARE(runCli(base + args({"completeness"})).code, 2);
        QCOMPARE(runCli(base + args({"completeness", "--by", "county"})).code, 2);
        QCOMPARE(runCli(base + args({"roster"})).code, 2);
        QCOMPARE(runCli(base + args({"roster", "import"})).code, 2);
        QCOMPARE(runCli(base + args({"roster", "list", "extra"})).code, 2);

        const QString bad = writeFile(folder, QStringLiteral("bad.csv"),
                                      "c901,c902,c903\n110101000001,甲,110101\n110101000001,乙,110101\n");
        CliRun run = runCli(base + args({"roster", "import"}) + QStringList{bad});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("第3行：统计编码 110101000001 重复（与第2行相同）")));
        run =
            runCli(base + args({"roster", "import"}) + QStringList{folder.file(QStringLiteral("none.csv"))});
        QCOMPARE(run.code, 1);
        run = runCli(base + args({"roster", "list"}));
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), QStringLiteral("尚未导入应报单位名单。"));
        // Without a roster every record is unexpected, and the database keeps no roster table.
        run = runCli(base + args({"completeness", "--by", "division", "--json"}));
        QCOMPARE(run.code, 0);
        QCOMPARE(jsonOf(run).value(QStringLiteral("rows")).toArray().size(), 1);
        QVERIFY(!engine::Connection(db).tableExists(QStringLiteral("ct_roster")));
    }
};

QTEST_GUILESS_MAIN(RosterCliTest)
#include "tst_roster_cli.moc"
