// The kept results of a check run: saves a set of 100000 violations (three per record, with realistic
// names) and loads it again several times; prints the file's size and the median and slowest load.
// Usage: bench_check_results [VIOLATIONS] [RUNS]
#include "checks/CheckResults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace corvalis;

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int count = arguments.size() > 1 ? arguments[1].toInt() : 100000;
    const int runs = arguments.size() > 2 ? arguments[2].toInt() : 5;

    checks::CheckResultSet set;
    set.databaseLabel = QStringLiteral("基准");
    set.checkedAt = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        const UnionCode code = 110101000001 + i / 3;
        set.violations.push_back({code, unionCodeText(code),
                                  QStringLiteral("某某市第%1机械制造有限责任公司工会委员会").arg(i / 3),
                                  QStringLiteral("110101"), (i * 7) % 90});
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.results"));
    QElapsedTimer timer;
    timer.start();
    checks::saveCheckResults(set, path);
    const qint64 saveMs = timer.elapsed();
    std::vector<qint64> loads;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        const std::optional<checks::CheckResultSet> loaded = checks::loadCheckResults(path);
        loads.push_back(timer.elapsed());
        if (!loaded || loaded->violations.size() != set.violations.size()) {
            std::fprintf(stderr, "the results did not load back\n");
            return 1;
        }
    }
    std::sort(loads.begin(), loads.end());
    std::printf(
        "check results: %d violations, file %lld KiB, save %lld ms, load median %lld ms, slowest %lld ms\n",
        count, static_cast<long long>(QFileInfo(path).size() / 1024), static_cast<long long>(saveMs),
        static_cast<long long>(loads[loads.size() / 2]), static_cast<long long>(loads.back()));
    return 0;
}
