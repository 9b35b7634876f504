#include "CheckCommand.h"

#include "CliUiServices.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "checks/CheckResultFormats.h"
#include "checks/CheckResults.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"

#include <QFileInfo>
#include <QSaveFile>
#include <optional>

namespace corvalis::cli {

namespace {

std::optional<QList<UnionCode>> parseCodes(const QString& text) {
    QList<UnionCode> codes;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const UnionCode code = part.trimmed().toLongLong(&ok);
        if (!ok || code <= 0)
            return std::nullopt;
        codes << code;
    }
    if (codes.isEmpty())
        return std::nullopt;
    return codes;
}

// The check's progress goes to the tool's progress line; a command-line run is never paused or stopped.
class ProgressCheckControl : public checks::CheckControl {
public:
    explicit ProgressCheckControl(ProgressReporter& progress) : m_progress(progress) {}
    void start(qint64 total) override { m_progress.start(QStringLiteral("正在检查记录..."), total); }
    void step() override { m_progress.step(); }
    bool paused() const override { return false; }
    bool stopRequested() const override { return false; }

private:
    ProgressReporter& m_progress;
};

const QStringList Formats{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("csv")};

// Where the chosen format goes: a file, standard output, or (text without --format or --report)
// nowhere but the result file itself, whose path is printed.
struct Delivery {
    QString format;
    QString file; // empty: standard output, when toStandardOutput
    bool toStandardOutput = false;
};

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(path, fileFailureReason(file)));
}

bool writeToStandardOutput(const CliContext& context, const QByteArray& bytes) {
    context.out.flush();
    if (!context.rawOut) {
        context.out << QString::fromUtf8(bytes);
        context.out.flush();
        return true;
    }
    if (context.rawOut->write(bytes) != bytes.size()) {
        context.err << QStringLiteral("写标准输出失败。") << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

void CheckCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("all"), QStringLiteral("检查所有上报的记录（默认）。")});
    parser.addOption({QStringLiteral("range"),
                      QStringLiteral("检查编码从 LOW 到 HIGH 的记录（HIGH 紧跟在 LOW 之后）。"),
                      QStringLiteral("LOW")});
    parser.addOption({QStringLiteral("codes"), QStringLiteral("检查这些编码的记录，用逗号分隔。"),
                      QStringLiteral("C,C,...")});
    parser.addOption({QStringLiteral("report"),
                      QStringLiteral("把所选格式的检查结果写到这个文件；- 为标准输出。"
                                     "文本格式的检查结果文件总是写在临时文件夹中。"),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("format"),
         QStringLiteral("检查结果的格式：text（文本，默认）、json 或 csv（UTF-8，每行一个逻辑错误项）。"
                        "给出 --format 而没有 --report 时，结果写到标准输出。"),
         QStringLiteral("FORMAT")});
    parser.addOption(
        {QStringLiteral("fail-on-violations"), QStringLiteral("有记录存在逻辑错误时以退出码 3 结束。")});
    parser.addPositionalArgument(QStringLiteral("HIGH"), QStringLiteral("--range 的上限编码。"),
                                 QStringLiteral("[HIGH]"));
}

int CheckCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const bool byRange = parser.isSet(QStringLiteral("range"));
    const bool byCodes = parser.isSet(QStringLiteral("codes"));
    if (int(byRange) + int(byCodes) + int(parser.isSet(QStringLiteral("all"))) > 1) {
        context.err << QStringLiteral("--all、--range 和 --codes 只能选一个。") << Qt::endl;
        return ExitUsage;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (byRange ? 1 : 0)) {
        context.err << QStringLiteral("多余的参数：%1").arg(positional.join(QLatin1Char(' '))) << Qt::endl;
        return ExitUsage;
    }

    checks::CheckSelection selection = checks::CheckSelection::allRecords();
    if (byRange) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]*$"));
        const QString low = parser.value(QStringLiteral("range"));
        const QString high = positional.value(0);
        if (!digits.match(low).hasMatch() || !digits.match(high).hasMatch()) {
            context.err << QStringLiteral("--range 的编码只能由数字组成。") << Qt::endl;
            return ExitUsage;
        }
        const checks::CheckRange range = checks::checkRangeFromTexts(low, high);
        if (!range.complete) {
            context.err << checks::IncompleteRangeMessage << Qt::endl;
            return ExitUsage;
        }
        selection = checks::CheckSelection::range(range.low, range.high);
    } else if (byCodes) {
        const std::optional<QList<UnionCode>> codes = parseCodes(parser.value(QStringLiteral("codes")));
        if (!codes) {
            context.err << QStringLiteral("--codes 须是用逗号分隔的编码。") << Qt::endl;
            return ExitUsage;
        }
        selection = checks::CheckSelection::codes(*codes);
    }

    Delivery delivery;
    delivery.format = parser.value(QStringLiteral("format")).toLower();
    if (delivery.format.isEmpty())
        delivery.format = Formats.first();
    if (!Formats.contains(delivery.format)) {
        context.err << QStringLiteral("--format 只能是 text、json 或 csv。") << Qt::endl;
        return ExitUsage;
    }
    const QString reportOption = parser.value(QStringLiteral("report"));
    if (!reportOption.isEmpty() && reportOption != StandardOutputName)
        delivery.file = QFileInfo(reportOption).absoluteFilePath();
    else
        delivery.toStandardOutput =
            reportOption == StandardOutputName || parser.isSet(QStringLiteral("format"));
    if (delivery.toStandardOutput && context.json) {
        context.err << QStringLiteral("检查结果写到标准输出时不能同时使用 --json。") << Qt::endl;
        return ExitUsage;
    }

    // A file that cannot be written is found before any record changes its state.
    const QFileInfo folder(QFileInfo(delivery.file).absolutePath());
    if (!delivery.file.isEmpty() && (!folder.isDir() || !folder.isWritable())) {
        context.err << RunErrorPrefix
                    << QStringLiteral("无法写入文件“%1”：文件夹不存在或不可写。").arg(delivery.file)
                    << Qt::endl;
        return ExitFailure;
    }

    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    // Standard output holds the results alone; messages such as the congratulation go beside them.
    if (delivery.toStandardOutput)
        context.ui.setJson(true);
    // The text result file is written to its usual place, whatever the format; with --report FILE
    // and the text format, to that file as well.
    const QString report = checks::resultFilePath(session.label());
    SystemClock clock;
    checks::ExplanationRenderer renderer(session.connection(), context.ui);
    checks::CheckRunner runner(session.connection(), context.ui, clock, renderer);
    checks::CheckResultSet results;
    results.databaseLabel = session.label();
    runner.collectInto(&results);
    ProgressCheckControl control(context.ui.progress());
    checks::CheckOutcome outcome;
    try {
        outcome = runner.checkRecords(selection, report, &control);
        context.ui.progress().finish();
        if (!delivery.file.isEmpty()) {
            if (delivery.format == QLatin1String("text")) {
                // Copying the file onto itself would empty it.
                if (QFileInfo(delivery.file).canonicalFilePath() != QFileInfo(report).canonicalFilePath())
                    copyFileContents(report, delivery.file);
            } else if (delivery.format == QLatin1String("json"))
                writeWholeFile(delivery.file, checks::checkResultsJson(results, renderer));
            else
                writeWholeFile(delivery.file, checks::checkResultsCsv(results, renderer));
        }
    } catch (const Error& error) {
        context.ui.progress().finish();
        context.err << RunErrorPrefix << error.text() << Qt::endl;
        return ExitFailure;
    }
    const QString counts =
        QStringLiteral("已检查 %1 条记录：%2 个单位的数据存在逻辑错误，共 %3 个逻辑错误项。")
            .arg(outcome.examined)
            .arg(outcome.errorUnits)
            .arg(outcome.errorItems);
    const QString shownReport =
        delivery.format == QLatin1String("text") && !delivery.file.isEmpty() ? delivery.file : report;
    if (context.json) {
        QJsonObject counted{{QStringLiteral("examined"), outcome.examined},
                            {QStringLiteral("errorUnits"), outcome.errorUnits},
                            {QStringLiteral("errorItems"), outcome.errorItems},
                            {QStringLiteral("report"), shownReport}};
        if (delivery.format != QLatin1String("text"))
            counted.insert(delivery.format, delivery.file);
        context.printJson(counted);
    } else if (delivery.toStandardOutput) {
        // The results take standard output; the counts go beside them, to standard error.
        if (context.verbosity != Verbosity::Quiet)
            context.err << counts << Qt::endl;
        if (delivery.format == QLatin1String("text")) {
            if (QFileInfo::exists(report) && !context.copyToStandardOutput(report))
                return ExitFailure;
        } else {
            const QByteArray bytes = delivery.format == QLatin1String("json")
                                         ? checks::checkResultsJson(results, renderer)
                                         : checks::checkResultsCsv(results, renderer);
            if (!writeToStandardOutput(context, bytes))
                return ExitFailure;
        }
    } else {
        context.say(counts);
        context.say(QStringLiteral("检查结果：%1").arg(shownReport));
        if (delivery.format != QLatin1String("text"))
            context.say(QStringLiteral("%1 格式的检查结果：%2").arg(delivery.format, delivery.file));
    }
    if (parser.isSet(QStringLiteral("fail-on-violations")) && outcome.errorUnits > 0)
        return ExitViolations;
    return ExitSuccess;
}

} // namespace corvalis::cli
