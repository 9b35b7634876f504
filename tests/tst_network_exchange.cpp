// test-kind: core
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/GbkText.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"
#include "exchange/ConflictReport.h"
#include "exchange/CsvImport.h"
#include "exchange/NetworkExport.h"
#include "support/FileBytes.h"
#include "support/OpenSession.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace corvalis;
using namespace corvalis::exchange;
using corvalis::testing::OpenSession;
using corvalis::testing::readAll;
using corvalis::testing::TestMachineStamp;
using corvalis::testing::writeAll;

namespace {

struct Site : OpenSession {
    // Generated records, every one checked.
    void addRecords(int count, qint64 firstCode) {
        OpenSession::addRecords(count, firstCode);
        db().execute(QStringLiteral("update dt_data set RecordState=1"));
    }
    qint64 count(const QString& sql = QStringLiteral("select count(*) from dt_data")) {
        return db().scalar(sql).toLongLong();
    }
};

} // namespace

class NetworkExchangeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aesKnownAnswerAndKey() {
        // FIPS-197 appendix C.1.
        QString key;
        for (int i = 0; i < 16; ++i)
            key += QChar(i);
        const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QCOMPARE(encryptAes128(plain, key).toHex(), QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a"));
        QCOMPARE(decryptAes128(encryptAes128(plain, key), key), plain);
        // A short key text is filled up with zero bytes.
        QCOMPARE(encryptAes128(plain, QStringLiteral("ab")),
                 encryptAes128(plain, QString::fromLatin1("ab\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)));

        const QString exportKey = deriveExportKey();
        QCOMPARE(exportKey.size(), 16);
        QCOMPARE(exportKey, QStringLiteral("geM97u1BYaKs4DPz")); // agreed with the receiving system
    }

    void encryptedFileLayout() {
        QTemporaryDir dir;
        const QString plain = dir.filePath(QStringLiteral("p.txt"));
        const QString cipher = dir.filePath(QStringLiteral("c.dat"));
        const QString back = dir.filePath(QStringLiteral("b.txt"));
        const struct {
            int size;
            int expected;
        } cases[] = {{0, 8}, {32, 40}, {33, 56}, {1000, 8 + 1008}};
        for (const auto& c : cases) {
            QByteArray text(c.size, '\0');
            for (int i = 0; i < c.size; ++i)
                text[i] = char('a' + i % 26);
            writeAll(plain, text);
            encryptFileAes128(plain, cipher, deriveExportKey());
            const QByteArray bytes = readAll(cipher);
            QCOMPARE(bytes.size(), c.expected);
            QCOMPARE(qFromLittleEndian<qint64>(bytes.constData()), qint64(c.size));
            decryptFileAes128(cipher, back, deriveExportKey());
            QCOMPARE(readAll(back), text);
        }
        // The last block of 33 bytes carries 15 zero bytes before encryption.
        writeAll(plain, QByteArray(33, 'x'));
        encryptFileAes128(plain, cipher, deriveExportKey());
        QCOMPARE(decryptAes128(readAll(cipher).mid(8 + 32), deriveExportKey()),
                 QByteArray("x") + QByteArray(15, '\0'));

        // A cut or lying file is refused and leaves no output.
        const QByteArray good = readAll(cipher);
        QFile::remove(back);
        writeAll(cipher, good.left(good.size() - 5));
        QVERIFY_THROWS_EXCEPTION(FileError, decryptFileAes128(cipher, back, deriveExportKey()));
        QByteArray lying = good;
        qToLittleEndian<qint64>(1000, lying.data());
        writeAll(cipher, lying);
        QVERIFY_THROWS_EXCEPTION(FileError, decryptFileAes128(cipher, back, deriveExportKey()));
        writeAll(cipher, QByteArray("abc"));
        QVERIFY_THROWS_EXCEPTION(FileError, decryptFileAes128(cipher, back, deriveExportKey()));
        QVERIFY(!QFile::exists(back));
        QVERIFY_THROWS_EXCEPTION(
            FileError, encryptFileAes128(dir.filePath(QStringLiteral("none")), cipher, deriveExportKey()));
    }

    void namesOfTheExport() {
        QCOMPARE(networkExportNames(QStringLiteral("abcd")).target, QStringLiteral("abcd.dat"));
        QCOMPARE(networkExportNames(QStringLiteral("abcd")).temporary, QStringLiteral("abcdtemp.dat"));
        QCOMPARE(networkExportNames(QStringLiteral("/d/2021-03-05(网络版).dat")).temporary,
                 QStringLiteral("/d/2021-03-05(网络版)temp.dat"));
        QCOMPARE(networkExportNames(QStringLiteral("/d/out.DAT")).target, QStringLiteral("/d/out.DAT.dat"));
        QCOMPARE(networkExportNames(QStringLiteral("/d/out.DAT")).temporary,
                 QStringLiteral("/d/out.DAT.dattemp.dat"));
    }

    void plainTextValues() {
        Site site;
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("t.csv"));
        QCOMPARE(writeNetworkText(site.db(), text), qint64(0));
        const std::vector<ExportField> fields = networkExportFields(site.db());
        QString header;
        for (const ExportField& field : fields)
            header += field.name + QLatin1Char(',');
        QCOMPARE(readAll(text), toGbk(header) + "\r\n");

        site.db().execute(
            QStringLiteral("insert into dt_data (c901, c902, c910, c911, z001, RecordState) values "
                           "(320102000001, 'A,B', '1－2', 'A,B－C', null, 2)"));
        site.db().execute(QStringLiteral("insert into dt_data (c901, c902, z001, RecordState) values "
                                         "(320102000002, '乙', 7.6, 1)"));
        // A whole-number type on the 12-digit code keeps every digit.
        site.db().execute(QStringLiteral("update dt_fieldlist set QueryType=0 where fieldName='c903'"));
        site.db().execute(QStringLiteral("update dt_fieldlist set QueryType=3 where fieldName='c901'"));
        site.db().execute(QStringLiteral("update dt_fieldlist set QueryType=2 where fieldName='z001'"));
        QCOMPARE(writeNetworkText(site.db(), text), qint64(2));
        const QStringList lines = readGbkTextFile(text);
        QCOMPARE(lines.size(), 3);
        QVERIFY(readAll(text).endsWith(",\r\n"));
        const QStringList names = lines.at(0).split(QLatin1Char(','));
        auto valueOf = [&](int line, const QString& name) {
            return lines.at(line).split(QLatin1Char(',')).value(names.indexOf(name));
        };
        QCOMPARE(valueOf(1, QStringLiteral("c901")), QStringLiteral("320102000001"));
        QCOMPARE(valueOf(1, QStringLiteral("c902")), QStringLiteral("A，B"));
        QCOMPARE(valueOf(1, QStringLiteral("c910")), QStringLiteral("1-2"));
        QCOMPARE(valueOf(1, QStringLiteral("c911")), QStringLiteral("A，B－C"));
        QCOMPARE(valueOf(1, QStringLiteral("z001")), QStringLiteral("0"));
        QCOMPARE(valueOf(2, QStringLiteral("z001")), QStringLiteral("7.6"));
        QCOMPARE(valueOf(1, QStringLiteral("RecordState")), QStringLiteral("2"));
        QCOMPARE(valueOf(2, QStringLiteral("RecordState")), QStringLiteral("1"));
        QCOMPARE(lines.at(1).count(QLatin1Char(',')), names.size() - 1);

        site.db().execute(QStringLiteral(
            "insert into dt_fieldlist (fieldName, QueryType, sequence) values ('nosuch', 0, 999)"));
        QVERIFY_THROWS_EXCEPTION(EngineError, writeNetworkText(site.db(), text));
    }

    void exportThenCsvImportRoundTrip() {
        Site sender;
        sender.addRecords(30, 320100000001);
        sender.db().execute(QStringLiteral("update dt_data set c911='O''Neil' where c901=320100000002"));
        sender.db().execute(QStringLiteral("update dt_data set RecordState=0 where c901=320100000003"));
        sender.ui.clear();
        QVERIFY(!exportNetworkFile(sender.session, sender.ui,
                                   FixedClock(QDateTime(QDate(2021, 3, 5), QTime(8, 0)))));
        QCOMPARE(sender.ui.messageTexts(), QStringList{NetworkRefusal});

        sender.db().execute(QStringLiteral("update dt_data set RecordState=1"));
        const QString chosen = sender.folder.file(QStringLiteral("2021-03-05(网络版).dat"));
        sender.ui.answerFile(chosen);
        QVERIFY(exportNetworkFile(sender.session, sender.ui,
                                  FixedClock(QDateTime(QDate(2021, 3, 5), QTime(8, 0)))));
        QCOMPARE(sender.ui.questions().back().request.proposedName, QStringLiteral("2021-03-05(网络版)"));
        QCOMPARE(sender.ui.lastMessage(), QStringLiteral("导出上报数据成功"));
        QVERIFY(!QFile::exists(sender.folder.file(QStringLiteral("2021-03-05(网络版)temp.dat"))));

        // Never over the open database.
        const QString openDat = sender.folder.makeDatabase(QStringLiteral("open.dat"));
        QCOMPARE(sender.session.openDatabase(openDat), OpenOutcome::Opened);
        QVERIFY(!exportNetworkFileTo(sender.session, sender.ui, openDat));
        QCOMPARE(sender.count(QStringLiteral("select count(*) from dt_fieldlist")) > 0, true);
        QCOMPARE(sender.session.openDatabase(), OpenOutcome::Opened);

        const QString csv = sender.folder.file(QStringLiteral("plain.csv"));
        decryptFileAes128(chosen, csv, deriveExportKey());
        const QString direct = sender.folder.file(QStringLiteral("direct.csv"));
        writeNetworkText(sender.db(), direct);
        QCOMPARE(readAll(csv), readAll(direct));

        Site receiver;
        QCOMPARE(importCsvFile(receiver.session, receiver.ui, csv, TestMachineStamp),
                 CsvImportOutcome::Imported);
        QCOMPARE(receiver.ui.lastMessage(), QStringLiteral("数据已经被正确地导入!"));
        QCOMPARE(receiver.count(), qint64(30));
        QCOMPARE(receiver.count(
                     QStringLiteral("select count(*) from dt_data where c900='%1'").arg(TestMachineStamp)),
                 qint64(30));
        QCOMPARE(receiver.db()
                     .scalar(QStringLiteral("select c911 from dt_data where c901=320100000002"))
                     .toString(),
                 QStringLiteral("O'Neil"));
        // Every exported value came back: the receiver's own export is the same text.
        const QString again = receiver.folder.file(QStringLiteral("again.csv"));
        writeNetworkText(receiver.db(), again);
        QCOMPARE(readAll(again), readAll(direct));

        // The same file again: every code conflicts, the report opens and nothing is added.
        receiver.ui.clear();
        QCOMPARE(importCsvFile(receiver.session, receiver.ui, csv, TestMachineStamp),
                 CsvImportOutcome::Conflicts);
        QCOMPARE(receiver.ui.openedFiles(), QStringList{conflictReportPath()});
        QCOMPARE(readGbkTextFile(conflictReportPath()).size(), 32);
        QCOMPARE(receiver.count(), qint64(30));
    }

    void csvFilesThatAreRefused() {
        Site site;
        site.addRecords(2, 110000000001);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.csv"));
        auto run = [&](const QString& text) {
            writeAll(path, toGbk(text));
            site.ui.clear();
            return importCsvFile(site.session, site.ui, path, TestMachineStamp);
        };
        QCOMPARE(run(QStringLiteral("c901,c902,nosuch,\r\n1,a,2,\r\n")), CsvImportOutcome::Refused);
        QCOMPARE(site.ui.lastMessage(), CsvFormatRefusal);
        QCOMPARE(run(QStringLiteral("c902,z001,\r\n")), CsvImportOutcome::Refused); // no code column
        QCOMPARE(run(QString()), CsvImportOutcome::Refused);
        QCOMPARE(run(QStringLiteral("c901,c902,\r\n")), CsvImportOutcome::Imported);
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("数据已经被正确地导入!"));

        // A bad line anywhere: nothing reaches dt_data.
        const QString badLines[] = {
            QStringLiteral("c901,c902,z001,\r\n330000000001,甲,1,\r\nabc,乙,2,\r\n"),
            QStringLiteral("c901,c902,z001,\r\n330000000001,甲,1,\r\n330000000002,乙,,\r\n"),
            QStringLiteral("c901,c902,z001,\r\n330000000001,甲,1,\r\n330000000002,乙,\r\n"),
            QStringLiteral(
                "c901,c902,z001,\r\n330000000001,甲,1,\r\n330000000002,乙,1); drop table dt_data;--,\r\n"),
        };
        for (const QString& text : badLines) {
            QCOMPARE(run(text), CsvImportOutcome::Refused);
            QVERIFY(site.ui.lastMessage().startsWith(RunErrorPrefix));
            QCOMPARE(site.count(), qint64(2));
        }
        QCOMPARE(site.count(QStringLiteral("select count(*) from dt_data_dt_data")), qint64(0));

        // Codes twice in the file are conflicts too.
        QCOMPARE(run(QStringLiteral("c901,c902,\r\n330000000001,甲,\r\n330000000001,乙,\r\n")),
                 CsvImportOutcome::Conflicts);
        QCOMPARE(readGbkTextFile(conflictReportPath()).size(), 4);
        QCOMPARE(site.count(), qint64(2));

        QCOMPARE(importCsvFile(site.session, site.ui, QString(), TestMachineStamp),
                 CsvImportOutcome::Refused);
        QCOMPARE(site.ui.lastMessage(), QStringLiteral("请选择要导入的csv文件"));
        QCOMPARE(checkedCsvPath(dir.filePath(QStringLiteral("in")), site.ui), path);
        QVERIFY(checkedCsvPath(dir.filePath(QStringLiteral("none")), site.ui).isEmpty());
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("none.csv")));
    }

    // The file is read through a buffer of fixed size: lines that cross its edge, both line ends,
    // blank lines (also of ideographic spaces), GBK texts and a last line without an end all arrive
    // as written, the rows are numbered after those present, and a bad line far into the file is
    // named by its number.
    void largeCsvFilesAreReadLineByLine() {
        Site site;
        site.addRecords(2, 110000000001);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.csv"));
        const int rows = 40000; // about 2 MiB
        QByteArray text = toGbk(QStringLiteral("c901,c902,c911,z001,\r\n"));
        for (int i = 0; i < rows; ++i) {
            text += QByteArray::number(330000000001LL + i) + ',' + toGbk(QStringLiteral("工会%1").arg(i)) +
                    ",x" + QByteArray::number(i % 7) + ',' + QByteArray::number(i) + ',' +
                    (i % 3 == 0 ? "\n" : "\r\n");
            if (i == 20000)
                text += "  \t\r\n" + toGbk(QStringLiteral("\u3000\u3000")) + "\r\n";
        }
        text += "330000999999,\xC4\xA9\xCE\xB2,a\rb, 7 ,"; // no line end; a lone CR stays in the text
        writeAll(path, text);
        QCOMPARE(importCsvFile(site.session, site.ui, path, TestMachineStamp), CsvImportOutcome::Imported);
        QCOMPARE(site.count(), qint64(rows + 3));
        QCOMPARE(
            site.count(QStringLiteral(
                "select count(*) from dt_data where c902 = '工会' || cast(c901 - 330000000001 as integer) "
                "and z001 = c901 - 330000000001 and id = z001 + 3")),
            qint64(rows));
        QCOMPARE(
            site.db()
                .scalar(QStringLiteral("select c902 || '|' || c911 || '|' || z001 || '|' || id from dt_data "
                                       "where c901=330000999999"))
                .toString(),
            QStringLiteral("末尾|a\rb|7|%1").arg(rows + 3));

        QByteArray bad = text;
        bad.insert(bad.indexOf("330000030000,"), "330000888888,x,y,1.5.1,\r\n");
        writeAll(path, bad);
        QCOMPARE(importCsvFile(site.session, site.ui, path, TestMachineStamp), CsvImportOutcome::Refused);
        QVERIFY(site.ui.lastMessage().contains(QStringLiteral("第 30003 行“z001”的值“1.5.1”不是数字。")));
        QCOMPARE(site.count(), qint64(rows + 3));
    }
};

QTEST_GUILESS_MAIN(NetworkExchangeTest)
#include "tst_network_exchange.moc"
