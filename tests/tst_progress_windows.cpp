// test-kind: gui
#include "app/ui/ProgressForms.h"

#include <QProgressBar>
#include <QtTest>

using namespace corvalis;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class ProgressWindowsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A summary steps the second bar once per cell, tens of thousands of times: the window must not be
    // painted again for every step, only the bar when what it shows changes (a summary in the window
    // took seconds of painting for a fraction of a second of work).
    void twoBarWindowPaintsOnlyVisibleChanges() {
        ProgressBar2LineForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* second = form.findChild<QProgressBar*>(QStringLiteral("RzProgressBar2"));
        QVERIFY(second);
        PaintCounter windowPaints(&form);
        PaintCounter barPaints(second);

        constexpr int Steps = 20000;
        form.initFirst(2);
        form.initSecond(Steps);
        for (int i = 0; i < Steps; ++i)
            form.incSecond();
        form.incFirst();

        QCOMPARE(form.secondValue(), Steps);
        QCOMPARE(form.firstValue(), 1);
        // One paint per percent at most (the window behind the bar is painted with it), and a few for
        // the resets.
        QVERIFY2(barPaints.paints <= 110, qPrintable(QString::number(barPaints.paints)));
        QVERIFY2(windowPaints.paints <= 110, qPrintable(QString::number(windowPaints.paints)));
    }
};

QTEST_MAIN(ProgressWindowsTest)
#include "tst_progress_windows.moc"
