// test-kind: core
#include "app/GbkText.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace corvalis;

namespace {

QByteArray utf8Of(const QByteArray& gbk) {
    QByteArray utf8("left over from before");
    utf8FromGbk(gbk, utf8);
    return utf8;
}

} // namespace

class GbkTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The UTF-8 of GBK bytes is the converter's, whatever the bytes: every pair of a lead and a
    // trail byte (those outside the character set included), alone and between ASCII, and runs of
    // random bytes with lone leads, cut pairs and bytes no character starts with.
    void utf8IsTheConvertersWhateverTheBytes() {
        for (int lead = 0x80; lead <= 0xFF; ++lead)
            for (int trail = 0x00; trail <= 0xFF; ++trail) {
                const QByteArray pair{char(lead), char(trail)};
                QCOMPARE(utf8Of(pair), fromGbk(pair).toUtf8());
                const QByteArray between = "a," + pair + "z";
                QCOMPARE(utf8Of(between), fromGbk(between).toUtf8());
            }
        QRandomGenerator random(7);
        for (int round = 0; round < 20000; ++round) {
            QByteArray bytes;
            const int length = int(random.bounded(12));
            for (int i = 0; i < length; ++i)
                bytes += char(random.bounded(3) == 0 ? random.bounded(0x80) : 0x80 + random.bounded(0x80));
            QVERIFY2(utf8Of(bytes) == fromGbk(bytes).toUtf8(), bytes.toHex().constData());
        }
        QCOMPARE(utf8Of(QByteArray()), QByteArray());
        QCOMPARE(utf8Of(toGbk(QStringLiteral("中华全国总工会 No.1"))), QByteArray("中华全国总工会 No.1"));
    }
};

QTEST_GUILESS_MAIN(GbkTextTest)
#include "tst_gbk_text.moc"
