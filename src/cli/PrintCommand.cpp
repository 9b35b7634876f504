#include "PrintCommand.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/engine/Connection.h"
#include "app/engine/Value.h"
#include "app/paint/LayoutPainter.h"
#include "records/RecordPrint.h"

#include <QFileInfo>

namespace corvalis::cli {

namespace {
enum class PrintFormat { Workbook, Pdf, Unknown };

PrintFormat formatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return PrintFormat::Workbook;
    if (suffix == QLatin1String("pdf"))
        return PrintFormat::Pdf;
    return PrintFormat::Unknown;
}

bool hasRecord(engine::Connection& connection, const QString& code) {
    const std::optional<UnionCode> whole = engine::codeOf(QVariant(code));
    return whole && connection.scalar(QStringLiteral("select count(*) from dt_data where c901=?1"), {*whole})
                            .toLongLong() > 0;
}
} // namespace

void PrintCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("output"),
                      QStringLiteral("输出文件：.xlsx 为工作簿，.pdf 为 PDF 文件。"),
                      QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("CODE"), QStringLiteral("要打印的记录的基层工会统计编码。"),
                                 QStringLiteral("CODE"));
}

int PrintCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !parser.isSet(QStringLiteral("output"))) {
        context.err << QStringLiteral("用法：print CODE --output FILE") << Qt::endl;
        return ExitUsage;
    }
    const QString output = QFileInfo(parser.value(QStringLiteral("output"))).absoluteFilePath();
    const PrintFormat format = formatOf(output);
    if (format == PrintFormat::Unknown) {
        context.err << QStringLiteral("输出文件的扩展名必须是 .xlsx 或 .pdf。") << Qt::endl;
        return ExitUsage;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const QString code = positional.front().trimmed();
    // The window prints an empty form for a code without a record; a script asking for a record
    // that is not there made a mistake, and a blank form would hide it.
    if (!hasRecord(session.connection(), code)) {
        context.err << QStringLiteral("没有编码为 %1 的记录。").arg(code) << Qt::endl;
        return ExitFailure;
    }
    const auto filled = records::filledPrintLayout(session.connection(), context.folder, context.ui, code);
    if (!filled)
        return ExitFailure;
    try {
        if (format == PrintFormat::Workbook)
            records::writePrintWorkbook(*filled, output);
        else
            workbook::writePdf(*filled, output);
    } catch (const Error& error) {
        context.err << error.text() << Qt::endl;
        return ExitFailure;
    }
    context.say(QStringLiteral("已写入打印表：%1").arg(output));
    return ExitSuccess;
}

} // namespace corvalis::cli
