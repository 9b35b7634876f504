// test-kind: core
#include "app/workbook/DeflateStreamEnd.h"
#include "app/workbook/ZipWriter.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvalis::workbook;

namespace {

QByteArray unzipped(const QString& path, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, member});
    unzip.waitForFinished(120000);
    return unzip.readAllStandardOutput();
}

// Text much like a sheet's, which compresses into dynamic blocks.
QByteArray sheetLike(QRandomGenerator& random, int rows) {
    QByteArray text;
    for (int row = 0; row < rows; ++row) {
        text += "<row>";
        for (int column = 0; column < 20; ++column)
            text += "<c s=\"3\"><v>" + QByteArray::number(random.bounded(1000)) + "</v></c>";
        text += "</row>";
    }
    return text;
}

QByteArray noise(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

std::optional<DeflateStreamEnd> endOf(const QByteArray& stream) {
    return findDeflateStreamEnd(reinterpret_cast<const unsigned char*>(stream.constData()),
                                size_t(stream.size()));
}

} // namespace

class DeflatePiecesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Pieces compressed apart, each but the last turned into a stream that goes on, must read back
    // as one member: whatever the blocks (stored, fixed, dynamic) and wherever a piece's last code ends.
    void piecesJoinIntoOneStream() {
        QRandomGenerator random(11);
        QList<QByteArray> pieces{
            sheetLike(random, 3000), QByteArray(),          QByteArray("a"),  noise(random, 70000),
            sheetLike(random, 1),    QByteArray(5000, 'x'), noise(random, 3), sheetLike(random, 20000)};
        for (int i = 0; i < 40; ++i)
            pieces << sheetLike(random, int(random.bounded(1, 40)));
        for (const int level : {1, 6, 0}) {
            RawDeflater deflater(level);
            QByteArray whole;
            QByteArray deflated;
            DeflatedSummary summary;
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                const QByteArray& piece = pieces[i];
                const QByteArray part =
                    deflater.piece(piece.constData(), piece.size(), i + 1 == pieces.size());
                appendToSummary(summary, crcOf(piece.constData(), piece.size()), quint64(piece.size()),
                                quint64(part.size()));
                whole += piece;
                deflated += part;
            }
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("joined.zip"));
            ZipWriter zip(path);
            zip.beginMember(QStringLiteral("joined.xml"), summary);
            zip.writeData(deflated);
            zip.endMember();
            zip.finish();
            QCOMPARE(unzipped(path, QStringLiteral("joined.xml")), whole);
        }
    }

    void streamEndsAreFoundExactly() {
        QRandomGenerator random(5);
        for (const int level : {0, 1, 9}) {
            RawDeflater deflater(level);
            for (const QByteArray& content :
                 {QByteArray(), QByteArray("a"), sheetLike(random, 500), noise(random, 100000)}) {
                const QByteArray stream = deflater.piece(content.constData(), content.size(), true);
                const std::optional<DeflateStreamEnd> end = endOf(stream);
                QVERIFY(end.has_value());
                QCOMPARE(qsizetype((end->endBit + 7) / 8), stream.size());
                QVERIFY(end->finalBlockBit < end->endBit);
                QVERIFY(stream[qsizetype(end->finalBlockBit / 8)] >> (end->finalBlockBit % 8) & 1);
                // Cut short, it is no complete stream.
                if (stream.size() > 2)
                    QVERIFY(!endOf(stream.left(stream.size() / 2)).has_value());
            }
        }
        // Reserved block type 3; a stored block whose length and complement disagree.
        QVERIFY(!endOf(QByteArray("\x07\x00", 2)).has_value());
        QVERIFY(!endOf(QByteArray("\x01\x05\x00\x00\x00", 5)).has_value());
        // Garbage never reads past its end.
        for (int i = 0; i < 200; ++i)
            endOf(noise(random, int(random.bounded(1, 300))));
    }
};

QTEST_GUILESS_MAIN(DeflatePiecesTest)
#include "tst_deflate_pieces.moc"
