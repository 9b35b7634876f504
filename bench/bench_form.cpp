// The entry form on a database of generated records: opening it on a record, moving to the next record and a
// formal save with the whole-record logic check, each timed many times; prints the median and the slowest
// run of each, and how many saves found logic errors.
// Usage: bench_form PROGRAM-FOLDER [RUNS]   (the folder's default database holds the records)
#include "app/ProgramFolder.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/ui/RecordList.h"
#include "records/ShippedDatabase.h"
#include "records/ui/SurveyDataForm.h"
#include "shell/CommandInstall.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace corvalis;

namespace {

// Answers every question with No and counts the messages, so that nothing waits for a person.
class QuietUi : public UiServices {
public:
    int messages = 0;
    QString lastMessage;
    void showMessage(const QString& text, const QString&, MessageIcon) override {
        ++messages;
        lastMessage = text;
    }
    bool askYesNo(const QString&, const QString&, MessageIcon, bool) override { return false; }
    int askQuestion(const QString&, int) override { return AskNo; }
    std::optional<QString> promptText(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<FileChoice> chooseOpenFile(const FileRequest&) override { return std::nullopt; }
    std::optional<FilesChoice> chooseOpenFiles(const FileRequest&) override { return std::nullopt; }
    std::optional<FileChoice> chooseSaveFile(const FileRequest&) override { return std::nullopt; }
    void openWithShell(const QString&) override {}
    void keepResponsive() override {}
    ProgressReporter& progress() override { return m_progress; }

private:
    SilentProgress m_progress;
};

struct Timings {
    std::vector<double> millis;
    void add(QElapsedTimer& timer) { millis.push_back(double(timer.nsecsElapsed()) / 1e6); }
    double median() {
        std::sort(millis.begin(), millis.end());
        return millis.empty() ? 0 : millis[millis.size() / 2];
    }
    double slowest() const { return millis.empty() ? 0 : *std::max_element(millis.begin(), millis.end()); }
};

// A database generated before the logic rules were shipped gets them, so that the check has its full work.
void ensureShippedRules(const ProgramFolder& folder) {
    engine::Connection connection(folder.defaultDatabase());
    if (connection.scalar(QStringLiteral("select count(*) from dt_logic")).toLongLong() == 0)
        records::loadCsvIntoTable(connection, QStringLiteral("dt_logic"),
                                  records::shippedText(QStringLiteral("logic.csv")));
}

void settle() {
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_form PROGRAM-FOLDER [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 50;
    QTemporaryDir settings;
    QuietUi ui;
    StartOptions options;
    options.splash = false;
    options.settingsFile = settings.filePath(QStringLiteral("settings.ini"));
    options.ui = &ui;
    const ProgramFolder folder(QString::fromLocal8Bit(argv[1]));
    ensureShippedRules(folder);
    MainWindow window(folder, options);
    installCommands(window);
    if (!window.startUp())
        return 1;
    window.show();
    settle();

    RecordList& list = window.recordList();
    const int count = list.recordCount();
    if (count < 2 * runs + 2) {
        std::fprintf(stderr, "bench_form: %d records are too few for %d runs\n", count, runs);
        return 1;
    }
    records::TdlgSurveyDataForm form(window.session(), window.settings(), ui, entryFormServices(window),
                                     window.fieldDictionary(), &window);

    Timings opening, moving, saving, validating, checking;
    int savesWithErrors = 0;
    int refusedSaves = 0;
    QElapsedTimer timer;
    // Records spread over the whole list, so that the engine's cache does not hold them all.
    const int stride = std::max(1, (count - 2) / runs);
    for (int run = 0; run < runs; ++run) {
        list.setCurrentRow(run * stride);
        settle();

        timer.start();
        form.open(records::EntryMode::Modify, &list);
        settle();
        opening.add(timer);

        timer.start();
        form.moveTo(records::RecordStep::Next);
        settle();
        moving.add(timer);

        timer.start();
        form.validateRecord();
        validating.add(timer);
        timer.start();
        form.runWholeRecordCheck();
        checking.add(timer);

        const int messagesBefore = ui.messages;
        timer.start();
        const bool saved = form.formalSave(true);
        settle();
        saving.add(timer);
        if (!saved)
            ++refusedSaves;
        else if (ui.messages > messagesBefore && ui.lastMessage == records::FormText::SavedWithErrorsMessage)
            ++savesWithErrors;

        form.returnWithoutSaving();
        settle();
    }

    std::printf(
        "form on %d records, %d runs: open %.1f ms (slowest %.1f), next record %.1f ms (slowest %.1f), "
        "formal save with check %.1f ms (slowest %.1f); %d saves with logic errors, %d refused\n",
        count, runs, opening.median(), opening.slowest(), moving.median(), moving.slowest(), saving.median(),
        saving.slowest(), savesWithErrors, refusedSaves);
    std::printf("of which validation %.1f ms, whole-record check %.1f ms\n", validating.median(),
                checking.median());
    return refusedSaves == 0 ? 0 : 1;
}
