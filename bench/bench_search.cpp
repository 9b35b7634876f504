// Locate and range search on a large database: the main list's load, locating by code and by name,
// and range searches shown in the query result list. Prints medians; run by bench-search.sh.
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/FieldDictionary.h"
#include "app/ProgramFolder.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/ui/RecordList.h"
#include "search/RecordLocator.h"
#include "search/SearchConditions.h"
#include "search/ui/QueryListForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace corvalis;

namespace {
// Answers nothing and shows nothing: the benchmark never asks.
class QuietUi : public UiServices {
public:
    void showMessage(const QString& text, const QString&, MessageIcon) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    bool askYesNo(const QString&, const QString&, MessageIcon, bool) override { return false; }
    int askQuestion(const QString&, int) override { return AskClosed; }
    std::optional<QString> promptText(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<FileChoice> chooseOpenFile(const FileRequest&) override { return {}; }
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest&) override { return {}; }
    std::optional<FileChoice> chooseSaveFile(const FileRequest&) override { return {}; }
    void openWithShell(const QString&) override {}
    void keepResponsive() override {}
    ProgressReporter& progress() override { return m_progress; }

private:
    SilentProgress m_progress;
};

double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_search DATABASE [RUNS]\n");
        return 2;
    }
    const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QuietUi ui;
    DbSession session(ProgramFolder(QFileInfo(path).absolutePath()), ui);
    if (session.openDatabase(path) != OpenOutcome::Opened)
        return 1;
    engine::Connection& db = session.connection();
    const qint64 count = db.scalar(QStringLiteral("select count(*) from dt_data")).toLongLong();
    const qint64 low = db.scalar(QStringLiteral("select min(c901) from dt_data")).toLongLong();
    const qint64 high = db.scalar(QStringLiteral("select max(c901) from dt_data")).toLongLong();
    const qint64 middle = low + (high - low) / 2;

    RecordList list(session);
    list.setSource(QStringLiteral("view_data"));
    const TFieldDataArray dictionary = loadFieldDictionary(db);
    const double load = medianMs(runs, [&] { list.setDictionary(dictionary); });
    std::printf("main list of %lld records: median load %.1f ms\n", count, load);

    int found = 0;
    const double byCode = medianMs(runs * 20, [&] {
        const auto code = search::codeForLocate(QString::number(low + (high - low) * (found % 7) / 7));
        found += list.model().rowOfKey(code.value_or(0)) >= 0 ? 1 : 0;
    });
    std::printf("locate by code: median %.3f ms (%d of %d found)\n", byCode, found, runs * 20);

    const QString lateName =
        db.scalar(QStringLiteral("select c902 from dt_data where c901>=? order by c901 limit 1"), {middle})
            .toString();
    const double byName = medianMs(runs, [&] { search::findCodeByName(db, lateName); });
    std::printf("locate by name (match half-way through the codes): median %.1f ms\n", byName);
    const double byMissingName =
        medianMs(runs, [&] { search::findCodeByName(db, QStringLiteral("没有这个名称")); });
    std::printf("locate by name (no match, whole table): median %.1f ms\n", byMissingName);

    FixedClock clock(QDateTime::currentDateTime());
    search::QueryListForm form(session, ui, clock);
    const auto rangeSearch = [&](qint64 from, qint64 to, const char* label) {
        const search::ConditionResult condition =
            search::buildRangeCondition({4, QString::number(from)}, 1, {5, QString::number(to)});
        int rows = 0;
        const double ms = medianMs(runs, [&] {
            form.runQuery(*condition.condition);
            rows = form.resultCount();
        });
        std::printf("range search, %s: %d records, median %.1f ms\n", label, rows, ms);
    };
    // An indicator query that matches about a tenth of the records: z002 at or above its 90th
    // percentile, shown in the result list.
    const qint64 tenthFromTop =
        db.scalar(QStringLiteral("select z002 from dt_data order by z002 desc limit 1 offset ?1"),
                  {count / 10})
            .toLongLong();
    const search::ConditionResult indicator = search::buildIndicatorCondition(
        dictionary, QStringLiteral("z002"), {4, QString::number(tenthFromTop)}, {0, QString()});
    if (!indicator.ok()) {
        std::fprintf(stderr, "%s\n", indicator.message.toLocal8Bit().constData());
        return 1;
    }
    int indicatorRows = 0;
    const double indicatorMs = medianMs(runs, [&] {
        form.runQuery(*indicator.condition);
        indicatorRows = form.resultCount();
    });
    std::printf("indicator query z002>=%lld: %d records (%.1f%%), shown in the result list, median %.1f ms\n",
                tenthFromTop, indicatorRows, 100.0 * indicatorRows / double(std::max<qint64>(count, 1)),
                indicatorMs);
    rangeSearch(middle, middle + 999, "1,000 codes");
    rangeSearch(low, middle, "half of the codes");
    std::printf("database file: %.1f MiB\n", double(QFileInfo(path).size()) / 1048576.0);
    return 0;
}
