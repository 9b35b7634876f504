// test-kind: core
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/GbkText.h"
#include "app/Passwords.h"
#include "app/engine/Connection.h"
#include "support/ScriptedUiServices.h"
#include "support/TestFolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <unistd.h>

using namespace corvalis;
using corvalis::testing::ScriptedUiServices;
using corvalis::testing::TestFolder;

class SessionTest : public QObject {
    Q_OBJECT

private:
    static QStringList tempLeftovers() {
        return QDir(tempFolder()).entryList({QStringLiteral("~SM*")}, QDir::Files);
    }

    static void protect(const QString& file, const QString& password) {
        engine::Connection c(file);
        c.setPassword(password);
    }

private Q_SLOTS:
    void theDatabasePasswordIsAFixedDerivation() {
        // Each substitution replaces the first occurrence only; a missing character changes nothing.
        const Substitution table[] = {{'a', 'b'}, {'a', 'c'}, {'z', 'q'}};
        const int swaps[1][2] = {{0, 2}};
        QCOMPARE(deriveFromBase(QStringLiteral("aaX"), table, 3, swaps, 1), QStringLiteral("Xcb"));
        QCOMPARE(deriveDatabasePassword(), QStringLiteral("p3TZe48hNc"));
        QCOMPARE(deriveDatabasePassword().size(), 10);
    }

    void opensTheDefaultDatabaseAndReadsItsLabel() {
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(), OpenOutcome::Opened);
        QVERIFY(ui.messages().empty());
        QCOMPARE(session.path(), folder.defaultDatabase());
        QCOMPARE(session.label(), QStringLiteral("默认数据库"));
        QVERIFY(session.isOpen());
        QCOMPARE(session.generation(), quint64(1));
    }

    void aMissingDefaultDatabaseIsReported() {
        TestFolder folder(false);
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(), OpenOutcome::FileMissing);
        QCOMPARE(ui.messageTexts(), QStringList{MissingDatabaseMessage});
        QVERIFY(!session.isOpen());
    }

    void aProtectedDatabaseOpensAndLosesItsPassword() {
        TestFolder folder;
        protect(folder.defaultDatabase(), deriveDatabasePassword());
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(), OpenOutcome::Opened);
        QVERIFY(ui.messages().empty());
        QCOMPARE(session.label(), QStringLiteral("默认数据库"));
        session.close();
        engine::Connection plain(folder.defaultDatabase()); // no password needed any more
        QVERIFY(!plain.hasPassword());
    }

    void unusableFilesGiveTheInstallationMessageAndChangeNothing() {
        TestFolder folder;
        const QString foreign = folder.makeDatabase(QStringLiteral("foreign.mdb"));
        protect(foreign, QStringLiteral("someone else's"));
        const QByteArray before = [&] {
            QFile f(foreign);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();

        QFile junk(folder.file(QStringLiteral("junk.mdb")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, '\x5a'));
        junk.close();

        const QString noLabel = folder.makeDatabase(QStringLiteral("nolabel.mdb"));
        engine::Connection(noLabel).execute(QStringLiteral("drop table ct_label"));

        for (const QString& file : {foreign, junk.fileName(), noLabel}) {
            ScriptedUiServices ui;
            DbSession session(folder.folder(), ui);
            QCOMPARE(session.openDatabase(file), OpenOutcome::NotUsable);
            QCOMPARE(ui.messageTexts(), QStringList{BadInstallationMessage});
            QVERIFY(!session.isOpen());
        }
        QFile after(foreign);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);

        // Without a default database in the program folder the message says the data file is missing.
        QFile::remove(folder.defaultDatabase());
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(junk.fileName()), OpenOutcome::NotUsable);
        QCOMPARE(ui.messageTexts(), QStringList{MissingDatabaseMessage});
    }

    void aFailedOpenKeepsTheDatabaseThatWasOpen() {
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        QCOMPARE(session.openDatabase(), OpenOutcome::Opened);
        QCOMPARE(session.openDatabase(folder.file(QStringLiteral("absent.mdb"))), OpenOutcome::FileMissing);
        QVERIFY(session.isOpen());
        QCOMPARE(session.path(), folder.defaultDatabase());
        QCOMPARE(session.connection().scalar(QStringLiteral("select count(*) from ct_label")).toInt(), 1);
    }

    void theLabelIsStoredAsTyped() {
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        const QString label = QStringLiteral("张三's \"工会\"");
        session.setLabel(label);
        QCOMPARE(session.label(), label);
        session.close();
        session.reopen();
        QCOMPARE(readDatabaseLabel(session.connection()), label);
        session.connection().execute(QStringLiteral("delete from ct_label"));
        QCOMPARE(readDatabaseLabel(session.connection()), QString());
    }

    void compactionKeepsTheDataAndReportsSuccess() {
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        auto& c = session.connection();
        c.execute(QStringLiteral("insert into dt_data (c901, c902) values (100000000001, '甲')"));
        c.executeScript(QStringLiteral("create table filler (x blob)"));
        for (int i = 0; i < 100; ++i)
            c.execute(QStringLiteral("insert into filler values (zeroblob(8000))"));
        c.executeScript(QStringLiteral("drop table filler"));
        const qint64 before = QFileInfo(folder.defaultDatabase()).size();
        const QStringList leftoversBefore = tempLeftovers();

        QVERIFY(session.compact());
        QCOMPARE(ui.messageTexts(), QStringList{QStringLiteral("压缩操作成功")});
        QVERIFY(QFileInfo(folder.defaultDatabase()).size() < before);
        QVERIFY(session.isOpen());
        QCOMPARE(session.connection().scalar(QStringLiteral("select c902 from dt_data")).toString(),
                 QStringLiteral("甲"));
        QCOMPARE(tempLeftovers(), leftoversBefore);
    }

    void compactionOfAFileThatCannotBeOverwrittenChangesNothing() {
        if (QFileInfo(QStringLiteral("/root")).isWritable() && ::geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        TestFolder folder;
        ScriptedUiServices ui;
        DbSession session(folder.folder(), ui);
        session.openDatabase();
        session.close();
        QFile::setPermissions(folder.defaultDatabase(), QFile::ReadOwner | QFile::ReadGroup);
        session.reopen();
        QVERIFY(!session.compact());
        QVERIFY(!ui.messageTexts().contains(QStringLiteral("压缩操作成功")));
        QVERIFY(ui.lastMessage().startsWith(RunErrorPrefix));
        QFile::setPermissions(folder.defaultDatabase(), QFile::ReadOwner | QFile::WriteOwner);
    }

    void compactionErrorsAreShownAndTheFileIsKept() {
        TestFolder folder;
        ScriptedUiServices ui;
        const QString protectedFile = folder.makeDatabase(QStringLiteral("p.mdb"));
        protect(protectedFile, QStringLiteral("x"));
        const QStringList leftoversBefore = tempLeftovers();
        QVERIFY(!compactDatabase(protectedFile, ui));
        QCOMPARE(ui.messageTexts(), QStringList{RunErrorPrefix + QStringLiteral("不是有效的密码。")});
        QCOMPARE(tempLeftovers(), leftoversBefore);
        QVERIFY_THROWS_EXCEPTION(EngineError, engine::Connection{protectedFile});
    }

    void temporaryNamesAreNewAndUnused() {
        const QString a = makeTempFileName();
        const QString b = makeTempFileName();
        QVERIFY(a != b);
        QVERIFY(!QFile::exists(a));
        QVERIFY(QFileInfo(a).fileName().startsWith(QLatin1String("~SM")));
        QCOMPARE(QFileInfo(a).absolutePath(), QFileInfo(tempFolder()).absoluteFilePath());
        QCOMPARE(safeFileNamePart(QStringLiteral("北京/海淀:工会")), QStringLiteral("北京_海淀_工会"));
    }

    void copyingReplacesTheDestination() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.bin"));
        const QString target = dir.filePath(QStringLiteral("b.bin"));
        QFile s(source);
        QVERIFY(s.open(QIODevice::WriteOnly));
        QByteArray bytes;
        for (int i = 0; i < 3 * 1024 * 1024 + 7; ++i)
            bytes += char(i * 31);
        s.write(bytes);
        s.close();
        QFile t(target);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write(QByteArray(10 * 1024 * 1024, 'x')); // longer than the source
        t.close();
        copyFileContents(source, target);
        QVERIFY(t.open(QIODevice::ReadOnly));
        QCOMPARE(t.readAll(), bytes);
        t.close();
        replaceFileContents(source, dir.filePath(QStringLiteral("c.bin")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("c.bin"))).size(), qint64(bytes.size()));
        QVERIFY_THROWS_EXCEPTION(FileError, copyFileContents(dir.filePath(QStringLiteral("none")), target));
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 copyFileContents(source, dir.filePath(QStringLiteral("no/such/dir/x"))));
    }

    void gbkTextFilesHaveGbkBytesAndCrLf() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("report.txt"));
        {
            GbkTextWriter writer(file);
            writer.writeLine(QStringLiteral("#检查"));
            writer.writeLine();
            writer.write(QStringLiteral("A，B－C"));
            writer.writeLine(QStringLiteral("€"));
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("#\xBC\xEC\xB2\xE9\r\n\r\nA\xA3\xAC"
                                         "B\xA3\xAD"
                                         "C\x80\r\n"));
        f.close();
        {
            GbkTextWriter append(file, GbkTextWriter::Mode::Append);
            append.writeLine(QStringLiteral("末"));
        }
        QCOMPARE(readGbkTextFile(file).last(), QStringLiteral("末"));
        QCOMPARE(readGbkTextFile(file).first(), QStringLiteral("#检查"));
        QVERIFY_THROWS_EXCEPTION(FileError, GbkTextWriter(dir.filePath(QStringLiteral("no/dir/x.txt"))));

        QCOMPARE(gbkLength(QStringLiteral("工会ab")), 6);
        QCOMPARE(truncateToGbkBytes(QStringLiteral("工会ab"), 5), QStringLiteral("工会a"));
        QCOMPARE(truncateToGbkBytes(QStringLiteral("工会ab"), 3), QStringLiteral("工"));
        QCOMPARE(fromGbk(toGbk(QStringLiteral("中华人民共和国"))), QStringLiteral("中华人民共和国"));
        // A character GBK cannot hold becomes "?" instead of failing.
        QCOMPARE(toGbk(QStringLiteral("a😀b")), QByteArray("a?b"));
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
