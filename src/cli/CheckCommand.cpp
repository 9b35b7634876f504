#include "CheckCommand.h"

#include "CliUiServices.h"
#include "app/Clock.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "checks/CheckRunner.h"
#include "checks/Explanation.h"

#include <QFileInfo>
#include <QTemporaryDir>
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

} // namespace

void CheckCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("all"), QStringLiteral("检查所有上报的记录（默认）。")});
    parser.addOption({QStringLiteral("range"),
                      QStringLiteral("检查编码从 LOW 到 HIGH 的记录（HIGH 紧跟在 LOW 之后）。"),
                      QStringLiteral("LOW")});
    parser.addOption({QStringLiteral("codes"), QStringLiteral("检查这些编码的记录，用逗号分隔。"),
                      QStringLiteral("C,C,...")});
    parser.addOption({QStringLiteral("report"),
                      QStringLiteral("检查结果文件（默认在临时文件夹中）；- 为标准输出。"),
                      QStringLiteral("FILE")});
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

    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const QString reportOption = parser.value(QStringLiteral("report"));
    const bool toStandardOutput = reportOption == StandardOutputName;
    if (toStandardOutput && context.json) {
        context.err << QStringLiteral("--report - 和 --json 不能同时使用。") << Qt::endl;
        return ExitUsage;
    }
    QTemporaryDir scratch;
    const QString report = toStandardOutput          ? scratch.filePath(QStringLiteral("check.txt"))
                           : !reportOption.isEmpty() ? QFileInfo(reportOption).absoluteFilePath()
                                                     : checks::resultFilePath(session.label());
    SystemClock clock;
    checks::ExplanationRenderer renderer(session.connection(), context.ui);
    checks::CheckRunner runner(session.connection(), context.ui, clock, renderer);
    ProgressCheckControl control(context.ui.progress());
    checks::CheckOutcome outcome;
    try {
        outcome = runner.checkRecords(selection, report, &control);
        context.ui.progress().finish();
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
    if (context.json) {
        context.printJson({{QStringLiteral("examined"), outcome.examined},
                           {QStringLiteral("errorUnits"), outcome.errorUnits},
                           {QStringLiteral("errorItems"), outcome.errorItems},
                           {QStringLiteral("report"), report}});
    } else if (toStandardOutput) {
        // The report takes standard output; the counts go beside it, to standard error.
        if (context.verbosity != Verbosity::Quiet)
            context.err << counts << Qt::endl;
        if (QFileInfo::exists(report) && !context.copyToStandardOutput(report))
            return ExitFailure;
    } else {
        context.say(counts);
        context.say(QStringLiteral("检查结果：%1").arg(report));
    }
    return ExitSuccess;
}

} // namespace corvalis::cli
