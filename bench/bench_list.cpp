// Opens the main window's record list on a database of generated records, scrolls to the end and sorts by a
// title click; prints the time of each step and the process's peak memory.
// Usage: bench_list PROGRAM-FOLDER   (the folder's default database holds the records)
#include "app/ProgramFolder.h"
#include "app/ui/RecordList.h"
#include "shell/CommandInstall.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace corvalis;

namespace {
double seconds(QElapsedTimer& timer) {
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    return elapsed;
}

long peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int codeColumnOf(const MainWindow& window) {
    const TFieldDataArray& dictionary = window.fieldDictionary();
    for (size_t i = 0; i < dictionary.size(); ++i)
        if (dictionary[i].showName == QLatin1String("c902"))
            return int(i);
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_list PROGRAM-FOLDER\n");
        return 2;
    }
    QTemporaryDir settings;
    StartOptions options;
    options.splash = false;
    options.settingsFile = settings.filePath(QStringLiteral("settings.ini"));
    MainWindow window(ProgramFolder(QString::fromLocal8Bit(argv[1])), options);
    installCommands(window);

    QElapsedTimer timer;
    timer.start();
    if (!window.startUp())
        return 1;
    window.show();
    QApplication::processEvents();
    const double shown = seconds(timer);

    RecordList& list = window.recordList();
    list.scrollToBottom();
    list.setCurrentIndex(list.model().index(list.recordCount() - 1, 0));
    QApplication::processEvents();
    const double scrolled = seconds(timer);

    list.sortByTitleClick(codeColumnOf(window));
    QApplication::processEvents();
    const double sorted = seconds(timer);
    list.scrollToBottom();
    QApplication::processEvents();
    const double sortedScrolled = seconds(timer);

    std::printf(
        "list: %d rows shown in %.3fs, scrolled to the end in %.3fs, title-click sort by name in %.3fs "
        "(then to the end in %.3fs), peak memory %ld MiB\n",
        list.recordCount(), shown, scrolled, sorted, sortedScrolled, peakMemoryMiB());
    return 0;
}
